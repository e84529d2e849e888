#include "correction/stages.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace corretor;

namespace {

IplImage* newImage(int w, int h)
{
    IplImage* image = cvCreateImage(cvSize(w, h), IPL_DEPTH_8U, 3);
    std::memset(image->imageData, 0, image->imageSize);
    return image;
}

uchar& at(IplImage* image, int x, int y, int s)
{
    return reinterpret_cast<uchar&>(image->imageData[y * image->widthStep + x * 3 + s]);
}

IplImage* randomImage(int w, int h, std::mt19937& random)
{
    IplImage* image = newImage(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int s = 0; s < 3; ++s)
                at(image, x, y, s) = static_cast<uchar>(random());
    return image;
}

// The enlargement as three passes over the output: copy, row midpoints, row repetition, with
// the last column repeating its left neighbour.
IplImage* referenceDobra(IplImage* src)
{
    const int w = src->width, h = src->height;
    IplImage* out = newImage(2 * w, 2 * h);
    for (int y = 0; y < 2 * h; y += 2)
        for (int x = 0; x < 2 * w; x += 2)
            for (int s = 0; s < 3; ++s)
                at(out, x, y, s) = at(src, x / 2, y / 2, s);
    for (int y = 0; y < 2 * h; y += 2) {
        for (int x = 1; x < 2 * w - 1; x += 2)
            for (int s = 0; s < 3; ++s)
                at(out, x, y, s) =
                    static_cast<uchar>((at(out, x - 1, y, s) + at(out, x + 1, y, s)) / 2);
        for (int s = 0; s < 3; ++s)
            at(out, 2 * w - 1, y, s) = at(out, 2 * w - 2, y, s);
    }
    for (int y = 1; y < 2 * h; y += 2)
        for (int x = 0; x < 2 * w; ++x)
            for (int s = 0; s < 3; ++s)
                at(out, x, y, s) = at(out, x, y - 1, s);
    return out;
}

bool samePixels(IplImage* a, IplImage* b)
{
    if (a->width != b->width || a->height != b->height) return false;
    for (int y = 0; y < a->height; ++y)
        if (std::memcmp(a->imageData + y * a->widthStep, b->imageData + y * b->widthStep,
                        a->width * 3) != 0)
            return false;
    return true;
}

} // namespace

TEST(Correction_Dobra, one_pixel_becomes_two_by_two)
{
    IplImage* src = newImage(1, 1);
    at(src, 0, 0, 0) = 10, at(src, 0, 0, 1) = 20, at(src, 0, 0, 2) = 30;
    IplImage* out = dobra(src);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(2, out->width);
    EXPECT_EQ(2, out->height);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int s = 0; s < 3; ++s)
                EXPECT_EQ(10 * (s + 1), at(out, x, y, s));
    free(out);
    free(src);
}

TEST(Correction_Dobra, midpoints_truncate_without_wrapping)
{
    IplImage* src = newImage(2, 1);
    const uchar left[3] = {10, 0, 255}, right[3] = {13, 1, 255};
    for (int s = 0; s < 3; ++s)
        at(src, 0, 0, s) = left[s], at(src, 1, 0, s) = right[s];
    IplImage* out = dobra(src);
    const int expected[3] = {11, 0, 255};
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(left[s], at(out, 0, 0, s));
        EXPECT_EQ(expected[s], at(out, 1, 0, s));
        EXPECT_EQ(right[s], at(out, 2, 0, s));
        EXPECT_EQ(right[s], at(out, 3, 0, s)) << "last column repeats its left neighbour";
        EXPECT_EQ(expected[s], at(out, 1, 1, s)) << "odd row repeats the even row";
    }
    free(out);
    free(src);
}

TEST(Correction_Dobra, equals_the_three_pass_definition_on_random_images)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = 1 + static_cast<int>(random() % 37), h = 1 + static_cast<int>(random() % 9);
        IplImage* src = randomImage(w, h, random);
        IplImage* copy = cvCloneImage(src);
        IplImage* out = dobra(src);
        IplImage* expected = referenceDobra(src);
        EXPECT_TRUE(samePixels(expected, out)) << w << "x" << h;
        EXPECT_TRUE(samePixels(copy, src)) << "the source is only read";
        free(out);
        free(expected);
        free(copy);
        free(src);
    }
}

TEST(Correction_Dobra, never_writes_row_padding)
{
    std::mt19937 random(3);
    for (int w : {1, 3, 5, 7, 33}) {
        IplImage* src = randomImage(w, 4, random);
        IplImage* out = cvCreateImage(cvSize(2 * w, 8), IPL_DEPTH_8U, 3);
        std::memset(out->imageData, 0xAB, out->imageSize);
        const int padding = out->widthStep - 6 * w;
        ASSERT_EQ(2, padding) << "an odd width leaves two bytes of padding";
        ASSERT_TRUE(dobraEm(src, out));
        for (int y = 0; y < 8; ++y)
            for (int i = 6 * w; i < out->widthStep; ++i)
                EXPECT_EQ(0xAB, static_cast<uchar>(out->imageData[y * out->widthStep + i]));
        free(out);
        free(src);
    }
}

TEST(Correction_Dobra, refuses_what_it_cannot_hold)
{
    IplImage* grey = cvCreateImage(cvSize(4, 4), IPL_DEPTH_8U, 1);
    limparFalha();
    EXPECT_EQ(nullptr, dobra(grey));
    EXPECT_TRUE(houveFalha());
    IplImage* small = newImage(3, 3);
    EXPECT_FALSE(dobraEm(small, small)) << "the output must be twice the source";
    EXPECT_TRUE(ampliacaoCabe(16000, 8000, 2));
    EXPECT_FALSE(ampliacaoCabe(16000, 16000, 4)) << "64000 x 64000 x 3 bytes exceed 32 bits";
    EXPECT_FALSE(ampliacaoCabe(INT_MAX, 1, 2));
    EXPECT_FALSE(ampliacaoCabe(0, 5, 2));
    free(small);
    free(grey);
}
