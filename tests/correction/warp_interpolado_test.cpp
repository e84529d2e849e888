// The interpolated warp against its definition worked out pixel by pixel, on a mesh with every
// case that leaves a pixel black, and an image whose samples are linear in the position, so
// that the value every filter must give is known.
#include "correction/warp_interpolado.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

using namespace corretor;

namespace {

constexpr int kLargura = 40, kAltura = 30; // the loaded image; the enlargement is 160 x 120

// The image's samples at (x, y), x the column, taken at the nearest point of the image.
cv::Vec3d rampa(double x, double y)
{
    x = std::clamp(x, 0.0, kLargura - 1.0), y = std::clamp(y, 0.0, kAltura - 1.0);
    return {10 + 4 * x, 10 + 6 * y, 10 + 2 * x + 3 * y};
}

// A degenerate target triangle first (it holds nothing), a map without inverse on a triangle
// inside the next, two triangles sharing an edge, one overlapping both, maps reaching beyond
// the image, a map that is not a number; the rest of the field in no triangle.
void montarMalha()
{
    teste::estadoInicial();
    const int nos[][2] = {{0, 0},     {100, 100}, {300, 100}, {100, 300}, {300, 300},
                          {420, 200}, {120, 120}, {160, 120}, {120, 160}, {130, 200},
                          {150, 200}, {170, 200}, {200, 330}};
    const int triangulos[][3] = {{9, 10, 11}, {6, 7, 8},  {1, 2, 3},
                                 {2, 4, 3},   {1, 4, 12}, {2, 5, 4}};
    const float mapas[][6] = {{0.5f, 0.1f, 150, -0.1f, 0.5f, 160},
                              {1, 1, 0, 2, 2, 0},
                              {2, 0, 110, 0, 2, 80}, // columns 100 to 108 left of the image
                              {1.5f, -0.5f, 100, 0.5f, 1.5f, 100}, // a turn, beyond the image
                              {1.2f, 0.3f, 70, -0.2f, 1.9f, 90},
                              {NAN, 0, 0, 0, 1, 0}};
    std::memcpy(vert2, nos, sizeof nos);
    std::memcpy(trg, triangulos, sizeof triangulos);
    for (int t = 0; t < 6; ++t)
        std::copy(mapas[t], mapas[t] + 6, &matrix[t].mat[0][0]);
}

enum Caso { Amostrado, ForaDoCampo, SemTriangulo, MapaSemInversa, ForaDaImagem };

// The definition: the first triangle whose target triangle (closed; `alvos` holds none without
// area) holds (c, r), its stored map inverted, the point (X / 4, (Y - 1.5) / 4) of the image.
Caso definicao(int c, int r, const std::vector<std::vector<cv::Point>>& alvos, cv::Point2d& ponto)
{
    if ((c - 218) * (c - 218) + (r - 218) * (r - 218) >= 210 * 210) return ForaDoCampo;
    for (int t = 0; t < kTriangulos; ++t) {
        if (alvos[t].empty() || cv::pointPolygonTest(alvos[t], cv::Point2f(c, r), false) < 0)
            continue;
        const auto& m = matrix[t].mat;
        const cv::Matx22d a(m[0][0], m[0][1], m[1][0], m[1][1]);
        if (!cv::checkRange(cv::Matx23f(&m[0][0])) || cv::determinant(a) == 0)
            return MapaSemInversa;
        const cv::Vec2d p = a.inv() * cv::Vec2d(c - m[0][2], r - m[1][2]);
        if (p[0] < -0.5 || p[0] >= 4 * kLargura - 0.5 || p[1] < -0.5 || p[1] >= 4 * kAltura - 0.5)
            return ForaDaImagem;
        ponto = {p[0] / 4, (p[1] - 1.5) / 4};
        return Amostrado;
    }
    return SemTriangulo;
}

} // namespace

TEST(Correction_Interpolado, every_pixel_as_defined_for_every_filter)
{
    montarMalha();
    cv::Mat imagem(kAltura, kLargura, CV_8UC3);
    for (int y = 0; y < kAltura; ++y)
        for (int x = 0; x < kLargura; ++x)
            imagem.at<cv::Vec3b>(y, x) = rampa(x, y);
    IplImage entrada = cvIplImage(imagem);
    const auto mapas = montarMapas(imagem.size(), cv::Size(436, 436));
    ASSERT_NE(nullptr, mapas) << motivoFalha();
    std::vector<std::vector<cv::Point>> alvos(kTriangulos);
    for (int t = 0; t < kTriangulos; ++t) {
        for (int k = 0; k < 3; ++k)
            alvos[t].emplace_back(vert2[trg[t][k]][0], vert2[trg[t][k]][1]);
        if (cv::contourArea(alvos[t]) == 0) alvos[t].clear();
    }
    // Linear: exact on a linear image but for the fixed-point fraction; the others within 2.
    std::map<Caso, int> contagem;
    for (const auto filtro : {Interpolacao::Linear, Interpolacao::Cubica, Interpolacao::Lanczos}) {
        const Imagem saida = morphInterpolado(&entrada, *mapas, filtro);
        ASSERT_NE(nullptr, saida);
        const cv::Mat resultado = cv::cvarrToMat(saida.get());
        const int tolerancia = filtro == Interpolacao::Linear ? 1 : 2;
        for (int r = 0; r < 436; ++r)
            for (int c = 0; c < 436; ++c) {
                cv::Point2d p;
                const Caso caso = definicao(c, r, alvos, p);
                ++contagem[caso];
                const cv::Vec3d esperado = caso == Amostrado ? rampa(p.x, p.y) : cv::Vec3d();
                const cv::Vec3d obtido = resultado.at<cv::Vec3b>(r, c);
                ASSERT_LE(cv::norm(obtido - esperado, cv::NORM_INF),
                          caso == Amostrado ? tolerancia : 0)
                    << "filter " << static_cast<int>(filtro) << ", case " << caso << " at (" << c
                    << ", " << r << ")";
            }
    }
    EXPECT_EQ(5u, contagem.size()) << "the mesh has every case";

    // Maps kept per size, the oldest let go; an image of another size refused.
    MapasPorTamanho porTamanho(cv::Size(436, 436));
    const auto primeiro = porTamanho.para(cv::Size(40, 30));
    EXPECT_EQ(primeiro, porTamanho.para(cv::Size(40, 30)));
    for (int k = 1; k <= static_cast<int>(MapasPorTamanho::kGuardados); ++k)
        porTamanho.para(cv::Size(40 + k, 30));
    EXPECT_NE(primeiro, porTamanho.para(cv::Size(40, 30)));
    EXPECT_EQ(nullptr, porTamanho.para(cv::Size(32767, 2)));
    cv::Mat outra(31, 40, CV_8UC3);
    IplImage errada = cvIplImage(outra);
    EXPECT_EQ(nullptr, morphInterpolado(&errada, *primeiro, Interpolacao::Linear));
}
