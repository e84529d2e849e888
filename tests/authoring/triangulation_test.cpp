// Triangulation of the mesh nodes: Delaunay over the hull, wound for triangle location.
#include "authoring/triangulation.h"
#include "utilities/angles.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace corretor;

namespace {

std::vector<Ponto> pontos(const std::vector<cv::Point>& nodes, int escala = 1, int deslocamento = 0)
{
    std::vector<Ponto> p;
    for (const auto& n : nodes)
        p.push_back({escala * n.x + deslocamento, std::abs(escala) * n.y}); // mirrored in x only
    return p;
}

// Plain 64-bit arithmetic, apart from the system's exact predicates.
int64_t giro(cv::Point a, cv::Point b, cv::Point c)
{
    return int64_t(b.x - a.x) * (c.y - a.y) - int64_t(b.y - a.y) * (c.x - a.x);
}

bool noCirculo(cv::Point a, cv::Point b, cv::Point c, cv::Point p)
{
    const int64_t ax = a.x - p.x, ay = a.y - p.y, bx = b.x - p.x, by = b.y - p.y, cx = c.x - p.x,
                  cy = c.y - p.y;
    const int64_t det = (ax * ax + ay * ay) * (bx * cy - by * cx) -
                        (bx * bx + by * by) * (ax * cy - ay * cx) +
                        (cx * cx + cy * cy) * (ax * by - ay * bx);
    return (giro(a, b, c) > 0 ? det : -det) > 0;
}

} // namespace

// Small node sets whose triangles are worked out by hand. The square with its centre: four
// triangles about node 5, each listed from its smallest node and counter-clockwise on screen in
// the source mesh (here the target enlarged four times, which keeps the winding; negative
// winding value), the list sorted. The same nodes mirrored in the source: each triangle wound
// the other way. A single triangle.
TEST(Authoring_Triangular, small_sets_give_the_triangles_worked_out_by_hand)
{
    const std::vector<cv::Point> quadrado = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {5, 5}};
    struct Caso
    {
        std::vector<cv::Point> destino;
        int escalaDaOrigem; // the source is the target times this, mirrored in x when negative
        std::vector<Triangulo> esperados;
    };
    const Caso casos[] = {
        {quadrado, 4, {{1, 4, 5}, {1, 5, 2}, {2, 5, 3}, {3, 5, 4}}},
        {quadrado, -4, {{1, 2, 5}, {1, 5, 4}, {2, 3, 5}, {3, 4, 5}}},
        {{{0, 0}, {10, 0}, {0, 10}}, 4, {{1, 3, 2}}},
    };
    for (const auto& c : casos) {
        std::vector<Triangulo> tris;
        ASSERT_TRUE(
            triangularMalha(pontos(c.destino, c.escalaDaOrigem, 1000), pontos(c.destino), tris))
            << motivoFalha();
        EXPECT_EQ(c.esperados, tris) << c.escalaDaOrigem;
    }
}

// Nearly collinear nodes first (their circumcircles are far larger than the library's outer
// triangle, so it finds none of their triangles; the border completion must), then 3 to 63
// random nodes anywhere, on a grid (many cocircular), or on and inside the field circle. Judged
// with plain arithmetic and OpenCV's own geometry: the triangles cover the hull exactly, use
// every node, hold no node strictly in a circumcircle, overlap nowhere, run counter-clockwise
// in the (mirrored) source mesh, start with their smallest node and are sorted.
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
        std::vector<Triangulo> tris;
        ASSERT_TRUE(triangularMalha(pontos(nodes, -4, 2000), pontos(nodes), tris)) << motivoFalha();
        std::vector<cv::Point> hull;
        cv::convexHull(nodes, hull);
        const auto no = [&](int k) { return nodes[static_cast<std::size_t>(k - 1)]; };
        const auto noDeOrigem = [&](int k) { return cv::Point(2000 - 4 * no(k).x, 4 * no(k).y); };
        double area = 0;
        std::set<int> used;
        for (std::size_t i = 0; i < tris.size(); ++i) {
            const std::vector<cv::Point> a = {no(tris[i][0]), no(tris[i][1]), no(tris[i][2])};
            area += std::abs(giro(a[0], a[1], a[2]));
            used.insert(tris[i].begin(), tris[i].end());
            EXPECT_LT(giro(noDeOrigem(tris[i][0]), noDeOrigem(tris[i][1]), noDeOrigem(tris[i][2])),
                      0);
            EXPECT_TRUE(tris[i][0] < tris[i][1] && tris[i][0] < tris[i][2] &&
                        (i == 0 || tris[i - 1] < tris[i]));
            for (const auto& p : nodes)
                EXPECT_FALSE(noCirculo(a[0], a[1], a[2], p)) << p;
            for (std::size_t j = 0; j < i; ++j) {
                const std::vector<cv::Point> b = {no(tris[j][0]), no(tris[j][1]), no(tris[j][2])};
                std::vector<cv::Point2f> comum;
                EXPECT_LT(cv::intersectConvexConvex(std::vector<cv::Point2f>(a.begin(), a.end()),
                                                    std::vector<cv::Point2f>(b.begin(), b.end()),
                                                    comum),
                          1e-3)
                    << i << ", " << j;
            }
        }
        EXPECT_EQ(2 * cv::contourArea(hull), area);
        EXPECT_EQ(nodes.size(), used.size());
    }
}
