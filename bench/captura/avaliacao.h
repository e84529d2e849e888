// How good a mesh found on a synthetic capture is, against the lens that made the capture
// (bench/captura/captura_sintetica.h). Used by the calibration bench and test.
#pragma once

#include "bench/captura/captura_sintetica.h"

#include <opencv2/core.hpp>

#include <vector>

namespace corretor {

struct Avaliacao
{
    std::vector<double> erros; // capture pixels, nodes inside the field, as the vertex file
                               // holds them (rounded in the enlarged capture)
    double foraDoCampo = 0;    // the largest such error of the nodes outside the field
    double psnr = 0;           // the capture corrected with the mesh found, against the pattern
    double psnrVerdadeira = 0; // the same with the target nodes at their true capture points
    double cobertura = 0;      // of the correction with the mesh found
};

// `achados[k]` is the capture point found for the pattern pixel destino[k]. Fills the mesh store
// (twice: the true mesh, then the one found) and corrects the capture with each in memory.
Avaliacao avaliarMalha(const cv::Mat& padrao, const cv::Mat& captura, const Lente& lente,
                       const std::vector<cv::Point>& destino,
                       const std::vector<cv::Point2d>& achados);

// The value below which the fraction `f` of `valores` lies (nearest rank); 0 when empty.
double percentil(std::vector<double> valores, double f);

} // namespace corretor
