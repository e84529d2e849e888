// The demo's scene: a synthetic reference pattern, a known lens distortion, the picture of the
// pattern taken through it, and the mesh nodes that undo it.
//
// Coordinates: x is the column and y the row, from the top-left pixel, whose centre is (0, 0);
// y grows downward. Three pixel grids meet here:
//   pattern   "data\pattern.jpg", kLadoDoPadrao square, with the field circle of
//             utilities/field.h;
//   picture   the image to correct, kLadoDaAmostra square;
//   enlarged  the picture after two twofold enlargements (dobra), four times its size; the
//             source mesh lives here.
// The distortion goes from the pattern to the picture (what the lens does); the correction
// undoes it.
//
// Distortion model. With u the pattern point relative to the field centre, in field radii,
//   u   = (p - (218, 218)) / 210
//   u_d = u * (1 + k1 * |u|^2)                            radial; barrel when k1 < 0
//   q   = centro + escala * 210 * R(angulo) * u_d         the picture point
// where R(angulo) = [cos -sin; sin cos] turns clockwise on screen (y grows downward).
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace corretor {

constexpr int kLadoDoPadrao = 436;  // the pattern's width and height
constexpr int kLadoDaAmostra = 200; // the picture's width and height
constexpr int kNosDaDemo = 63;      // mesh nodes: all that the vertex files hold

struct Distorcao
{
    double k1;          // radial coefficient, per squared field radius
    double angulo;      // rotation, radians, clockwise on screen
    double escala;      // picture pixels per pattern pixel at the field centre
    cv::Point2d centro; // where the field centre lands in the picture
};

// The demo's lens: k1 = -0.10, 2 degrees, 0.49 picture pixels per pattern pixel, the field
// centre 3 pixels right of and 2 above the picture's centre.
Distorcao distorcaoDaDemo();

// The picture point of the pattern point `p`, by the formula above.
cv::Point2d distorcer(const Distorcao& d, cv::Point2d p);

// The pattern point that `distorcer` takes to the picture point `q`. Returns false, leaving
// `p` as it was, when there is none: beyond the radius where the barrel folds back
// (1 + 3 k1 |u|^2 = 0) no pattern point lands.
bool desfazerDistorcao(const Distorcao& d, cv::Point2d q, cv::Point2d& p);

// The reference pattern: a new 8-bit, 3-channel picture of kLadoDoPadrao square, the same for
// every call. Light tinted quadrants (each its own colour, so that a turn or a mirror shows),
// a grid, rings every 30 pixels up to the field's edge, 16 spokes and a centre disc. No pixel
// is dark (each colour, and each blend of two, has a sample above 80), so the quality measure
// counts every field pixel and a pixel that the warp reached never looks like a hole.
cv::Mat desenharPadrao();

// The pattern as the lens shows it: a new kLadoDaAmostra square picture. Each picture pixel is
// the mean of 4 x 4 samples spread over its area, each read from `padrao` (bilinear) at the
// point that desfazerDistorcao gives; samples with no pattern point, or outside `padrao`, are
// black.
cv::Mat fotografarPadrao(const cv::Mat& padrao, const Distorcao& d);

// The 63 target nodes in the pattern, node 1 first: the field centre, then rings of 6, 12, 19
// and 25 nodes. The outer ring lies outside the field circle, so that the triangles cover all
// of it, and its 25 nodes are the hull: the triangulation then has 2 * 63 - 2 - 25 = 99
// triangles, as many as the triangle file holds.
std::vector<cv::Point> nosDeDestino();

// The source node of the target node `destino`: where the enlarged picture shows that pattern
// point, rounded to whole pixels once, in the enlarged grid (paraAmpliada, mesh/ampliacao.h).
cv::Point noDeOrigem(const Distorcao& d, cv::Point destino);

} // namespace corretor
