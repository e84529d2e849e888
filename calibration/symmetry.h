// A pattern's twins: the turns, mirrors and shifts under which it looks like itself, and which of
// them a capture shows.
//
// A twin is a map t of the pattern's pixel grid onto itself (a turn by a quarter, half or three
// quarters of a turn about the field centre, a mirror about an axis through it, or neither, then a
// shift) such that the pattern at t(p) looks like the pattern at p. If the model M (pattern to
// capture, calibration/lens_model.h) fits a capture, so does M composed with t wherever the
// pattern looks like itself under t: local matching cannot tell them apart, and only what differs
// (the sheet's edge for a chessboard, faint colours) can. Pictures are 8-bit, 3-channel, never
// changed; coordinates as in calibration/lens_model.h.
#pragma once

#include "calibration/lens_model.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace corretor {

struct Gemeo
{
    cv::Matx23d mapa;         // t: pattern point -> pattern point
    int quartos = 0;          // the turn, quarter turns clockwise on screen (0 to 3)
    bool espelho = false;     // mirrored about the column through the field centre, before the turn
    cv::Point2d deslocamento; // the shift after the turn, pattern pixels
};

// The twins of `padrao`, `periodos` being its periods (calibration/lattice.h): for each turn and
// mirror under which the middle of its field correlates with itself (shifted by at most 90
// pixels) by at least 0.6, that map and its shifts by up to two periods each way; the identity
// with its shifts among them. The identity alone for a pattern with neither symmetry nor period.
std::vector<Gemeo> gemeosDoPadrao(const cv::Mat& padrao, const std::vector<cv::Point2d>& periodos);

struct EscolhaDoGemeo
{
    Gemeo gemeo;              // the twin the capture shows best, or the one --giro picked
    double correlacao = 0;    // the capture's correlation with the pattern through it
    std::string simetria;     // when the capture cannot tell twins apart: which, in words
    bool soEspelho = false;   // ... and they differ only by a mirror
    bool giroDecidiu = false; // the user's turn picked among twins the capture cannot tell
    double giro = 0;          // the turn of the model through the twin taken, degrees
};

// Which twin of `gemeos` the capture shows, with `modelo` fitted to it: the capture seen through
// modelo composed with each twin is correlated with the pattern over the whole pattern (where
// the capture has pixels), in colour. Twins whose correlations differ by less than half of what
// the pattern's own difference between them would give, and twins the pattern itself barely
// tells apart, cannot be told apart by the capture: `simetria` then names them. With `comGiro`,
// among those the one whose turn lies nearest to `giro` (degrees, clockwise on screen) is taken
// when it is the only one at that turn; otherwise the capture's best is kept.
EscolhaDoGemeo escolherGemeo(const cv::Mat& padrao, const cv::Mat& captura,
                             const ModeloDaLente& modelo, const std::vector<Gemeo>& gemeos,
                             bool comGiro, double giro);

// The twin `g` in words, as a map of the pattern onto itself: "girado de 90 graus",
// "espelhado", "deslocado de 44 pixels", or several of these joined by "e".
std::string descreverGemeo(const Gemeo& g);

// The turn of `modelo` at the field centre, degrees clockwise on screen, in (-180, 180]; for a
// mirrored model, the turn after the mirror.
double giroDoModelo(const ModeloDaLente& modelo);

} // namespace corretor
