// The first, global estimate of where the pattern lies in a capture: one affine map from the
// pattern to the capture (coordinates as in calibration/lens_model.h).
//
// Features (ORB) of the two pictures are matched and fitted by RANSAC with a similarity,
// several times over the matches that the earlier fits left, so that a pattern with repeated
// parts gives several candidates; each candidate also gives its half turn about the field
// centre. A pattern that looks the same shifted by its period or turned over gives feature
// counts that cannot tell those candidates apart, so every candidate is judged by how well
// the pattern's field then correlates with the capture, in colour: first all of them on
// strongly smoothed pictures, then the best few again after ECC (affine) has aligned each on
// those and on finer ones; the highest final correlation wins.
#pragma once

#include <opencv2/core.hpp>

namespace corretor {

struct EstimativaGlobal
{
    cv::Matx23d afim;  // pattern point -> capture point
    double correlacao; // ECC correlation of the pattern's field with the capture, -1 to 1
    int candidatas;    // candidates judged
    int concordantes;  // feature matches agreeing with the winning candidate's fit
};

// The estimate for `padrao` and `captura` (8-bit, 3 channels). Returns false, recording
// why in Portuguese, when no candidate can be formed or aligned: too few features or matches.
// `nomeDaCaptura` names the capture in the reason.
bool estimarGlobal(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nomeDaCaptura,
                   EstimativaGlobal& estimativa);

} // namespace corretor
