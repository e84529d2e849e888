// Comparing images: the differences, one pixel, and the quality of a correction.
#include "tests/support/workspace.h"
#include "utilities/field.h"
#include "utilities/image_difference.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

using namespace corretor;

namespace {

// sub or sub2 of two images, as a copy that outlives them.
cv::Mat difference(IplImage* (*f)(const IplImage*, const IplImage*), const cv::Mat& a,
                   const cv::Mat& b)
{
    const IplImage ha = cvIplImage(a), hb = cvIplImage(b);
    IplImage* d = f(&ha, &hb);
    cv::Mat copy = cv::cvarrToMat(d).clone();
    cvReleaseImage(&d);
    return copy;
}

} // namespace

// sub clamps at 0, and gives a black image of the first one's shape unless both agree in width,
// height, channel count and depth (same samples per row is not enough). sub2 offsets the
// difference, (a - b + 255) / 2 (so -1 looks like equality), over the common area only, 127
// elsewhere, and refuses images that are not 8-bit. getValue takes the row first and checks the
// range.
TEST(Utilities_Difference, sub_sub2_and_getValue)
{
    const cv::Mat a(3, 5, CV_8UC3, cv::Scalar(100, 100, 100)),
        b(3, 5, CV_8UC3, cv::Scalar(30, 130, 30));
    EXPECT_EQ(0, cv::norm(cv::Mat(3, 5, CV_8UC3, cv::Scalar(70, 0, 70)), difference(sub, a, b),
                          cv::NORM_INF));
    for (const cv::Mat& other :
         {cv::Mat(3, 15, CV_8UC1, cv::Scalar(1)), cv::Mat(3, 5, CV_8UC1, cv::Scalar(1)),
          cv::Mat(4, 5, CV_8UC3, cv::Scalar(1, 1, 1)),
          cv::Mat(3, 5, CV_16UC3, cv::Scalar(1, 1, 1))}) {
        const cv::Mat d = difference(sub, a, other);
        EXPECT_TRUE(d.size() == a.size() && d.type() == a.type() &&
                    cv::countNonZero(d.reshape(1)) == 0)
            << other.size() << " " << other.type();
    }
    const cv::Mat big(5, 6, CV_8UC3, cv::Scalar(255, 101, 100)),
        small(2, 3, CV_8UC3, cv::Scalar(0, 100, 101));
    cv::Mat expected(5, 6, CV_8UC3, cv::Scalar(127, 127, 127));
    expected(cv::Rect(0, 0, 3, 2)).setTo(cv::Scalar(255, 128, 127));
    EXPECT_EQ(0, cv::norm(expected, difference(sub2, big, small), cv::NORM_INF));
    EXPECT_EQ(cv::Vec3b(0, 127, 128), difference(sub2, small, big).at<cv::Vec3b>(1, 2));
    const cv::Mat deep(2, 3, CV_16UC3, cv::Scalar(9, 9, 9));
    const IplImage hd = cvIplImage(deep);
    limparFalha();
    EXPECT_EQ(nullptr, sub2(&hd, &hd)) << "16-bit samples have no mid-grey at 127";
    EXPECT_NE(std::string::npos, motivoFalha().find("só imagens de 8 bits"));
    cv::Mat image(4, 7, CV_8UC3, cv::Scalar(0, 0, 0));
    image.at<cv::Vec3b>(2, 5) = {42, 0, 0}, image.at<cv::Vec3b>(0, 0) = {9, 77, 0};
    const IplImage h = cvIplImage(image);
    const int casos[][3] = {{2, 5, 42}, {5, 2, -1}, {0, 0, 9},   {0, 7, -1},
                            {4, 0, -1}, {3, 6, 0},  {-1, 0, -1}, {0, -1, -1}};
    for (const auto& c : casos)
        EXPECT_EQ(c[2], getValue(c[0], c[1], &h)) << c[0] << "," << c[1];
}

TEST(Utilities_Quality, refuses_other_shapes)
{
    const cv::Mat p = teste::padraoDeCampo(), small = teste::padraoDeCampo(427), other(436, 437, CV_8UC3),
                  grey(436, 436, CV_8UC1);
    const IplImage pp = cvIplImage(p), ss = cvIplImage(small), oo = cvIplImage(other),
                   gg = cvIplImage(grey);
    const std::tuple<const IplImage*, const IplImage*, const char*> casos[] = {
        {&oo, &pp, "o resultado (437x436) e o padrão (436x436)"},
        {&ss, &ss, "o padrão tem 427x427 pixels; o campo pede ao menos 428x428"},
        {&gg, &pp, "8 bits com 3 canais"},
        {&pp, &gg, "8 bits com 3 canais"}};
    for (const auto& [resultado, padrao, motivo] : casos) {
        limparFalha();
        Qualidade q{};
        EXPECT_FALSE(avaliarCorrecao(resultado, padrao, q)) << motivo;
        EXPECT_NE(std::string::npos, motivoFalha().find(motivo)) << motivoFalha();
    }
}
