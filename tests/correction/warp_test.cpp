#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "tests/support/random_mesh.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace corretor;

namespace {

IplImage* blackImage(int w, int h)
{
    IplImage* image = cvCreateImage(cvSize(w, h), IPL_DEPTH_8U, 3);
    std::memset(image->imageData, 0, static_cast<size_t>(image->imageSize));
    return image;
}

uchar* pixel(IplImage* image, int column, int row)
{
    return reinterpret_cast<uchar*>(image->imageData) + row * image->widthStep + column * 3;
}

void setPixel(IplImage* image, int column, int row, std::array<int, 3> v)
{
    for (int s = 0; s < 3; ++s)
        pixel(image, column, row)[s] = static_cast<uchar>(v[s]);
}

std::array<int, 3> valueAt(IplImage* image, int column, int row)
{
    const uchar* p = pixel(image, column, row);
    return {p[0], p[1], p[2]};
}

// An empty triangle list: entry 0 accepts every pixel, so every pixel moves by matrix[0].
void everyPixelThrough(const cv::Matx23f& m)
{
    limparMalha();
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            matrix[0].mat[r][c] = m(r, c);
}

// Both forms of the warp, so that each expectation holds for each.
IplImage* warp(bool fast, const IplImage* img, int w = 436, int h = 436)
{
    return fast ? morphPara(img, cvSize(w, h), IPL_DEPTH_8U, nullptr)
                : morphDireto(img, cvSize(w, h), IPL_DEPTH_8U);
}

bool sameBytes(const IplImage* a, const IplImage* b)
{
    return a->imageSize == b->imageSize &&
           std::memcmp(a->imageData, b->imageData, static_cast<size_t>(a->imageSize)) == 0;
}

} // namespace

TEST(Correction_Round, halves_go_down_and_negatives_truncate)
{
    EXPECT_EQ(2, corretor::round(2.5f)) << "lround would give 3";
    EXPECT_EQ(3, corretor::round(2.5000002f));
    EXPECT_EQ(0, corretor::round(0.5f));
    EXPECT_EQ(7, corretor::round(7.0f));
    EXPECT_EQ(0, corretor::round(-0.7f)) << "floor(x + 0.5) would give -1";
    EXPECT_EQ(-2, corretor::round(-2.5f));
    EXPECT_EQ(-2, corretor::round(-2.9f));
    EXPECT_EQ(16777216, corretor::round(16777216.0f));
}

TEST(Correction_Round, values_that_do_not_fit_have_fixed_results)
{
    EXPECT_EQ(INT_MIN, corretor::round(NAN));
    EXPECT_EQ(INT_MIN, corretor::round(-NAN));
    EXPECT_EQ(INT_MIN + 1, corretor::round(INFINITY));
    EXPECT_EQ(INT_MIN + 1, corretor::round(2147483648.0f));
    EXPECT_EQ(INT_MIN + 1, corretor::round(3e9f));
    EXPECT_EQ(2147483520, corretor::round(2147483520.0f)) << "the largest float below 2^31";
    EXPECT_EQ(INT_MIN, corretor::round(-2147483648.0f));
    EXPECT_EQ(INT_MIN, corretor::round(-3e9f));
    EXPECT_EQ(INT_MIN, corretor::round(-INFINITY));
}

TEST(Correction_Dist, strictly_inside_the_field_circle)
{
    for (auto p : {cvPoint(218, 218), cvPoint(218, 427), cvPoint(9, 218), cvPoint(366, 366)})
        EXPECT_TRUE(dist(p)) << p.x << "," << p.y;
    for (auto p : {cvPoint(218, 428), cvPoint(8, 218), cvPoint(428, 218), cvPoint(367, 367),
                   cvPoint(INT_MIN, INT_MIN), cvPoint(INT_MIN + 1, INT_MIN + 1),
                   cvPoint(INT_MAX, INT_MAX), cvPoint(INT_MIN, 218)})
        EXPECT_FALSE(dist(p)) << p.x << "," << p.y;
    // For integer points the circle is s < 210^2; the warp relies on that.
    for (int x = -20; x < 460; ++x)
        for (int y = -20; y < 460; ++y) {
            const long s = (x - 218L) * (x - 218L) + (y - 218L) * (y - 218L);
            ASSERT_EQ(s < 44100, dist(cvPoint(x, y))) << x << "," << y;
        }
}

class Correction_Morph : public ::testing::TestWithParam<bool>
{
};

TEST_P(Correction_Morph, map_takes_the_column_as_x_and_evaluates_in_double)
{
    // x' = j + 100, y' = i + 200: a source pixel in row 3, column 5 lands at column 105, row 203.
    everyPixelThrough(cv::Matx23f(1, 0, 100, 0, 1, 200));
    IplImage* src = blackImage(8, 6);
    setPixel(src, 5, 3, {9, 8, 7});
    IplImage* out = warp(GetParam(), src);
    EXPECT_EQ((std::array<int, 3>{9, 8, 7}), valueAt(out, 105, 203));
    free(out);
    free(src);

    // Here the exact value is 240.500013...: formed in double it rounds to 241; formed in float
    // the sum loses its fraction and gives 240.
    everyPixelThrough(cv::Matx23f(0.10373807f, 0.0315564759f, -44.5172424f, 0, 0, 218));
    src = blackImage(2475, 900);
    setPixel(src, 2474, 899, {9, 8, 7});
    out = warp(GetParam(), src);
    EXPECT_EQ((std::array<int, 3>{9, 8, 7}), valueAt(out, 241, 218));
    EXPECT_EQ((std::array<int, 3>{0, 0, 0}), valueAt(out, 240, 218));
    free(out);
    free(src);
}

TEST_P(Correction_Morph, collisions_blend_by_sample_zero)
{
    // Every pixel lands on (218, 218).
    everyPixelThrough(cv::Matx23f(0, 0, 218, 0, 0, 218));
    IplImage* src = blackImage(3, 1);
    setPixel(src, 0, 0, {100, 50, 20});
    setPixel(src, 1, 0, {200, 51, 0});
    setPixel(src, 2, 0, {0, 0, 0});
    IplImage* out = warp(GetParam(), src);
    EXPECT_EQ((std::array<int, 3>{75, 25, 5}), valueAt(out, 218, 218));
    free(out);

    // A copied pixel whose sample 0 is 0 looks empty: the next one replaces it.
    setPixel(src, 0, 0, {0, 90, 90});
    setPixel(src, 1, 0, {10, 20, 30});
    setPixel(src, 2, 0, {30, 0, 0});
    out = warp(GetParam(), src);
    EXPECT_EQ((std::array<int, 3>{20, 10, 15}), valueAt(out, 218, 218));
    free(out);
    free(src);
}

TEST_P(Correction_Morph, nothing_outside_the_circle_or_the_output)
{
    everyPixelThrough(cv::Matx23f(1, 0, 0, 0, 1, 0));
    IplImage* src = blackImage(440, 440);
    for (int y = 0; y < 440; ++y)
        for (int x = 0; x < 440; ++x)
            setPixel(src, x, y, {200, 100, 50});
    IplImage* out = warp(GetParam(), src, 300, 250); // a pattern smaller than 428 x 428
    EXPECT_EQ(300, out->width);
    EXPECT_EQ(250, out->height);
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 300; ++x) {
            const bool inside = (x - 218) * (x - 218) + (y - 218) * (y - 218) < 44100;
            ASSERT_EQ(inside ? 200 : 0, valueAt(out, x, y)[0]) << x << "," << y;
        }
    free(out);
    free(src);
}

INSTANTIATE_TEST_SUITE_P(BothForms, Correction_Morph, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "fast" : "direct"; });

// Both forms of the fast warp, the vector one where the processor has it and the portable one.
class Correction_MorphParaForms : public ::testing::TestWithParam<bool>
{
protected:
    Correction_MorphParaForms() { usarFormaPortavel(GetParam()); }
    ~Correction_MorphParaForms() override { usarFormaPortavel(false); }
};

TEST_P(Correction_MorphParaForms, same_bytes_as_the_direct_warp_on_random_meshes)
{
    std::mt19937 random(42);
    for (int trial = 0; trial < 300; ++trial) {
        teste::MeshShape shape;
        shape.width = 16 + static_cast<int>(random() % 90);
        shape.height = 8 + static_cast<int>(random() % 60);
        shape.allLoaded = trial % 4 == 0;
        teste::fillRandomMesh(random, shape);
        IplImage* src = blackImage(shape.width, shape.height);
        for (int y = 0; y < shape.height; ++y)
            for (int x = 0; x < shape.width; ++x)
                if (random() % 5) // some pixels stay black
                    setPixel(src, x, y,
                             {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                              static_cast<int>(random() % 256)});
        const int w = trial % 5 == 0 ? 200 + static_cast<int>(random() % 300) : 436;
        const int h = trial % 7 == 0 ? 200 + static_cast<int>(random() % 300) : 436;
        IplImage* fast = warp(true, src, w, h);
        IplImage* direct = warp(false, src, w, h);
        EXPECT_TRUE(sameBytes(direct, fast)) << "trial " << trial;
        free(direct);
        free(fast);
        free(src);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, Correction_MorphParaForms, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "portable" : "fastest"; });

TEST(Correction_MorphPara, progress_values_per_source_row_end_at_100)
{
    everyPixelThrough(cv::Matx23f(1, 0, 0, 0, 1, 0));
    for (int rows : {50, 1000, 1, 3}) {
        IplImage* src = blackImage(4, rows);
        std::vector<int> shown;
        IplImage* out =
            morphPara(src, cvSize(436, 436), IPL_DEPTH_8U, [&](int v) { shown.push_back(v); });
        std::vector<int> expected;
        for (int i = 0; i < rows; ++i) {
            const int v = 100 * i / rows + 1;
            if (expected.empty() || expected.back() != v) expected.push_back(v);
        }
        if (expected.back() != 100) expected.push_back(100);
        EXPECT_EQ(expected, shown) << rows << " rows";
        free(out);
        free(src);
    }
    // Fifty rows show 1, 3, 5, ..., 99 and then 100.
    std::vector<int> fifty;
    for (int v = 1; v <= 99; v += 2)
        fifty.push_back(v);
    fifty.push_back(100);
    IplImage* src = blackImage(4, 50);
    std::vector<int> shown;
    IplImage* out =
        morphPara(src, cvSize(436, 436), IPL_DEPTH_8U, [&](int v) { shown.push_back(v); });
    EXPECT_EQ(fifty, shown);
    free(out);
    free(src);
}
