// Patterns that repeat themselves (chessboards, dot and circle grids): their periods, and where
// such a pattern lies in a capture, found from the periods the capture shows and from the
// pattern's outline rather than from distinctive features, which a repeated pattern lacks.
//
// Coordinates as in calibration/lens_model.h; maps go from the pattern to the capture. Pictures
// are grey, 8-bit, and never changed.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace corretor {

// The shifts, in pattern pixels, by which `padrao` looks nearly like itself: the peaks of its
// autocorrelation (the middle of its field against the pattern) within 90 pixels, other than no
// shift, with a correlation of at least 0.6, best first, each with its opposite. Empty for a
// pattern that repeats nothing.
std::vector<cv::Point2d> periodosDoPadrao(const cv::Mat& padrao);

// The shortest of `periodos`, or 0 when there is none.
double menorPeriodo(const std::vector<cv::Point2d>& periodos);

// Maps (similarities, mirrored or not) that may carry the repeated pattern `padrao`, of
// periods `periodos`, onto `captura`: the capture's own periods (the peaks of its
// autocorrelation) matched with the pattern's give the scale and the turn, up to the turns and
// mirrors under which the periods look alike; for each, the pattern on white paper (its outline)
// placed where it correlates best with the capture gives the shift. Only maps that give the field
// a size `plausivel` accepts. Empty when the capture shows no period of the pattern.
std::vector<cv::Matx23d> candidatasDoReticulado(const cv::Mat& padrao,
                                                const std::vector<cv::Point2d>& periodos,
                                                const cv::Mat& captura,
                                                bool (*plausivel)(const cv::Matx23d&, cv::Size));

} // namespace corretor
