// Triangulation of the mesh nodes: Delaunay over the hull, wound for triangle location.
#include "authoring/triangulation.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "utilities/geometry.h"
#include "utilities/report.h"
#include "utilities/angles.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace corretor;

namespace {

// Nodes 1..n: the target as given, the source a mirrored copy, so that a triangle winds one way
// in the target and the other in the source.
void fillNodes(const std::vector<cv::Point>& target)
{
    teste::estadoInicial();
    for (std::size_t k = 0; k < target.size(); ++k) {
        vert2[k + 1][0] = target[k].x, vert2[k + 1][1] = target[k].y;
        vert[k + 1][0] = 2000 - 4 * target[k].x, vert[k + 1][1] = 4 * target[k].y + 7;
    }
}

} // namespace

// Nearly collinear nodes first (their circumcircles are far larger than the library's outer
// triangle, so it finds none of their triangles; the border completion must), then 3 to 63
// random nodes anywhere, on a grid (many cocircular), or on and inside the field circle. The
// triangles cover the hull exactly (twice its area, in integers), use every node, hold no node
// in a circumcircle, never overlap, run counter-clockwise in the source mesh, start with their
// smallest node and are sorted.
TEST(Authoring_Triangular, covers_the_hull_with_delaunay_triangles_wound_for_location)
{
    std::mt19937 random(4);
    for (int caso = 0; caso < 300 && !HasFailure(); ++caso) {
        std::vector<cv::Point> nodes;
        if (caso == 0) nodes = {{0, 0}, {100, 1}, {200, 1}, {300, 0}, {150, -1}};
        for (const int n = 3 + int(random() % 61); caso > 0 && int(nodes.size()) < n;) {
            cv::Point p(int(random() % 440), int(random() % 440));
            const double a = emRadianos(random() % 360), r = random() % 3 ? 210 : random() % 210;
            if (caso % 3 == 1) p = {p.x / 55 * 55, p.y / 55 * 55};
            if (caso % 3 == 2)
                p = {218 + int(std::lround(r * std::cos(a))),
                     218 + int(std::lround(r * std::sin(a)))};
            if (std::find(nodes.begin(), nodes.end(), p) == nodes.end()) nodes.push_back(p);
        }
        SCOPED_TRACE(caso);
        fillNodes(nodes);
        std::vector<Triangulo> tris;
        ASSERT_TRUE(triangularMalha(static_cast<int>(nodes.size()), tris)) << motivoFalha();
        std::vector<cv::Point> hull;
        cv::convexHull(nodes, hull);
        double area = 0;
        std::set<int> used;
        for (std::size_t i = 0; i < tris.size(); ++i) {
            const Ponto a[3] = {pontoDe(vert2, tris[i][0]), pontoDe(vert2, tris[i][1]),
                                pontoDe(vert2, tris[i][2])};
            area += dobroDaArea(a[0], a[1], a[2]);
            used.insert(tris[i].begin(), tris[i].end());
            EXPECT_LT(orientacao(pontoDe(vert, tris[i][0]), pontoDe(vert, tris[i][1]),
                                 pontoDe(vert, tris[i][2])),
                      0);
            EXPECT_TRUE(tris[i][0] < tris[i][1] && tris[i][0] < tris[i][2] &&
                        (i == 0 || tris[i - 1] < tris[i]));
            for (int no = 1; no <= static_cast<int>(nodes.size()); ++no)
                EXPECT_FALSE(dentroDoCirculo(a[0], a[1], a[2], pontoDe(vert2, no)))
                    << "node " << no;
            for (std::size_t j = 0; j < i; ++j) {
                const Ponto b[3] = {pontoDe(vert2, tris[j][0]), pontoDe(vert2, tris[j][1]),
                                    pontoDe(vert2, tris[j][2])};
                EXPECT_FALSE(interioresSeCruzam(a, b)) << i << ", " << j;
            }
        }
        EXPECT_EQ(2 * cv::contourArea(hull), area);
        EXPECT_EQ(nodes.size(), used.size());
    }
}
