// The pattern this calibration is made for, and the sheet to print it on.
//
// The pattern is dense, non-periodic detail at several scales, in colour: smooth noise from a
// few tens of pixels down to three, with discs, boxes and strokes over it, as objects in a
// photograph. Every neighbourhood of it differs from every other, so each node can be matched on
// its own; no turn, mirror or shift maps it onto itself. The field circle is drawn on it, thin,
// so that the user sees what the device must show.
#pragma once

#include <opencv2/core.hpp>

#include <random>

namespace corretor {

constexpr int kLadoDoPadraoDeCalibracao = 436;

// Smooth colour noise over a square of `lado` pixels, at scales from 96 pixels down to 3, each
// weighed by its scale (over 96) to the power `expoente`: a new CV_32FC3 picture of mean about
// 0, values mostly within -2 to 2 for the default. The same for the same state of `gerador`.
cv::Mat texturaMultiescala(int lado, std::mt19937& gerador, double expoente = 0.6);

// A new 436 x 436, 8-bit, 3-channel texture as above, grey levels about 120 with shapes of every
// colour over it, the same for the same seed. Without the field circle.
cv::Mat texturaDeCalibracao(unsigned semente);

// The pattern "malha padrao" writes: texturaDeCalibracao of a fixed seed with the field circle
// (utilities/field.h) drawn over it in a thin dark line.
cv::Mat padraoDeCalibracao();

// The sheet to print: `padrao` enlarged to `milimetros` across at `dpi` dots per inch, on white
// with a margin of a tenth of its side, a scale bar of 10 millimetres (or 1 centimetre marks up
// to a quarter of the side) below it with its length written, and its size written above. A new
// 8-bit, 3-channel picture.
cv::Mat folhaParaImprimir(const cv::Mat& padrao, double milimetros, double dpi);

} // namespace corretor
