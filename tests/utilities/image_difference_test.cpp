#include "correction/stages.h"
#include "utilities/image_difference.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace corretor;

namespace {

IplImage* filled(int w, int h, int value, int channels = 3)
{
    IplImage* image = cvCreateImage(cvSize(w, h), IPL_DEPTH_8U, channels);
    std::memset(image->imageData, value, static_cast<size_t>(image->imageSize));
    return image;
}

uchar& at(IplImage* image, int x, int y, int s)
{
    return reinterpret_cast<uchar&>(
        image->imageData[y * image->widthStep + x * image->nChannels + s]);
}

} // namespace

TEST(Utilities_Sub, clamps_at_zero_and_refuses_other_geometry)
{
    IplImage* a = filled(5, 3, 100);
    IplImage* b = filled(5, 3, 30);
    at(b, 4, 2, 1) = 250;
    IplImage* d = sub(a, b);
    EXPECT_EQ(70, at(d, 0, 0, 0));
    EXPECT_EQ(0, at(d, 4, 2, 1)) << "a darker first image gives 0";
    free(d);
    d = sub(a, a);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int s = 0; s < 3; ++s)
                ASSERT_EQ(0, at(d, x, y, s));
    free(d);

    // Same height and samples per row, other width and channel count: no subtraction.
    IplImage* c = filled(15, 3, 1, 1);
    IplImage* e = filled(5, 4, 1);
    for (IplImage* other : {c, e}) {
        d = sub(a, other);
        EXPECT_EQ(5, d->width);
        EXPECT_EQ(3, d->height);
        for (int i = 0; i < d->imageSize; ++i)
            ASSERT_EQ(0, d->imageData[i]) << "black";
        free(d);
    }
    free(a), free(b), free(c), free(e);
}

TEST(Utilities_Sub2, offset_difference_keeps_the_sign)
{
    IplImage* a = filled(4, 1, 0);
    IplImage* b = filled(4, 1, 0);
    const int pairs[4][2] = {{255, 0}, {0, 255}, {101, 100}, {100, 101}};
    for (int x = 0; x < 4; ++x)
        at(a, x, 0, 2) = static_cast<uchar>(pairs[x][0]),
                    at(b, x, 0, 2) = static_cast<uchar>(pairs[x][1]);
    IplImage* d = sub2(a, b);
    EXPECT_EQ(255, at(d, 0, 0, 2));
    EXPECT_EQ(0, at(d, 1, 0, 2));
    EXPECT_EQ(128, at(d, 2, 0, 2));
    EXPECT_EQ(127, at(d, 3, 0, 2)) << "a difference of -1 looks like equality";
    EXPECT_EQ(127, at(d, 0, 0, 0));
    free(d), free(a), free(b);
}

TEST(Utilities_Sub2, other_geometry_compares_the_common_area_only)
{
    IplImage* big = filled(6, 5, 200);
    IplImage* small = filled(3, 2, 0);
    IplImage* d = sub2(big, small);
    ASSERT_EQ(6, d->width);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(x < 3 && y < 2 ? 227 : 127, at(d, x, y, 1)) << x << "," << y;
    free(d);
    d = sub2(small, big);
    EXPECT_EQ(3, d->width);
    EXPECT_EQ(27, at(d, 2, 1, 0));
    free(d), free(big), free(small);
}

TEST(Utilities_GetValue, row_first_and_range_checked)
{
    IplImage* image = filled(7, 4, 0);
    at(image, 5, 2, 0) = 42;
    at(image, 0, 0, 0) = 9;
    at(image, 0, 0, 1) = 77;
    EXPECT_EQ(42, getValue(2, 5, image)) << "row 2, column 5";
    EXPECT_EQ(-1, getValue(5, 2, image)) << "row 5 does not exist";
    EXPECT_EQ(9, getValue(0, 0, image)) << "sample 0";
    EXPECT_EQ(-1, getValue(0, 7, image));
    EXPECT_EQ(-1, getValue(4, 0, image));
    EXPECT_EQ(-1, getValue(-1, 0, image));
    EXPECT_EQ(-1, getValue(0, -1, image));
    free(image);
}
