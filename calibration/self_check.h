// A mesh checked against the capture it was made from, before it is written.
//
// The capture is brought onto the pattern through the mesh itself, triangle by triangle (each
// target triangle's affine map onto its source triangle, as the correction warps), and the
// pattern is matched against it at a grid of points in the field: where the mesh is right, the
// pattern lies where it should, and the shift left at a point is the mesh's error there. Each
// point so tells where the capture shows its pattern point, whatever the triangles do between
// their corners; a quadratic fitted to the points about a node tells where the capture shows the
// node, and its distance to the mesh's node is the node's error. Errors are in units
// of the larger of the capture's and the pattern's pixel, as the calibration judges them
// (calibration/calibration.h). A turned, mirrored or misplaced mesh leaves the pattern nowhere
// to be found; a mesh with a bad node leaves a shift about it. The capture shows nothing where
// the pattern is flat, so a node there is not judged.
//
// Coordinates as in calibration/calibration.h: source nodes are capture points, target nodes
// pattern pixels. Pictures are 8-bit, 3-channel and never changed.
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <string>
#include <vector>

namespace corretor {

struct ConferenciaDaMalha
{
    bool confere = false;
    int trechos = 0; // points of the grid where the pattern has detail
    int achados = 0; // of which found in the capture brought onto the pattern
    // Each node's estimated error, units; -1 for a node whose triangles hold too few points.
    std::vector<double> erroDosNos;
    std::vector<std::string> avisos; // regions and nodes that disagree with the capture
    std::string motivo;              // why the mesh does not agree, when it does not
};

// Checks the mesh of the nodes destino[k] (pattern) -> origem[k] (capture), node k + 1, and
// `triangulos` (node numbers from 1) against `captura` of `padrao` (named `nome` in messages).
// It does not agree when fewer than half the points with detail are found (the mesh is turned,
// mirrored or misplaced), or when a node inside the field is off by more than 1.5 units (a
// node's estimate holds the noise of the matches about it, up to about one unit on a noisy
// capture through a strong lens); nodes and regions off by more than 0.75 unit are named in
// warnings.
ConferenciaDaMalha conferirMalha(const cv::Mat& padrao, const cv::Mat& captura,
                                 const std::string& nome, const std::vector<cv::Point>& destino,
                                 const std::vector<cv::Point2d>& origem,
                                 const std::vector<std::array<int, 3>>& triangulos);

} // namespace corretor
