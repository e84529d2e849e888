// A complete mesh from two node lists, checked before it is written.
//
// Nodes are numbered from 1 in list order: origem[k] is node k + 1 in the capture enlarged four
// times (the source mesh), destino[k] the same node in the pattern (the target mesh). The files
// are those the correction run reads, made by the steps of "malha triangular" and "malha
// matrizes" (authoring/triangulation.h, authoring/affine_maps.h).
#pragma once

#include "authoring/mesh_check.h"
#include "mesh/paths.h"
#include "utilities/whole_file.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace corretor {

// The text of a vertex file: one "x y" line for each node, in order.
std::string textoDosNos(const std::vector<cv::Point>& nos);

// Fills the mesh store with the nodes and returns the texts of the vertex files, of the
// triangle file when `triangular` (the Delaunay triangles of the target nodes; otherwise the
// triangles already loaded in the store stay and their file is not among the texts), and of
// the 99 matrix files, into `arquivos`. Returns false, recording why, when the lists differ in
// length or the triangulation refuses the nodes or gives more than 99 triangles.
bool arquivosDaMalha(const std::vector<cv::Point>& origem, const std::vector<cv::Point>& destino,
                     bool triangular, std::vector<ArquivoNovo>& arquivos);

// Checks the mesh that `arquivos` make, with every mesh file of the working directory they do
// not replace, as "malha verificar" does (in a temporary folder of the working directory,
// removed afterwards), into `verificacao`; then, when no problem was found, writes the files
// all together over their names (creating the folders "data" and "matrix" when missing).
// Returns false, recording why, when the check found a problem or the files could not be
// written; nothing is then changed.
bool verificarEGravar(const std::vector<ArquivoNovo>& arquivos, Verificacao& verificacao);

} // namespace corretor
