// The curved map of a mesh: one smooth map from the pattern's grid (the target mesh) to the
// enlarged image (the source mesh) through the same nodes, for the interpolated correction's
// `--suave` (correction/warp_interpolado.h).
//
// The flat interpolated correction carries each target triangle onto its source triangle with
// one affine map, so a lens, smooth itself, is followed by 99 flat pieces that bend at every
// edge. The curved map is a Clough-Tocher interpolant over the mesh's own triangles:
// - at each node, its value is the node's source point and its gradient (the 2 x 2 Jacobian of
//   source against target) is fitted to the node's neighbours by least squares: a quadratic
//   through them when five or more lie around it in general position, a plane otherwise;
// - each target triangle is split at its centroid into three, and carries a cubic on each third
//   whose Bezier ordinates follow from the three nodes' values and gradients: the edge curves
//   are the cubics that the two end nodes determine, the derivative across each edge varies
//   linearly along it (the reduced element), and the three cubics join with continuous first
//   derivatives inside the triangle.
// Hence the map passes through every node exactly, is continuous with continuous first
// derivatives across every edge two triangles share (both sides see the same two nodes), and is
// local: a node's data reach only the triangles that hold it, and its gradient only the nodes
// next to it, so moving one node changes the map within the triangles around it and around its
// neighbours. It reproduces every quadratic map exactly.
//
// Coordinates: x the column and y the row, from the top-left pixel; source points in the
// enlarged image as the vertex file "data\verticesamp4.txt" holds them, target points in the
// pattern as "data\vertices2.txt" holds them (mesh/mesh_store.h).
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace corretor {

class MapaSuave
{
public:
    // The curved map of the mesh store as it stands (vert, vert2, trg). A triangle that names
    // node 0 or a node beyond 63, or whose target or source corners lie on one line, gets no
    // curved piece, and no node's gradient rests on it.
    MapaSuave();

    // True when triangle t (0 to 98) has a curved piece.
    bool temPeca(int t) const { return pecas_[t].valida; }

    // The source point of the target point (x, y), which must lie in target triangle t (or on
    // its border), and the Jacobian there: row 0 holds d(source x)/dx and d(source x)/dy, row 1
    // the same for source y. False, leaving both as they were, when t has no curved piece.
    bool avaliar(int t, double x, double y, cv::Point2d& fonte, cv::Matx22d& jacobiano) const;

    // The value and gradient fitted at node k (1 to 63) when a triangle with a curved piece
    // holds it; false otherwise. For the tests.
    bool no(int k, cv::Point2d& valor, cv::Matx22d& gradiente) const;

    // Makes the map flat on each of `triangulos`: the nodes of each take as gradient the
    // triangle's own affine map through its nodes (the mean of them, for a node of several), and
    // every piece that holds such a node is made again. A triangle whose nodes belong to no other
    // of the list is then exactly its affine map, and the map stays continuous with continuous
    // derivatives everywhere; the pieces around it bend a little differently.
    void aplainar(const std::vector<int>& triangulos);

private:
    struct Peca
    {
        bool valida = false;
        cv::Point2d canto[3];            // target corners
        cv::Vec3d bx, by, b0;            // barycentric coordinate i = bx[i] x + by[i] y + b0[i]
        std::array<cv::Point2d, 19> ord; // the Bezier ordinates (curved_map.cpp)
    };
    void montarPeca(int t);
    cv::Matx22d planoDe(int t) const;

    std::array<Peca, 99> pecas_;
    std::vector<bool> temNo_;
    std::vector<cv::Point2d> valor_;
    std::vector<cv::Matx22d> gradiente_;
};

} // namespace corretor
