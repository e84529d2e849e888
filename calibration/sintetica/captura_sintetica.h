// Synthetic captures of a pattern through a lens of known distortion, for the calibration
// bench (bench/calibration_bench.cpp) and the calibration's tests.
//
// Coordinates: x is the column and y the row, from the top-left pixel, whose centre is (0, 0).
// The lens goes from the pattern to the capture (what the device does). With u the pattern
// point relative to the field centre (utilities/field.h), in field radii, and r = |u|:
//   u   = (p - (218, 218)) / 210
//   f   = 1 + k1 r^2 + k2 r^4 + k3 r^6                                 radial
//   u_d = u f + (2 p1 ux uy + p2 (r^2 + 2 ux^2), p1 (r^2 + 2 uy^2) + 2 p2 ux uy)   tangential
//   m   = u_d, or (-u_d.x, u_d.y) for a device that mirrors the image
//   q   = centro + escala * 210 * R(angulo) * m + sum of the local displacements at p
// R(angulo) = [cos -sin; sin cos] turns clockwise on screen (y grows downward). A local
// displacement is a smooth bump, vetor * exp(-|p - centro|^2 / (2 raio^2)), in capture pixels:
// what a fibre bundle or a moulded lens adds to a smooth lens.
//
// The capture shows the printed pattern whole or in part: around the pattern lies the white of
// its sheet, and beyond the sheet a darker textured table (or black, for a device that shows
// nothing beyond the pattern).
//
// Everything here is deterministic: the same case and seed give the same bytes.
#pragma once

#include <opencv2/core.hpp>

#include <random>
#include <string>
#include <vector>

namespace corretor {

struct DeslocamentoLocal
{
    cv::Point2d centro; // pattern pixel
    double raio = 40;   // pattern pixels, the bump's standard deviation
    cv::Point2d vetor;  // capture pixels, at the bump's centre
};

struct Lente
{
    double k1 = 0, k2 = 0, k3 = 0; // radial, per field radius squared, to the 4th, to the 6th
    double p1 = 0, p2 = 0;         // tangential
    double angulo = 0;             // radians, clockwise on screen
    double escala = 1;             // capture pixels per pattern pixel at the field centre
    cv::Point2d centro;            // where the field centre lands in the capture
    bool espelho = false;          // the device mirrors the image left to right
    std::vector<DeslocamentoLocal> locais;
};

// The capture point of the pattern point `p`, by the formula above.
cv::Point2d aplicarLente(const Lente& lente, cv::Point2d p);

// The pattern point that aplicarLente takes to `q`, on the branch that starts at the field
// centre (the radial function r f(r) still rising). Returns false, leaving `p` as it was, when
// no such point exists (beyond the fold of a strong barrel) or the iteration does not settle.
bool desfazerLente(const Lente& lente, cv::Point2d q, cv::Point2d& p);

enum class TipoDePadrao {
    Natural,   // a photograph-like scene: smooth noise at several scales, shapes, colour
    Demo,      // the demo's pattern (calibration/sintetica/demo_scene.h)
    DemoCinza, // the same in grey: it looks nearly the same turned by 90 degrees
    Proprio,   // the pattern "malha padrao" writes (calibration/print_pattern.h)
    // The printed targets of calibration/sintetica/targets.h:
    XadrezQuadrado,       // 14 x 14 squares of 31 pixels, a dot in each
    XadrezQuadradoLiso,   // the same without dots
    XadrezOblongo,        // 13 x 10 squares of 32 pixels, a dot in each
    XadrezOblongoLiso,    // the same without dots
    CirculosAssimetricos, // 11 columns of 4 black discs, every other column a step lower
    CirculosLargos        // 11 x 7 black discs
};

const char* nomeDoPadrao(TipoDePadrao tipo);

// A new 436 x 436, 8-bit, 3-channel pattern of the kind asked, the same for the same seed (only
// the natural pattern uses the seed).
cv::Mat padraoSintetico(TipoDePadrao tipo, unsigned semente);

enum class Fundo {
    Folha, // the pattern on a white sheet 40 pattern pixels wider on every side, on a table
    Preto  // nothing beyond the pattern: black
};

struct Caso
{
    TipoDePadrao padrao = TipoDePadrao::Natural;
    unsigned sementeDoPadrao = 1;
    Lente lente;
    cv::Size tamanho;    // of the capture
    double ruido = 0;    // sigma of the Gaussian noise added to each sample
    double desfoque = 0; // sigma of the Gaussian blur, capture pixels
    int qualidade = 0;   // JPEG quality the capture goes through; 0 for none
    double vinheta = 0;  // darkening at the field's edge (0.4: 40 %), growing with r^2
    unsigned sementeDoRuido = 1;
    Fundo fundo = Fundo::Folha;
    // The demo's own capture (calibration/sintetica/demo_scene.h) enlarged to `tamanho`
    // (bicubic) instead of a rendering: `lente` is then the demo's lens scaled to it.
    bool daDemo = false;
    // What the calibration is told and must do: the user's approximate turn (--giro), and
    // whether the capture cannot tell its turn (a symmetric pattern without --giro), so that
    // it must be refused, naming the symmetry.
    bool comGiro = false;
    double giro = 0; // degrees, clockwise on screen
    bool recusar = false;
};

// The capture of case `caso`: the pattern `padrao` on its sheet and table (or on black), each
// capture pixel the mean of up to 4 x 4 samples spread over its area (fewer where the capture
// is finer than the pattern), each read (bilinear) at the point desfazerLente gives; samples
// with no such point are black. Then the vignetting, the blur, the noise and the JPEG round
// trip, in that order. A new 8-bit, 3-channel image.
cv::Mat fotografar(const cv::Mat& padrao, const Caso& caso);

// A case drawn at random within the ranges the calibration is held to: |k1| up to 0.25, k2 and
// k3 smaller, tangential terms up to 0.01, a turn up to 10 degrees, scale 0.7 to 1.5, the
// capture a little to much larger than the field with the field centre anywhere the field
// still fits, noise sigma up to 5, blur up to 1.5, JPEG quality 70 to 95, vignetting up to 40 %.
// The radial function keeps rising well past the field's edge. `escalaMaxima` caps the scale
// (small captures for quick tests).
Caso casoAleatorio(TipoDePadrao tipo, std::mt19937& gerador, double escalaMaxima = 1.5);

// The smallest rectangle, in capture pixels, that holds the field circle's image.
cv::Rect2d retanguloDoCampo(const Lente& lente);

// The smallest rectangle, in capture pixels, that holds the image of the pattern's square with
// `margem` pattern pixels more on every side.
cv::Rect2d retanguloDoPadrao(const Lente& lente, double margem);

// One line describing the case, for the bench's table.
std::string descreverCaso(const Caso& caso);

} // namespace corretor
