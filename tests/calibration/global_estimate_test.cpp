// The global estimate (calibration/global_estimate.h): what shows no pattern is refused, and a
// capture turned by half a turn, mirrored, or of a repeated target is found at its scale and turn.
#include "calibration/global_estimate.h"
#include "calibration/lattice.h"
#include "calibration/sintetica/captura_sintetica.h"
#include "utilities/angles.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace corretor;

namespace {

// A gentle lens at `escala`, the field in the middle of a capture a third larger than it.
Caso caso(TipoDePadrao padrao, double giroGraus, double escala, bool espelho)
{
    Caso c;
    c.padrao = padrao;
    c.sementeDoPadrao = 3;
    c.lente.k1 = -0.05;
    c.lente.angulo = emRadianos(giroGraus);
    c.lente.escala = escala;
    c.lente.espelho = espelho;
    c.ruido = 2;
    const cv::Rect2d caixa = retanguloDoPadrao(c.lente, 30);
    c.tamanho =
        cv::Size(static_cast<int>(caixa.width * 1.15), static_cast<int>(caixa.height * 1.15));
    c.lente.centro =
        cv::Point2d(c.tamanho.width / 2.0, c.tamanho.height / 2.0) - (caixa.tl() + caixa.br()) / 2;
    return c;
}

} // namespace

TEST(Calibration_GlobalEstimate, finds_turned_mirrored_and_repeated_patterns_at_their_scale)
{
    struct Linha
    {
        const char* caso;
        TipoDePadrao padrao;
        double giro;
        bool espelho;
        double modulo; // a repeated target's twins: its turn is known up to this many degrees
    };
    const Linha linhas[] = {
        {"half turn, the colours tell it", TipoDePadrao::Demo, 178, false, 360},
        {"mirrored photograph", TipoDePadrao::Natural, -25, true, 360},
        {"oblong chessboard, no features", TipoDePadrao::XadrezOblongoLiso, 4, false, 180},
        {"asymmetric circle grid", TipoDePadrao::CirculosAssimetricos, -3, false, 180},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        const Caso c = caso(l.padrao, l.giro, 0.7, l.espelho);
        const cv::Mat padrao = padraoSintetico(l.padrao, c.sementeDoPadrao);
        cv::Mat cinza;
        cv::cvtColor(padrao, cinza, cv::COLOR_BGR2GRAY);
        EstimativaGlobal e{};
        ASSERT_TRUE(estimarGlobal(padrao, fotografar(padrao, c), periodosDoPadrao(cinza), "c", e))
            << motivoFalha();
        const cv::Matx23d& a = e.afim;
        const double det = a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0);
        EXPECT_NEAR(0.7, std::sqrt(std::abs(det)), 0.05);
        EXPECT_TRUE(std::isfinite(e.correlacao));
        // Mirrored: the turn that follows a mirror about a column (for a symmetric target the
        // mirror image of the right turn may win; the calibration tells them apart).
        const bool espelhada = det < 0;
        if (l.modulo == 360) {
            EXPECT_EQ(l.espelho, espelhada);
        }
        const double giro = emGraus(espelhada ? std::atan2(-a(0, 1) - a(1, 0), a(1, 1) - a(0, 0))
                                              : std::atan2(a(1, 0) - a(0, 1), a(0, 0) + a(1, 1)));
        EXPECT_LT(std::abs(std::remainder(giro - l.giro, l.modulo)), 3) << "turn " << giro;
    }
}

TEST(Calibration_GlobalEstimate, refuses_a_capture_without_contrast_and_never_scores_it)
{
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Natural, 1);
    EstimativaGlobal e{};
    limparFalha();
    EXPECT_FALSE(
        estimarGlobal(padrao, cv::Mat(300, 400, CV_8UC3, cv::Scalar::all(90)), {}, "cinza.png", e));
    EXPECT_NE(std::string::npos, motivoFalha().find("\"cinza.png\" não parece mostrar o padrão"))
        << motivoFalha();
}
