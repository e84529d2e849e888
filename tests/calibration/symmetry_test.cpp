// Patterns that look the same turned (calibration/symmetry.h) calibrated as a user meets them: the
// capture cannot tell the turn, so the calibration refuses naming the symmetry, and with the
// user's approximate turn (--giro) it calibrates; a pattern whose colours tell its turns apart
// needs no help. And the pattern "malha padrao" writes has no twin at all.
#include "calibration/calibration.h"
#include "calibration/lattice.h"
#include "calibration/node_layout.h"
#include "calibration/print_pattern.h"
#include "calibration/sintetica/avaliacao.h"
#include "calibration/symmetry.h"
#include "utilities/angles.h"
#include "utilities/field.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace corretor;

TEST(Calibration_Symmetry, refuses_a_turn_the_capture_cannot_tell_and_takes_the_users)
{
    struct Linha
    {
        const char* caso;
        TipoDePadrao padrao;
        double giro;        // the capture's true turn, degrees
        const char* nomeia; // the symmetry the refusal names; null: no refusal
    };
    const Linha linhas[] = {
        {"the demo's pattern in grey", TipoDePadrao::DemoCinza, 93, "girado de 90 graus"},
        {"a square chessboard, whole", TipoDePadrao::XadrezQuadrado, 182, "girado de 180 graus"},
        {"the demo's pattern in colour", TipoDePadrao::Demo, 93, nullptr},
    };
    const std::vector<cv::Point> destino = escolherNosDeDestino(30);
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        Caso c;
        c.padrao = l.padrao;
        c.lente.k1 = -0.06;
        c.lente.angulo = emRadianos(l.giro);
        c.lente.escala = 0.6;
        c.ruido = 2;
        const cv::Rect2d caixa = retanguloDoPadrao(c.lente, 45);
        c.tamanho = cv::Size(static_cast<int>(caixa.width) + 8, static_cast<int>(caixa.height) + 8);
        c.lente.centro = cv::Point2d(4, 4) - caixa.tl();
        const cv::Mat padrao = padraoSintetico(l.padrao, 1);
        const cv::Mat captura = fotografar(padrao, c);
        for (bool comGiro : {false, true}) {
            SCOPED_TRACE(comGiro ? "--giro" : "sem --giro");
            OpcoesDeCalibracao opcoes;
            opcoes.comGiro = comGiro;
            opcoes.giro = l.giro - 10;
            std::vector<NoCalibrado> nos;
            RelatorioDeCalibracao relatorio;
            limparFalha();
            const bool feita = calibrarCaptura(padrao, captura, "c", destino, opcoes, nos,
                                               relatorio, [](const std::string&) {});
            if (l.nomeia != nullptr && !comGiro) {
                EXPECT_FALSE(feita);
                EXPECT_NE(std::string::npos, motivoFalha().find("simétrico")) << motivoFalha();
                EXPECT_NE(std::string::npos, motivoFalha().find(l.nomeia)) << motivoFalha();
                EXPECT_NE(std::string::npos, motivoFalha().find("--giro")) << motivoFalha();
                continue;
            }
            ASSERT_TRUE(feita) << motivoFalha();
            const ErrosDosNos e = errosDosNos(c.lente, destino, nos);
            EXPECT_LE(percentil(e.erros, 0.5), 0.2);
            EXPECT_LE(percentil(e.erros, 0.95), 0.5);
        }
    }
}

TEST(Calibration_PrintPattern, has_no_twin_no_period_and_no_flat_neighbourhood)
{
    const cv::Mat padrao = padraoDeCalibracao();
    ASSERT_EQ(cv::Size(kLadoDoPadraoDeCalibracao, kLadoDoPadraoDeCalibracao), padrao.size());
    cv::Mat cinza;
    cv::cvtColor(padrao, cinza, cv::COLOR_BGR2GRAY);
    const std::vector<cv::Point2d> periodos = periodosDoPadrao(cinza);
    EXPECT_TRUE(periodos.empty());
    EXPECT_EQ(1u, gemeosDoPadrao(padrao, periodos).size()) << "the identity alone";
    // Every neighbourhood a node may be matched by, over the field, has detail: twice what the
    // matcher needs, so that a print and a camera may take half of it.
    double menor = 1e9;
    for (int y = kCentroDoCampo - 200; y <= kCentroDoCampo + 200; y += 8)
        for (int x = kCentroDoCampo - 200; x <= kCentroDoCampo + 200; x += 8) {
            if (!dentroDoCampo(x, y)) continue;
            cv::Scalar media, desvio;
            cv::meanStdDev(cinza(cv::Rect(x - 16, y - 16, 33, 33)), media, desvio);
            menor = std::min(menor, desvio[0]);
        }
    EXPECT_GT(menor, 8) << "grey levels";
}
