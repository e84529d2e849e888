#include "correction/stages.h"
#include "tests/support/workspace.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

using namespace corretor;

namespace {

// A pattern with no dark pixel inside the field.
cv::Mat pattern(int size = 436)
{
    cv::Mat p(size, size, CV_8UC3, cv::Scalar(60, 80, 100));
    cv::circle(p, {218, 218}, 100, cv::Scalar(200, 220, 240), 5);
    return p;
}

int fieldPixels()
{
    int n = 0;
    for (int y = 0; y < 436; ++y)
        for (int x = 0; x < 436; ++x)
            n += dist(cvPoint(x, y));
    return n;
}

} // namespace

TEST(Utilities_Quality, equal_images_and_holes)
{
    cv::Mat p = pattern();
    IplImage pp = cvIplImage(p);
    Qualidade q{};
    ASSERT_TRUE(avaliarCorrecao(&pp, &pp, q));
    EXPECT_TRUE(std::isinf(q.psnr));
    EXPECT_EQ(0.0, q.diferenca);
    EXPECT_EQ(1.0, q.cobertura);
    EXPECT_EQ(fieldPixels(), q.pixelsDoCampo);

    // A black square of 40 x 40 inside the field: holes, and a difference of known size.
    cv::Mat r = p.clone();
    r(cv::Rect(200, 200, 40, 40)).setTo(cv::Scalar(0, 0, 0));
    IplImage rr = cvIplImage(r);
    ASSERT_TRUE(avaliarCorrecao(&rr, &pp, q));
    EXPECT_NEAR(1.0 - 1600.0 / fieldPixels(), q.cobertura, 1e-12);
    const double mse = 1600.0 * (60 * 60 + 80 * 80 + 100 * 100) / (3.0 * fieldPixels());
    EXPECT_NEAR(10 * std::log10(255.0 * 255 / mse), q.psnr, 1e-9);
    EXPECT_NEAR(1600.0 * 240 / (3.0 * fieldPixels()), q.diferenca, 1e-9);
}

TEST(Utilities_Quality, refuses_mismatched_or_small_images)
{
    cv::Mat p = pattern(), small = pattern(427), other(436, 437, CV_8UC3);
    IplImage pp = cvIplImage(p), ss = cvIplImage(small), oo = cvIplImage(other);
    Qualidade q{};
    limparFalha();
    EXPECT_FALSE(avaliarCorrecao(&oo, &pp, q));
    EXPECT_NE(std::string::npos, motivoFalha().find("437x436")) << motivoFalha();
    limparFalha();
    EXPECT_FALSE(avaliarCorrecao(&ss, &ss, q));
    EXPECT_NE(std::string::npos, motivoFalha().find("428")) << motivoFalha();
}

TEST(Tools_Comparar, prints_figures_and_writes_the_side_by_side_picture)
{
    teste::Workspace ws;
    cv::Mat p = pattern();
    ws.writeImage("padrao.png", p);
    cv::Mat r = p.clone();
    r(cv::Rect(200, 200, 40, 40)).setTo(cv::Scalar(0, 0, 0));
    ws.writeImage("resultado.png", r);
    auto run = teste::run(COMPARAR_PATH, {"resultado.png", "padrao.png", "--imagem", "lado.png"},
                          "", ws.dir());
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("PSNR: ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("diferença absoluta média: ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("cobertura: 0.98")) << run.out;
    const cv::Mat side = cv::imread((ws / "lado.png").string());
    ASSERT_EQ(4 * 436, side.cols);
    EXPECT_EQ(cv::Vec3b(0, 0, 255), side.at<cv::Vec3b>(210, 3 * 436 + 210)) << "a hole in red";
    EXPECT_EQ(cv::Vec3b(255, 255, 255), side.at<cv::Vec3b>(100, 3 * 436 + 218)) << "reached";

    run = teste::run(COMPARAR_PATH, {"resultado.png", "ausente.png"}, "", ws.dir());
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("ausente.png")) << run.err;
    run = teste::run(COMPARAR_PATH, {"resultado.png"}, "", ws.dir());
    EXPECT_EQ(2, run.status);
}
