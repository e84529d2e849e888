// The first, global estimate of where the pattern lies in a capture: one affine map from the
// pattern to the capture (coordinates as in calibration/lens_model.h).
//
// Candidates come from three sources. Features (ORB) of the two pictures are matched and fitted
// by RANSAC with a similarity, several times over the matches that the earlier fits left, so
// that a pattern with repeated parts gives several candidates; and so are the features of the
// pattern mirrored, for a device that mirrors the image. A repeated pattern (a chessboard, a
// grid of discs), whose features look all alike, gives candidates from its periods and its
// outline (calibration/lattice.h). And one candidate puts the field in the middle of the
// capture. Each candidate also gives its half turn about the field centre. Every candidate is
// judged by how well the pattern's field then correlates with the capture, in colour: first
// all of them on strongly smoothed pictures, then the best few again after ECC (affine) has
// aligned each on those and on finer ones; the highest final correlation wins. Of a pattern
// that looks the same shifted by a period or turned, the winner may be any of those copies:
// the calibration tells them apart afterwards (calibration/symmetry.h).
#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace corretor {

struct EstimativaGlobal
{
    cv::Matx23d afim;  // pattern point -> capture point; mirrored when its determinant is < 0
    double correlacao; // ECC correlation of the pattern's field with the capture, -1 to 1
    int candidatas;    // candidates judged
    int concordantes;  // feature matches agreeing with the winning candidate's fit
};

// The estimate for `padrao` and `captura` (8-bit, 3 channels), `periodos` being the pattern's
// (calibration/lattice.h). Returns false, recording why in Portuguese, when no candidate can be
// aligned with the capture. `nomeDaCaptura` names the capture in the reason.
bool estimarGlobal(const cv::Mat& padrao, const cv::Mat& captura,
                   const std::vector<cv::Point2d>& periodos, const std::string& nomeDaCaptura,
                   EstimativaGlobal& estimativa);

} // namespace corretor
