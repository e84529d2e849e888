// The interpolated warp against its definition worked out pixel by pixel, on a mesh with every
// case that leaves a pixel black, and on an image whose samples are linear in the position, so
// that the value every filter must give is known.
#include "correction/warp_interpolado.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
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

enum Caso { Amostrado, ForaDoCampo, SemTriangulo, MapaSemInversa, ForaDaImagem };

// The definition: the first triangle in the list whose target triangle (closed, with area:
// `alvos` holds none without) holds (c, r), its stored map inverted, the point
// (X / 4, (Y - 1.5) / 4) of the loaded image.
Caso definicao(int c, int r, const std::vector<std::vector<cv::Point>>& alvos, cv::Point2d& ponto)
{
    if ((c - 218) * (c - 218) + (r - 218) * (r - 218) >= 210 * 210) return ForaDoCampo;
    for (int t = 0; t < kTriangulos; ++t) {
        const auto& alvo = alvos[t];
        if (alvo.empty() || cv::pointPolygonTest(alvo, cv::Point2f(c, r), false) < 0) continue;
        const auto& m = matrix[t].mat;
        const cv::Matx22d a(m[0][0], m[0][1], m[1][0], m[1][1]);
        if (!std::isfinite(cv::sum(
                cv::Mat(cv::Matx23d(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2])))[0]) ||
            cv::determinant(a) == 0)
            return MapaSemInversa;
        const cv::Vec2d p = a.inv() * cv::Vec2d(c - m[0][2], r - m[1][2]);
        if (p[0] < -0.5 || p[0] >= 4 * kLargura - 0.5 || p[1] < -0.5 || p[1] >= 4 * kAltura - 0.5)
            return ForaDaImagem;
        ponto = {p[0] / 4, (p[1] - 1.5) / 4};
        return Amostrado;
    }
    return SemTriangulo;
}

void mapa(int t, std::initializer_list<float> coeficientes)
{
    std::copy(coeficientes.begin(), coeficientes.end(), &matrix[t].mat[0][0]);
}

// Target nodes and triangles: a degenerate triangle first (it must hold nothing), a small
// triangle with a map without inverse inside the next one, two triangles sharing an edge, one
// overlapping both, one whose map is not a number; the rest of the field in no triangle.
void montarMalha()
{
    limparMalha();
    const int nos[][2] = {{0, 0},     {100, 100}, {300, 100}, {100, 300}, {300, 300},
                          {420, 200}, {120, 120}, {160, 120}, {120, 160}, {130, 200},
                          {150, 200}, {170, 200}, {200, 330}};
    for (int k = 0; k < 13; ++k)
        std::copy(nos[k], nos[k] + 2, vert2[k]);
    const int triangulos[][3] = {{9, 10, 11}, {6, 7, 8},  {1, 2, 3},
                                 {2, 4, 3},   {1, 4, 12}, {2, 5, 4}};
    for (int t = 0; t < 6; ++t)
        std::copy(triangulos[t], triangulos[t] + 3, trg[t]);
    mapa(0, {0.5f, 0.1f, 150, -0.1f, 0.5f, 160}); // would be sampled if it held anything
    mapa(1, {1, 1, 0, 2, 2, 0});                  // no inverse
    mapa(2, {2, 0, 110, 0, 2, 80});               // columns 100 to 108 lie left of the image
    mapa(3, {1.5f, -0.5f, 100, 0.5f, 1.5f, 100}); // a turn, reaching beyond the image
    mapa(4, {1.2f, 0.3f, 70, -0.2f, 1.9f, 90});
    mapa(5, {NAN, NAN, NAN, NAN, NAN, NAN});
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
    std::vector<std::vector<cv::Point>> alvos(kTriangulos); // target triangles; none without area
    for (int t = 0; t < kTriangulos; ++t) {
        for (int k = 0; k < 3; ++k)
            alvos[t].emplace_back(vert2[trg[t][k]][0], vert2[trg[t][k]][1]);
        if (cv::contourArea(alvos[t]) == 0) alvos[t].clear();
    }
    std::vector<Caso> casos(436 * 436);
    std::vector<cv::Point2d> pontos(casos.size());
    std::map<Caso, int> contagem;
    for (size_t k = 0; k < casos.size(); ++k)
        ++contagem[casos[k] = definicao(static_cast<int>(k % 436), static_cast<int>(k / 436), alvos,
                                        pontos[k])];
    EXPECT_EQ(5u, contagem.size()) << "the mesh exercises every case";
    const std::map<Interpolacao, int> tolerancias = {
        {Interpolacao::Linear, 1}, {Interpolacao::Cubica, 2}, {Interpolacao::Lanczos, 2}};
    for (const auto& [filtro, tolerancia] : tolerancias) {
        IplImage* saida = morphInterpolado(&entrada, *mapas, filtro);
        ASSERT_NE(nullptr, saida);
        const cv::Mat resultado = cv::cvarrToMat(saida);
        for (size_t k = 0; k < casos.size(); ++k) {
            const int c = static_cast<int>(k % 436), r = static_cast<int>(k / 436);
            const cv::Vec3d obtido = resultado.at<cv::Vec3b>(r, c);
            const bool amostrado = casos[k] == Amostrado;
            const cv::Vec3d esperado = amostrado ? rampa(pontos[k].x, pontos[k].y) : cv::Vec3d();
            ASSERT_LE(cv::norm(obtido - esperado, cv::NORM_INF), amostrado ? tolerancia : 0)
                << "filtro " << static_cast<int>(filtro) << ", caso " << casos[k] << ", pixel ("
                << c << ", " << r << ")";
        }
        cvReleaseImage(&saida);
    }
    limparMalha();
}

TEST(Correction_Interpolado, maps_are_kept_per_size_and_refused_for_other_images)
{
    montarMalha();
    MapasPorTamanho mapas(cv::Size(436, 436));
    const auto primeiro = mapas.para(cv::Size(40, 30));
    ASSERT_NE(nullptr, primeiro);
    EXPECT_EQ(primeiro, mapas.para(cv::Size(40, 30)));
    for (int k = 1; k <= static_cast<int>(MapasPorTamanho::kGuardados); ++k)
        EXPECT_NE(primeiro, mapas.para(cv::Size(40 + k, 30)));
    EXPECT_NE(primeiro, mapas.para(cv::Size(40, 30))) << "the oldest size was let go";
    EXPECT_EQ(nullptr, mapas.para(cv::Size(32767, 2)));
    EXPECT_NE(std::string::npos, motivoFalha().find("32767 x 2")) << motivoFalha();
    limparFalha();

    cv::Mat outra(31, 40, CV_8UC3, cv::Scalar::all(0));
    IplImage errada = cvIplImage(outra);
    EXPECT_EQ(nullptr, morphInterpolado(&errada, *primeiro, Interpolacao::Linear));
    limparFalha();
    limparMalha();
}
