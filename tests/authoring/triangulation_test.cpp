#include "authoring/geometry.h"
#include "authoring/triangulation.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace corretor;

namespace {

// Nodes 1..n of both meshes: the target as given, the source a mirrored and shifted copy, so
// that the winding in the source is the opposite of the one in the target.
void fillNodes(const std::vector<cv::Point>& target)
{
    limparMalha();
    limparFalha();
    for (std::size_t k = 0; k < target.size(); ++k) {
        vert2[k + 1][0] = target[k].x;
        vert2[k + 1][1] = target[k].y;
        vert[k + 1][0] = 2000 - 4 * target[k].x;
        vert[k + 1][1] = 4 * target[k].y + 7;
    }
}

std::vector<cv::Point> randomNodes(std::mt19937& random, int layout)
{
    const int n = 3 + static_cast<int>(random() % 61);
    std::vector<cv::Point> nodes;
    while (static_cast<int>(nodes.size()) < n) {
        cv::Point p(static_cast<int>(random() % 440), static_cast<int>(random() % 440));
        if (layout == 1) p = {p.x / 55 * 55, p.y / 55 * 55}; // a grid: many cocircular nodes
        if (layout == 2) {                                   // on and inside the field circle
            const double a = (random() % 360) * M_PI / 180, r = random() % 3 ? 210 : random() % 210;
            p = {218 + int(std::lround(r * std::cos(a))), 218 + int(std::lround(r * std::sin(a)))};
        }
        if (std::find(nodes.begin(), nodes.end(), p) == nodes.end()) nodes.push_back(p);
        if (layout == 1 && nodes.size() == 64 - 1) break;
    }
    return nodes;
}

} // namespace

TEST(Authoring_Triangular, covers_the_hull_with_delaunay_triangles_wound_for_location)
{
    std::mt19937 random(4);
    for (int caso = 0; caso < 300; ++caso) {
        const auto nodes = randomNodes(random, caso % 3);
        fillNodes(nodes);
        std::vector<Triangulo> tris;
        ASSERT_TRUE(triangularMalha(static_cast<int>(nodes.size()), tris)) << motivoFalha();
        const auto target = [](int no) { return pontoDe(vert2, no); };

        // Exact areas: twice the hull's area against the sum of twice each triangle's.
        std::vector<cv::Point> hull;
        cv::convexHull(nodes, hull);
        double area = 0;
        std::vector<bool> used(nodes.size() + 1, false);
        for (const auto& t : tris) {
            area += dobroDaArea(target(t[0]), target(t[1]), target(t[2]));
            EXPECT_LT(orientacao(pontoDe(vert, t[0]), pontoDe(vert, t[1]), pontoDe(vert, t[2])), 0);
            EXPECT_TRUE(t[0] < t[1] && t[0] < t[2]);
            for (int no : t)
                used[no] = true;
            for (int no = 1; no <= static_cast<int>(nodes.size()); ++no)
                EXPECT_FALSE(dentroDoCirculo(target(t[0]), target(t[1]), target(t[2]), target(no)))
                    << "case " << caso << ": node " << no << " in the circumcircle";
        }
        EXPECT_EQ(2 * cv::contourArea(hull), area) << "case " << caso;
        EXPECT_EQ(nodes.size(), std::count(used.begin() + 1, used.end(), true)) << "case " << caso;
        for (std::size_t i = 0; i < tris.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) {
                const Ponto a[3] = {target(tris[i][0]), target(tris[i][1]), target(tris[i][2])};
                const Ponto b[3] = {target(tris[j][0]), target(tris[j][1]), target(tris[j][2])};
                EXPECT_FALSE(interioresSeCruzam(a, b)) << "case " << caso << ": " << i << ", " << j;
            }
        if (HasFailure()) break;
    }
}

TEST(Authoring_Triangular, refuses_node_sets_it_cannot_triangulate)
{
    struct Case
    {
        std::vector<cv::Point> nodes;
        std::string reason;
    };
    const Case cases[] = {
        {{{0, 0}, {5, 5}}, "ao menos 3 nós"},
        {{{0, 0}, {10, 0}, {3, 9}, {10, 0}}, "os nós 2 e 4 têm a mesma posição (10, 0)"},
        {{{0, 0}, {10, 10}, {20, 20}, {-30, -30}}, "numa reta"},
        {{{0, 0}, {10, 0}, {3, 1000001}}, "fora de ±1000000"},
    };
    for (const auto& c : cases) {
        fillNodes(c.nodes);
        std::vector<Triangulo> tris;
        EXPECT_FALSE(triangularMalha(static_cast<int>(c.nodes.size()), tris)) << c.reason;
        EXPECT_NE(std::string::npos, motivoFalha().find(c.reason)) << motivoFalha();
        EXPECT_NE(std::string::npos, motivoFalha().find("data/vertices2.txt")) << motivoFalha();
        EXPECT_TRUE(tris.empty());
    }
}

TEST(Authoring_Triangular, nearly_collinear_nodes_still_form_their_triangles)
{
    // The circumcircles are far larger than the library's outer triangle, so it finds none of
    // these; the border completion must.
    fillNodes({{0, 0}, {200, 1}, {400, 0}});
    std::vector<Triangulo> tris;
    ASSERT_TRUE(triangularMalha(3, tris)) << motivoFalha();
    EXPECT_EQ((std::vector<Triangulo>{{1, 3, 2}}), tris) << "wound for the mirrored source";

    fillNodes({{0, 0}, {100, 1}, {200, 1}, {300, 0}, {150, -1}});
    ASSERT_TRUE(triangularMalha(5, tris)) << motivoFalha();
    EXPECT_EQ(3u, tris.size());
}

TEST(Authoring_Triangular, winding_follows_the_source_mesh)
{
    // A square with its centre; the source here is the target mirrored left to right.
    fillNodes({{0, 0}, {100, 0}, {100, 100}, {0, 100}, {50, 50}});
    std::vector<Triangulo> tris;
    ASSERT_TRUE(triangularMalha(5, tris));
    EXPECT_EQ((std::vector<Triangulo>{{1, 2, 5}, {1, 5, 4}, {2, 3, 5}, {3, 4, 5}}), tris);
    for (const auto& t : tris)
        EXPECT_GT(orientacao(pontoDe(vert2, t[0]), pontoDe(vert2, t[1]), pontoDe(vert2, t[2])), 0)
            << "mirrored, the target winds the other way";

    // With the source equal to the target the same triangles wind the other way round.
    for (int k = 1; k <= 5; ++k) {
        vert[k][0] = vert2[k][0];
        vert[k][1] = vert2[k][1];
    }
    ASSERT_TRUE(triangularMalha(5, tris));
    EXPECT_EQ((std::vector<Triangulo>{{1, 4, 5}, {1, 5, 2}, {2, 5, 3}, {3, 5, 4}}), tris);
}
