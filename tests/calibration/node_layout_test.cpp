// The node layout (calibration/node_layout.h) for every node count: distinct nodes whose hull
// covers the field circle, and a triangulation of them that fits the triangle file.
#include "calibration/node_layout.h"
#include "utilities/angles.h"
#include "utilities/field.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <set>

using namespace corretor;

TEST(Calibration_NodeLayout, covers_the_field_with_at_most_99_triangles_for_every_count)
{
    for (int n = kMenosNos; n <= kMaisNos; ++n) {
        SCOPED_TRACE(n);
        const std::vector<cv::Point> nos = escolherNosDeDestino(n);
        ASSERT_EQ(static_cast<std::size_t>(n), nos.size());
        EXPECT_EQ(cv::Point(kCentroDoCampo, kCentroDoCampo), nos[0]);
        std::set<std::pair<int, int>> distintos;
        for (const auto& p : nos)
            distintos.insert({p.x, p.y});
        EXPECT_EQ(nos.size(), distintos.size()) << "two nodes at one pixel";

        std::vector<cv::Point> casco;
        cv::convexHull(nos, casco);
        // Euler: a triangulation of n points, h of them on the hull, has 2 n - 2 - h triangles
        // (points on a hull edge but not corners would only lower that).
        EXPECT_LE(2 * n - 2 - static_cast<int>(casco.size()), 99);
        // Every point of the field circle lies inside the hull, by more than the half pixel
        // that rounds a corrected point.
        double folga = 1e9;
        for (int k = 0; k < 3600; ++k) {
            const double t = 2 * kPi * k / 3600;
            const cv::Point2f p(static_cast<float>(kCentroDoCampo + kRaioDoCampo * std::cos(t)),
                                static_cast<float>(kCentroDoCampo + kRaioDoCampo * std::sin(t)));
            folga = std::min(folga, cv::pointPolygonTest(casco, p, true));
        }
        EXPECT_GT(folga, 0.5);
    }
}
