// How good a correction is: a corrected image against its pattern, inside the field circle
// (utilities/field.h).
#pragma once

#include "utilities/image.h"

#include <opencv2/core/core_c.h>

namespace corretor {

struct Qualidade
{
    double psnr;       // dB, over the three samples of the field pixels; infinite when equal
    double diferenca;  // mean absolute difference of those samples, 0 to 255
    double cobertura;  // share of the field pixels the warp reached, 0 to 1
    int pixelsDoCampo; // field pixels counted for the coverage
};

// A field pixel counts as a hole when every sample of the result is at most this value (a
// place the forward warp never reached stays black; compression leaves it near black).
constexpr int kLimiarDeBuraco = 12;

// Compares `resultado` with `padrao`, which must be 8-bit with 3 channels, of one size, at
// least kLadoMinimoDoCampo square; returns false, recording why, otherwise. Field pixels where the
// pattern itself is dark (every sample at most 3 x kLimiarDeBuraco) are left out of the coverage,
// since a reached pixel there looks like a hole.
bool avaliarCorrecao(const IplImage* resultado, const IplImage* padrao, Qualidade& qualidade);

// One picture, side by side: the result, the pattern, their sub2 difference, and the holes
// (field pixels not reached in red, reached ones in white, outside the field grey). The inputs
// must satisfy avaliarCorrecao.
Imagem quadroComparativo(const IplImage* resultado, const IplImage* padrao);

} // namespace corretor
