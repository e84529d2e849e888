// Where the nodes of a calibrated mesh lie in the pattern.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace corretor {

constexpr int kMenosNos = 10; // the fewest nodes a calibrated mesh takes
constexpr int kMaisNos = 63;  // the most the vertex files hold

// `n` target nodes (kMenosNos to kMaisNos), node 1 first, in the pattern's pixel grid: the
// field centre, rings about it, and an outer ring of m nodes so far out that each of its edges
// lies at least 212 pixels from the centre (210 is the field's radius, and rounding a node to
// whole pixels moves it less than one), so that the triangles cover the whole field circle.
// The outer ring is the hull of the nodes, so the triangulation has 2 n - 2 - m triangles; m is
// at least 2 n - 101, which keeps that within the 99 the triangle file holds. The rings' node
// counts grow with their radius, so the triangles are near equilateral, and the rings draw a
// little closer towards the edge. For 63 nodes: rings of 6, 12, 19 and 25 at radii 60, 116,
// 167 and 214 (to the nearest pixel), 99 triangles. (The demo keeps a table of its own, at 58,
// 116, 170 and 214: calibration/sintetica/demo_scene.h.)
std::vector<cv::Point> escolherNosDeDestino(int n);

} // namespace corretor
