// How well a mesh corrects a picture: the picture corrected in memory through the mesh made of
// two node lists, as "malha calibrar" makes it, measured against the pattern over the field
// (utilities/quality.h).
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace corretor {

struct QualidadeDaMalha
{
    double psnr = 0;      // dB; 0 when no mesh could be made or nothing was corrected
    double cobertura = 0; // the fraction of field pixels the correction reached
};

// `origem[k]` is node k + 1 in the picture enlarged four times, `destino[k]` the same node in
// `padrao`. Triangulates the target nodes, makes the maps, and corrects `imagem` (8-bit,
// 3 channels) with the forward warp onto the size of `padrao`, through the mesh store filled as
// the loader would fill it from the mesh's files (carregarNasTabelas, authoring/mesh_value.h).
// Neither picture is changed.
QualidadeDaMalha medirMalha(const cv::Mat& imagem, const cv::Mat& padrao,
                            const std::vector<cv::Point>& origem,
                            const std::vector<cv::Point>& destino);

} // namespace corretor
