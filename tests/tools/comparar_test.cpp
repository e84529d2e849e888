// comparar as a user runs it: its figures, its picture and its refusals.
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

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
        ws.write("p.png", teste::padraoDeCampo()), ws.write("r.png", teste::padraoDeCampo(436, true));
        teste::conferir(COMPARAR_PATH, c, ws);
    }
}
