// Comparing images: the differences, one pixel, the quality of a correction, and comparar.
#include "correction/image_ops.h"
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
    free(d);
    return copy;
}

// A pattern with no dark pixel inside the field, or the same with a black 40 x 40 square in
// the field: holes, and a difference of known size.
cv::Mat pattern(int size = 436, bool holes = false)
{
    cv::Mat p(size, size, CV_8UC3, cv::Scalar(60, 80, 100));
    cv::circle(p, {218, 218}, 100, cv::Scalar(200, 220, 240), 5);
    if (holes) p(cv::Rect(200, 200, 40, 40)).setTo(cv::Scalar(0, 0, 0));
    return p;
}

// The side by side picture: result, pattern, difference, then holes (red), reached pixels
// (white) and pixels outside the field (grey).
void sideBySide(const teste::Workspace& ws, const teste::RunResult&)
{
    const cv::Mat side = cv::imread((ws / "lado.png").string());
    ASSERT_EQ(cv::Size(4 * 436, 436), side.size());
    EXPECT_EQ(cv::Vec3b(0, 0, 255), side.at<cv::Vec3b>(210, 3 * 436 + 210));
    EXPECT_EQ(cv::Vec3b(255, 255, 255), side.at<cv::Vec3b>(100, 3 * 436 + 218));
    EXPECT_EQ(cv::Vec3b(128, 128, 128), side.at<cv::Vec3b>(2, 3 * 436 + 2));
    EXPECT_EQ(cv::Vec3b(127, 127, 127), side.at<cv::Vec3b>(2, 2 * 436 + 2));
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
    const cv::Mat p = pattern(), small = pattern(427), other(436, 437, CV_8UC3),
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

// The figures of a result with holes are worked out here from the field's pixel count.
TEST(Tools_Comparar, prints_the_figures_and_writes_the_side_by_side_picture)
{
    int n = 0;
    for (int y = 0; y < 436; ++y)
        for (int x = 0; x < 436; ++x)
            n += (x - 218) * (x - 218) + (y - 218) * (y - 218) < 210 * 210;
    const double mse = 1600.0 * (60 * 60 + 80 * 80 + 100 * 100) / (3 * n);
    char figures[256];
    std::snprintf(
        figures, sizeof figures,
        "PSNR: %.2f dB\ndiferença absoluta média: %.2f\ncobertura: %.4f (%d pixels do campo)\n",
        10 * std::log10(255.0 * 255 / mse), 1600.0 * 240 / (3 * n), 1 - 1600.0 / n, n);
    const teste::Caso casos[] = {
        {"", "r.png p.png --imagem lado.png", "", 0, "", figures, false, "", "", sideBySide},
        {"", "p.png p.png", "", 0, "",
         "PSNR: inf dB\ndiferença absoluta média: 0.00\ncobertura: 1.0000", true},
        {"", "--help", "", 0, "", "uso: comparar RESULTADO PADRAO", true},
        {"", "r.png nada.png", "", 1, "comparar: erro: não foi possível ler a imagem \"nada.png\"",
         "", true},
        {"", "r.png", "", 2, "comparar: erro: falta o PADRAO; veja \"comparar --help\"", "", true},
        {"", "r.png p.png --imagem", "", 2, "falta o nome do arquivo depois de --imagem", "",
         true}};
    for (const auto& c : casos) {
        teste::Workspace ws;
        ws.write("p.png", pattern()), ws.write("r.png", pattern(436, true));
        teste::conferir(COMPARAR_PATH, c, ws);
    }
}
