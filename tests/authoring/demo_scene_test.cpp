// The demo's scene: the lens model, the pattern, the picture taken through the lens, the nodes.
#include "authoring/demo_scene.h"
#include "utilities/quality.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

using corretor::Distorcao;

const cv::Point2d kCentro(218, 218);

double distancia(cv::Point2d a, cv::Point2d b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// PSNR over the field pixels of the pattern, of `padrao` against `foto` read back at the
// picture points that `lente` gives for them.
double psnrPelaLente(const cv::Mat& padrao, const cv::Mat& foto, const Distorcao& lente)
{
    cv::Mat mapaX(padrao.size(), CV_32F), mapaY(padrao.size(), CV_32F);
    for (int y = 0; y < padrao.rows; ++y)
        for (int x = 0; x < padrao.cols; ++x) {
            const cv::Point2d q = corretor::distorcer(lente, cv::Point2d(x, y));
            mapaX.at<float>(y, x) = static_cast<float>(q.x);
            mapaY.at<float>(y, x) = static_cast<float>(q.y);
        }
    cv::Mat lida;
    cv::remap(foto, lida, mapaX, mapaY, cv::INTER_LINEAR);
    double soma = 0;
    long amostras = 0;
    for (int y = 0; y < padrao.rows; ++y)
        for (int x = 0; x < padrao.cols; ++x) {
            if (distancia(cv::Point2d(x, y), kCentro) >= 210) continue;
            for (int s = 0; s < 3; ++s) {
                const double d =
                    double(lida.at<cv::Vec3b>(y, x)[s]) - padrao.at<cv::Vec3b>(y, x)[s];
                soma += d * d;
            }
            amostras += 3;
        }
    return 10 * std::log10(255.0 * 255.0 * amostras / soma);
}

} // namespace

TEST(Authoring_DemoScene, the_inverse_undoes_the_lens_and_stops_at_the_fold)
{
    const Distorcao lente = corretor::distorcaoDaDemo();
    EXPECT_EQ(lente.centro, corretor::distorcer(lente, kCentro));
    // Up to the fold (1.826 field radii), beyond which the lens takes points back inward.
    for (int y = -80; y <= 516; y += 8)
        for (int x = -80; x <= 516; x += 8) {
            const cv::Point2d p(x, y);
            if (distancia(p, kCentro) > 1.8 * 210) continue;
            cv::Point2d volta(-1, -1);
            ASSERT_TRUE(corretor::desfazerDistorcao(lente, corretor::distorcer(lente, p), volta))
                << x << ", " << y;
            EXPECT_NEAR(0, distancia(p, volta), 1e-9) << x << ", " << y;
        }

    // Beyond the fold (k1 = -0.1 folds at 1.826 field radii, 1.217 after the lens) nothing
    // lands, and the output is left alone.
    const double raioNaFoto = lente.escala * 210;
    cv::Point2d p(7, 7);
    EXPECT_FALSE(
        corretor::desfazerDistorcao(lente, lente.centro + cv::Point2d(0, 1.22 * raioNaFoto), p));
    EXPECT_EQ(cv::Point2d(7, 7), p);
    EXPECT_TRUE(
        corretor::desfazerDistorcao(lente, lente.centro + cv::Point2d(0, 1.21 * raioNaFoto), p));

    // A pincushion lens (k1 > 0) has no fold and is undone too.
    const Distorcao almofada{0.2, -0.1, 0.8, cv::Point2d(50, 60)};
    const cv::Point2d longe(600, -300);
    ASSERT_TRUE(corretor::desfazerDistorcao(almofada, corretor::distorcer(almofada, longe), p));
    EXPECT_NEAR(0, distancia(longe, p), 1e-9);
}

TEST(Authoring_DemoScene, the_lens_is_barrel_and_keeps_the_field_inside_the_picture)
{
    const Distorcao lente = corretor::distorcaoDaDemo();
    ASSERT_LT(lente.k1, 0);
    // Barrel: a straight line off the centre bows outward, so the middle of its picture lies
    // farther from the field centre than the chord between its ends.
    const cv::Point2d a = corretor::distorcer(lente, cv::Point2d(368, 68));
    const cv::Point2d b = corretor::distorcer(lente, cv::Point2d(368, 368));
    const cv::Point2d meio = corretor::distorcer(lente, cv::Point2d(368, 218));
    EXPECT_GT(distancia(meio, lente.centro), distancia((a + b) / 2, lente.centro) + 1);
    // The field's edge stays inside the picture, with a margin.
    for (int k = 0; k < 360; ++k) {
        const double t = k * CV_PI / 180;
        const cv::Point2d q =
            corretor::distorcer(lente, kCentro + 210 * cv::Point2d(std::cos(t), std::sin(t)));
        EXPECT_GT(std::min(q.x, q.y), 3) << k;
        EXPECT_LT(std::max(q.x, q.y), corretor::kLadoDaAmostra - 1 - 3) << k;
    }
}

// Dark pattern pixels are left out of the coverage; the demo's pattern has none, so the
// coverage counts the whole field.
TEST(Authoring_DemoScene, the_pattern_has_no_dark_pixel)
{
    const cv::Mat padrao = corretor::desenharPadrao();
    ASSERT_EQ(cv::Size(corretor::kLadoDoPadrao, corretor::kLadoDoPadrao), padrao.size());
    ASSERT_EQ(CV_8UC3, padrao.type());
    for (int y = 0; y < padrao.rows; ++y)
        for (int x = 0; x < padrao.cols; ++x) {
            const cv::Vec3b p = padrao.at<cv::Vec3b>(y, x);
            ASSERT_GT(std::max({p[0], p[1], p[2]}), 3 * corretor::kLimiarDeBuraco)
                << x << ", " << y;
        }
}

TEST(Authoring_DemoScene, the_picture_is_the_pattern_seen_through_the_lens)
{
    const Distorcao lente = corretor::distorcaoDaDemo();
    const cv::Mat padrao = corretor::desenharPadrao();
    const cv::Mat foto = corretor::fotografarPadrao(padrao, lente);
    ASSERT_EQ(cv::Size(corretor::kLadoDaAmostra, corretor::kLadoDaAmostra), foto.size());

    // Read back through the forward model, the picture matches the pattern up to the blur of
    // its coarser pixels; a lens turned the other way matches far worse.
    const double certa = psnrPelaLente(padrao, foto, lente);
    Distorcao girada = lente;
    girada.angulo = -lente.angulo;
    const double errada = psnrPelaLente(padrao, foto, girada);
    EXPECT_GT(certa, 20.0);
    EXPECT_GT(certa - errada, 3.0) << certa << " " << errada;

    // The corners show nothing: no pattern point lands there.
    EXPECT_EQ(cv::Vec3b(0, 0, 0), foto.at<cv::Vec3b>(0, 0));
}

TEST(Authoring_DemoScene, the_outer_ring_of_nodes_keeps_the_field_inside)
{
    const std::vector<cv::Point> nos = corretor::nosDeDestino();
    ASSERT_EQ(corretor::kNosDaDemo, static_cast<int>(nos.size()));
    // The last 25 nodes, the outer ring: the centre is at least 210 from the line through each
    // pair of neighbours, so every field point lies inside the polygon they make.
    const std::vector<cv::Point> anel(nos.end() - 25, nos.end());
    for (std::size_t k = 0; k < anel.size(); ++k) {
        const cv::Point2d a = anel[k], b = anel[(k + 1) % anel.size()];
        const cv::Point2d ab = b - a, ac = kCentro - a;
        EXPECT_GE(std::abs(ab.cross(ac)) / std::hypot(ab.x, ab.y), 210.0) << k;
    }
}
