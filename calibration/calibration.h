// Calibration: where the device shows each mesh node, found in a capture of the pattern.
//
// Coordinates: pattern and capture points are (column, row) from the top-left pixel, whose
// centre is (0, 0). A node's target is its pattern pixel; its source, as the vertex file holds
// it, is a pixel of the capture enlarged four times (mesh/ampliacao.h): capture column x is
// enlarged column 4x, and capture row y, shown by the four enlarged rows 4y to 4y + 3, is
// enlarged row 4y + 1.5 (paraAmpliada, daAmpliada).
//
// calibrarCaptura works in four steps (calibration/global_estimate.h, calibration/lens_model.h,
// calibration/pattern_matching.h):
//   1. a global affine estimate, judged by how well the whole pattern then correlates;
//   2. a smooth lens model grown outward from the field centre: at each step the capture is
//      straightened through the model, points of a grid of the pattern ("support points")
//      within a radius are matched locally, and the model is fitted to them with more freedom
//      as the radius grows, so that its prediction one step further out stays within the search;
//   3. the final matches, of the support points and then of the nodes, to a fraction of a pixel,
//      against the capture straightened by the final model;
//   4. the smooth model of the field (the lens model plus the local mean of the support points'
//      residuals) judges each node: a node that disagrees with it by more than half a capture
//      pixel and by more than five standard deviations of the match and the model together is
//      replaced by its prediction, and so is a node that could not be matched (outside the
//      pattern or the capture, flat, or below the correlation threshold).
// Both functions take the pattern and the capture as 8-bit, 3-channel pictures (any size) and
// never change them. They return false, recording why in Portuguese (utilities/report.h), for
// a capture that is blank or nearly uniform, does not show the pattern, in which the pattern
// does not cover the whole field circle, or in which too few nodes can be matched reliably.
#pragma once

#include "calibration/global_estimate.h"
#include "calibration/lens_model.h"

#include <opencv2/core.hpp>

#include <functional>
#include <string>
#include <vector>

namespace corretor {

struct NoCalibrado
{
    enum class Origem {
        Medido,  // matched in the capture, and agreeing with the smooth model
        Trocado, // matched, but far from the smooth model: replaced by its prediction
        Previsto // not matched: the smooth model's prediction
    };
    cv::Point destino;   // pattern pixel
    cv::Point2d captura; // capture point
    Origem origem = Origem::Previsto;
    double confianca = 0; // the match's normalized correlation; 0 when not matched
    double desacordo = 0; // capture pixels between the match and the smooth model
};

struct RelatorioDeCalibracao
{
    EstimativaGlobal global{};
    ModeloDaLente modelo;
    int pontosDeApoio = 0;           // support points tried in the final step
    int pontosCasados = 0;           // of which matched and kept by the fit
    double residuoMediano = 0;       // median distance, capture pixels, support points to the model
    double maiorLocal = 0;           // the largest local displacement followed, capture pixels
    double maiorDesacordo = 0;       // the largest disagreement of a kept node, capture pixels
    int noDoMaiorDesacordo = 0;      // its node number, from 1
    std::vector<std::string> avisos; // regions where the model does not follow the capture
};

// What the user tells the calibration besides the pictures.
struct OpcoesDeCalibracao
{
    // The capture's approximate turn, degrees clockwise on screen (--giro), for a pattern that
    // looks the same turned: among the turns it cannot tell apart, the one nearest to this.
    bool comGiro = false;
    double giro = 0;
};

// A line for the user after each step.
using AoTerminarEtapa = std::function<void(const std::string&)>;

// Finds the capture point of every pattern pixel in `destino` (node k + 1 is destino[k]) in
// `captura` (named `nome` in messages), into `nos`, one entry per node in order.
bool calibrarCaptura(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                     const std::vector<cv::Point>& destino, const OpcoesDeCalibracao& opcoes,
                     std::vector<NoCalibrado>& nos, RelatorioDeCalibracao& relatorio,
                     const AoTerminarEtapa& etapa);

struct NoRefinado
{
    cv::Point2d antes, depois; // capture points; equal when not moved
    bool movido = false;       // matched within the search radius
    double confianca = 0;
    bool fora = false;     // picked outside the capture
    bool discorda = false; // picked far from where the other picks put it
};

constexpr int kMenosNosMarcados = 10; // the fewest picks refinarNos takes

// For a mesh picked by hand: moves each node's capture point `origem[k]` (of the pattern pixel
// destino[k]) to the best match of the pattern's neighbourhood of destino[k] within `raio`
// capture pixels, with the matcher of calibrarCaptura against the capture straightened by a
// lens model fitted to the picks themselves. A node with no match within `raio` stays; a pick
// outside the capture, or one that the affine map of the others puts more than `raio` away,
// moves to its match however far (and stays when it has none). Refused, recording why, with
// fewer than kMenosNosMarcados picks: a lens cannot be told from so few.
bool refinarNos(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                const std::vector<cv::Point>& destino, const std::vector<cv::Point2d>& origem,
                double raio, std::vector<NoRefinado>& nos, RelatorioDeCalibracao& relatorio,
                const AoTerminarEtapa& etapa);

} // namespace corretor
