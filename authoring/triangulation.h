// Triangulation of the mesh nodes, for the triangle file.
//
// The triangles are the Delaunay triangulation of the target nodes (their positions in the
// pattern): node k (from 1) is origem[k - 1] in the source mesh and destino[k - 1] in the target
// mesh, the two lists of one length. OpenCV's
// Subdiv2D finds most of it; its outer triangle is finite, so it leaves out some triangles along
// the border of the node set, and those are added by wrapping outward from the triangles found
// (each added triangle has no node in its circumcircle on that side), so that the triangles
// always cover the convex hull of the target nodes.
//
// Winding: every triangle is written so that its corners run counter-clockwise on screen in
// the source mesh (the winding value of utilities/geometry.h is negative there), where triangle
// location sends the points of an edge to a triangle only with that winding; a triangle that
// is degenerate in the source mesh takes that winding in the target mesh. Each triangle starts
// with its smallest node number, and the list is sorted.
#pragma once

#include "utilities/geometry.h"

#include <array>
#include <string>
#include <vector>

namespace corretor {

using Triangulo = std::array<int, 3>; // node numbers, 1 to 63

// Coordinates of target nodes must lie within ±kCoordenadaMaxima (the library works in float).
constexpr int kCoordenadaMaxima = 1000000;

// Fills `triangulos` as above. Returns false, recording why, when there are fewer than 3 nodes,
// two nodes share one target position, a target coordinate lies beyond kCoordenadaMaxima, or
// the target nodes all lie on one line.
bool triangularMalha(const std::vector<Ponto>& origem, const std::vector<Ponto>& destino,
                     std::vector<Triangulo>& triangulos);

// triangularMalha for the triangle file: refused too, recording why, when the triangles are
// more than the file holds (99).
bool triangularParaOArquivo(const std::vector<Ponto>& origem, const std::vector<Ponto>& destino,
                            std::vector<Triangulo>& triangulos);

// The text of the triangle file for `triangulos`: one "a b c" line each, in order.
std::string textoDosTriangulos(const std::vector<Triangulo>& triangulos);

} // namespace corretor
