// Calibration on synthetic captures of known lenses (calibration/sintetica): the accuracy the
// calibration is held to, on a few small fixed cases, and refinar on picks moved at random.
#include "calibration/calibration.h"
#include "calibration/node_layout.h"
#include "calibration/sintetica/avaliacao.h"
#include "mesh/ampliacao.h"
#include "utilities/angles.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace corretor;

TEST(Calibration_Calibrar, finds_the_nodes_of_known_lenses_and_refines_moved_picks)
{
    struct Linha
    {
        TipoDePadrao padrao;
        unsigned semente;
        bool meiaVolta; // the capture turned by half a turn: no upside-down match
    };
    const Linha linhas[] = {{TipoDePadrao::Natural, 11, false},
                            {TipoDePadrao::Demo, 12, true},
                            {TipoDePadrao::XadrezOblongo, 13, false}};
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    for (const Linha& l : linhas) {
        SCOPED_TRACE(std::string(nomeDoPadrao(l.padrao)) + " " + std::to_string(l.semente));
        std::mt19937 gerador(l.semente);
        Caso caso = casoAleatorio(l.padrao, gerador, 0.8);
        if (l.meiaVolta) caso.lente.angulo += kPi;
        const cv::Mat padrao = padraoSintetico(l.padrao, caso.sementeDoPadrao);
        const cv::Mat captura = fotografar(padrao, caso);

        std::vector<NoCalibrado> nos;
        RelatorioDeCalibracao relatorio;
        limparFalha();
        ASSERT_TRUE(calibrarCaptura(padrao, captura, "captura", destino, {}, nos, relatorio,
                                    [](const std::string&) {}))
            << motivoFalha();
        const ErrosDosNos a = errosDosNos(caso.lente, destino, nos);
        EXPECT_LE(percentil(a.erros, 0.5), 0.2);
        EXPECT_LE(percentil(a.erros, 0.95), 0.5);

        // The true nodes moved by up to 5 capture pixels come back.
        std::uniform_real_distribution<double> angulo(0, 6.2831853), raio(0, 5);
        std::vector<cv::Point2d> marcados;
        for (const auto& p : destino) {
            const double t = angulo(gerador), r = raio(gerador);
            marcados.push_back(aplicarLente(caso.lente, cv::Point2d(p)) +
                               r * cv::Point2d(std::cos(t), std::sin(t)));
        }
        std::vector<NoRefinado> refinados;
        ASSERT_TRUE(refinarNos(padrao, captura, "captura", destino, marcados, 8, refinados,
                               relatorio, [](const std::string&) {}))
            << motivoFalha();
        std::vector<double> erros;
        for (std::size_t k = 0; k < destino.size(); ++k)
            if (cv::norm(cv::Point2d(destino[k]) - cv::Point2d(218, 218)) < 210)
                erros.push_back(cv::norm(daAmpliada(paraAmpliada(refinados[k].depois)) -
                                         aplicarLente(caso.lente, cv::Point2d(destino[k]))));
        EXPECT_LE(percentil(erros, 0.5), 0.2);
    }
}
