// How far the nodes of a mesh found on a synthetic capture lie from the true ones, known from the
// lens that made the capture (calibration/sintetica/captura_sintetica.h). Used by the
// calibration's tests and bench.
#pragma once

#include "calibration/calibration.h"
#include "calibration/sintetica/captura_sintetica.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace corretor {

// Errors are in the larger of the two pixels: the capture's where it shows the field smaller
// than the pattern does (scale below 1), the pattern's where it shows it larger. A vertex file
// rounds a node to a quarter of a capture pixel, so a coarse capture cannot do better in the
// pattern's pixels, and a fine one has no need to do better in its own.
struct ErrosDosNos
{
    double unidade = 1;                // capture pixels per unit: the larger of 1 and the scale
    std::vector<double> erros;         // nodes inside the field, as the vertex file holds them
                                       // (rounded in the enlarged capture)
    double foraDoCampo = 0;            // the largest such error of the nodes outside the field
    std::vector<cv::Point> achada;     // the source nodes found, as the vertex file holds them
    std::vector<cv::Point> verdadeira; // the true source nodes, rounded the same way
};

// calibrarCaptura (calibration/calibration.h) of `captura`, the capture of `caso` of the pattern
// `padrao`, told what a user would tell "malha calibrar" for it (the turn, --giro), with no
// lines for the user; its result.
bool calibrarCaso(const Caso& caso, const cv::Mat& padrao, const cv::Mat& captura,
                  const std::vector<cv::Point>& destino, std::vector<NoCalibrado>& nos,
                  RelatorioDeCalibracao& relatorio);

// `achados[k]` is the capture point found for the pattern pixel destino[k].
ErrosDosNos errosDosNos(const Lente& lente, const std::vector<cv::Point>& destino,
                        const std::vector<cv::Point2d>& achados);

// The same for the nodes calibrarCaptura found: nos[k] for destino[k].
ErrosDosNos errosDosNos(const Lente& lente, const std::vector<cv::Point>& destino,
                        const std::vector<NoCalibrado>& nos);

// The value below which the fraction `f` of `valores` lies (nearest rank); 0 when empty.
double percentil(std::vector<double> valores, double f);

} // namespace corretor
