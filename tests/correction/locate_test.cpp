#include "correction/locate.h"
#include "mesh/mesh_store.h"
#include "tests/support/random_mesh.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace corretor;

namespace {

// Nodes 1, 2, 3 at (10, 10), (20, 10), (10, 20) in (column, row); entries as given, the rest
// empty.
void smallMesh(std::vector<std::array<int, 3>> entries)
{
    limparMalha();
    const int nodes[4][2] = {{0, 0}, {10, 10}, {20, 10}, {10, 20}};
    for (int k = 1; k < 4; ++k)
        vert[k][0] = nodes[k][0], vert[k][1] = nodes[k][1];
    for (size_t t = 0; t < entries.size(); ++t)
        for (int k = 0; k < 3; ++k)
            trg[t][k] = entries[t][k];
}

// triangulo for the pixel in `column`, `row`: the point carries the row in x.
int at(int column, int row)
{
    return triangulo(cvPoint(row, column));
}

} // namespace

TEST(Correction_Prod, side_flag_and_exact_values)
{
    EXPECT_TRUE(prod(cvPoint(0, 0), cvPoint(10, 0), cvPoint(5, 3)));
    EXPECT_FALSE(prod(cvPoint(0, 0), cvPoint(10, 0), cvPoint(5, -3)));
    EXPECT_TRUE(prod(cvPoint(0, 0), cvPoint(10, 0), cvPoint(-7, 0))) << "on the line counts";
    EXPECT_TRUE(prod(cvPoint(4, 4), cvPoint(4, 4), cvPoint(-100, 900))) << "p1 equal to p2";
    // Values beyond 32 and 64 bits keep their true sign.
    const CvPoint lo = cvPoint(INT_MIN, INT_MIN), hi = cvPoint(INT_MAX, INT_MAX);
    EXPECT_TRUE(prod(lo, cvPoint(INT_MAX, INT_MIN), hi));
    EXPECT_FALSE(prod(lo, cvPoint(INT_MIN, INT_MAX), hi));
    EXPECT_FALSE(prod(cvPoint(INT_MIN, 0), cvPoint(INT_MAX, 1), cvPoint(INT_MIN, -1)));
}

TEST(Correction_Triangulo, winding_decides_edge_points)
{
    smallMesh({{1, 2, 3}}); // clockwise on screen
    EXPECT_EQ(0, at(13, 13));
    EXPECT_EQ(0, at(20, 10)) << "a corner is taken at once";
    EXPECT_EQ(1, at(15, 10)) << "edge points go on to the first empty entry";
    EXPECT_EQ(1, at(10, 15));
    EXPECT_EQ(1, at(15, 15));
    EXPECT_EQ(1, at(16, 16));

    smallMesh({{1, 3, 2}}); // counter-clockwise on screen
    EXPECT_EQ(0, at(13, 13));
    EXPECT_EQ(0, at(15, 10));
    EXPECT_EQ(0, at(10, 15));
    EXPECT_EQ(0, at(15, 15));
    EXPECT_EQ(1, at(16, 16));
    EXPECT_EQ(1, at(0, 0));
    EXPECT_EQ(1, at(400, 3));
}

TEST(Correction_Triangulo, minus_one_only_when_all_entries_are_loaded)
{
    std::vector<std::array<int, 3>> all(99, {1, 2, 3});
    smallMesh(all);
    EXPECT_EQ(0, at(13, 13));
    EXPECT_EQ(-1, at(16, 16));

    all[0] = {1, 1, 2}; // two coincident corners: the line through (10, 10) and (20, 10)
    smallMesh(all);
    EXPECT_EQ(0, at(30, 10));
    EXPECT_EQ(0, at(5, 10));
    EXPECT_EQ(1, at(13, 13));
    EXPECT_EQ(-1, at(16, 16));
}

TEST(Correction_Triangulo, rows_and_columns_are_not_swapped)
{
    // A triangle well away from the diagonal: swapping the order would miss it.
    limparMalha();
    const int nodes[4][2] = {{0, 0}, {100, 2}, {120, 2}, {100, 8}};
    for (int k = 1; k < 4; ++k)
        vert[k][0] = nodes[k][0], vert[k][1] = nodes[k][1];
    for (int t = 0; t < 99; ++t)
        trg[t][0] = 1, trg[t][1] = 2, trg[t][2] = 3;
    EXPECT_EQ(0, at(103, 4));
    EXPECT_EQ(-1, at(4, 103));
}

TEST(Correction_RowLocator, equals_triangulo_on_every_pixel_of_random_meshes)
{
    std::mt19937 random(20261206);
    for (int trial = 0; trial < 400; ++trial) {
        teste::MeshShape shape;
        shape.width = 20 + static_cast<int>(random() % 60);
        shape.height = 10 + static_cast<int>(random() % 40);
        shape.allLoaded = trial % 3 == 0;
        teste::fillRandomMesh(random, shape);
        const RowLocator locator;
        std::vector<int8_t> row(shape.width);
        int mismatches = 0;
        for (int i = 0; i < shape.height && mismatches < 3; ++i) {
            locator.locate(i, shape.width, row.data());
            for (int j = 0; j < shape.width; ++j) {
                const int expected = triangulo(cvPoint(i, j));
                if (row[j] != expected && ++mismatches <= 3)
                    ADD_FAILURE() << "trial " << trial << " row " << i << " column " << j
                                  << ": locator " << int(row[j]) << ", scan " << expected;
            }
        }
    }
}

TEST(Correction_RowLocator, handles_coordinates_at_the_ends_of_the_32_bit_range)
{
    limparMalha();
    const int nodes[7][2] = {{0, 0},
                             {INT_MIN, INT_MIN},
                             {INT_MAX, INT_MIN},
                             {INT_MIN, INT_MAX},
                             {INT_MAX, 5},
                             {3, INT_MAX},
                             {-4, -4}};
    for (int k = 1; k < 7; ++k)
        vert[k][0] = nodes[k][0], vert[k][1] = nodes[k][1];
    const int entries[4][3] = {{4, 5, 6}, {6, 5, 4}, {1, 2, 3}, {3, 2, 1}};
    for (int t = 0; t < 99; ++t)
        for (int k = 0; k < 3; ++k)
            trg[t][k] = entries[t % 4][k];
    const RowLocator locator;
    std::vector<int8_t> row(40);
    for (int i = 0; i < 30; ++i) {
        locator.locate(i, 40, row.data());
        for (int j = 0; j < 40; ++j)
            ASSERT_EQ(triangulo(cvPoint(i, j)), row[j]) << i << "," << j;
    }
}
