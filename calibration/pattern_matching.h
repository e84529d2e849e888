// The local matcher of calibration: the capture seen in the pattern's geometry, and where a
// neighbourhood of the pattern lies in it, to a fraction of a pixel.
//
// Coordinates as in calibration/lens_model.h. The capture is resampled through a model M into
// the pattern's pixel grid (a "straightened" capture, E(x) = capture(M(x))), so that every
// match is a plain shift between two pictures of one geometry: where the straightened capture
// shows the pattern shifted by d about x, that is E(x + d) = pattern(x), the device shows the
// pattern point x at M(x + d). Matching in the pattern's grid needs only the model's forward
// direction and makes the pattern itself the template, with no per-patch warping.
#pragma once

#include "calibration/lens_model.h"

#include <opencv2/core.hpp>

namespace corretor {

// The capture in the pattern's geometry, with a margin of `margem` pixels on every side: pixel
// (i, j) of `imagem` is the pattern point (i - margem, j - margem). `valida` marks the pixels
// whose capture point lies inside the capture. Both new, CV_32F and CV_8U.
struct CapturaEndireitada
{
    cv::Mat imagem;
    cv::Mat valida;
    int margem = 0;
};

// Resamples `captura` (single channel, CV_32F) through `modelo` onto a `tamanho` pattern grid
// plus the margin, bilinearly; when the capture holds more pixels than the pattern about the
// field centre, it is smoothed first (suavizarParaEndireitar) so that the resampling does not
// alias, unless `suavizada` says the caller did. `campo`, when given (CV_32FC2, the size of the
// grid with its margin), is added to the model's capture point of each pixel: a local
// displacement, capture pixels, that the smooth model does not follow.
CapturaEndireitada endireitar(const cv::Mat& captura, const ModeloDaLente& modelo, cv::Size tamanho,
                              int margem, const cv::Mat& campo = cv::Mat(), bool suavizada = false);

// `captura` smoothed to about the pattern's pixel where `modelo` shows the field finer than the
// pattern (more than 1.3 capture pixels per pattern pixel); otherwise `captura` itself.
cv::Mat suavizarParaEndireitar(const cv::Mat& captura, const ModeloDaLente& modelo);

struct Casamento
{
    bool achado = false;
    cv::Point2d deslocamento; // d above, pattern pixels
    double confianca = 0;     // normalized correlation at the best shift, -1 to 1
    // How far d can be trusted in each direction: the covariance, pattern pixels squared, that
    // the noise left by the match (the neighbourhood's variance times 1 - correlation^2) gives
    // through the neighbourhood's gradients, s^2 (sum of grad grad^T)^-1. A neighbourhood with
    // one straight edge fixes d across the edge only: along it the covariance is large.
    cv::Matx22d covariancia;
};

// Where the pattern's neighbourhood of the pixel `ponto` (a square of 2 meiaJanela + 1, cut to
// the pattern) lies in `endireitada`, within `raio` pattern pixels of no shift. The best shift
// by normalized correlation, then to a fraction of a pixel by a quadric through the 3 x 3
// correlations about the peak and by ECC alignment (translation) from there. Not found when the
// neighbourhood is too flat, less than half of it lies in the pattern, part of the searched area
// lies outside the capture, the best shift lies on the edge of the search, or the correlation is
// below `minima`. `padrao` is the pattern, single channel, CV_32F. Without `fino` the quadric's
// answer stands (a tenth of a pixel or so; the ECC step costs most of the time). `nitido`, when
// given, is the pattern before `padrao` was smoothed to look as blurred as the capture: its
// neighbourhood's contrast says whether the neighbourhood is too flat (a thin line keeps little
// contrast once blurred, but is still there to match).
Casamento casar(const cv::Mat& padrao, const CapturaEndireitada& endireitada, cv::Point ponto,
                int meiaJanela, int raio, double minima, bool fino = true,
                const cv::Mat& nitido = cv::Mat());

// How blurred `endireitada` is against `padrao` (single channel, CV_32F) over the field circle:
// the sigma, pattern pixels, of the Gaussian blur with which the pattern correlates best with it,
// to match it in that form (a blurred capture matches a sharp pattern poorly); 0 when no blur
// raises the correlation by 0.02 or more.
double desfoqueDaCaptura(const cv::Mat& padrao, const CapturaEndireitada& endireitada);

} // namespace corretor
