// A smooth model of a whole field: where a device shows each pattern point in its capture.
//
// Coordinates: pattern and capture points are (column, row) from the top-left pixel, whose
// centre is (0, 0). The model goes from the pattern to the capture. With c = (218, 218) and
// R = 210 the field circle (utilities/field.h), and r = |u|:
//   u = (p - c) / R
//   w = u (1 + k1 r^2 + k2 r^4 + k3 r^6)
//       + (2 p1 ux uy + p2 (r^2 + 2 ux^2), p1 (r^2 + 2 uy^2) + 2 p2 ux uy)
//   q = centro + escala * (a wx + b wy + c0, d wx + f wy + c1) / (1 + g wx + h wy)
// that is a radial and tangential lens (the usual photographic model) about the field centre,
// followed by a projective map into the capture. A lens centred a little off the field centre
// is what the tangential terms stand for; a free centre as well would leave the fit without a
// unique answer. centro and escala are fixed when the model is made (the field centre's
// capture point and the field radius in capture pixels, roughly), so that every parameter is
// of order 1 and the fit is well scaled.
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace corretor {

struct ModeloDaLente
{
    enum Parametro { A, B, C0, D, F, C1, G, H, K1, K2, K3, P1, P2, kParametros };

    cv::Point2d centro;
    double escala = 1;
    std::array<double, kParametros> p{};

    // The model of the affine map `afim` (pattern to capture), without lens terms.
    static ModeloDaLente deAfim(const cv::Matx23d& afim);

    // The capture point of the pattern point `padrao`.
    cv::Point2d aplicar(cv::Point2d padrao) const;

    // Capture pixels per pattern pixel about `padrao`: the square root of the Jacobian's
    // determinant, by central differences.
    double escalaLocal(cv::Point2d padrao) const;
};

// The parameters a fit may move: each level adds to the one before. A fit over a small part
// of the field cannot tell the higher radial terms apart, and they would throw its prediction
// further out astray.
enum class Liberdade {
    Afim,    // a, b, c0, d, f, c1
    Radial,  // and k1
    Lente,   // and k2, p1, p2, g, h
    Completa // and k3
};

// Fits `modelo` to the pairs padrao[i] -> captura[i] by damped Gauss-Newton (Levenberg-
// Marquardt) from its present parameters, moving only those `liberdade` frees, minimising the
// sum of peso[i] times the squared distance in capture pixels. `pesos` empty means all 1.
// Returns false, leaving `modelo` as it was, when there are too few pairs for the free
// parameters (fewer than half their number and two) or the normal equations are singular.
bool ajustarModelo(ModeloDaLente& modelo, const std::vector<cv::Point2d>& padrao,
                   const std::vector<cv::Point2d>& captura, const std::vector<double>& pesos,
                   Liberdade liberdade);

// The same, robustly: fits, then gives weight 0 to the pairs whose distance exceeds
// max(`minimo`, 3 x 1.4826 x the median distance) and fits again, twice. `usado[i]` tells
// whether pair i kept its weight. Returns false as ajustarModelo does.
bool ajustarModeloRobusto(ModeloDaLente& modelo, const std::vector<cv::Point2d>& padrao,
                          const std::vector<cv::Point2d>& captura, Liberdade liberdade,
                          double minimo, std::vector<bool>& usado);

} // namespace corretor
