// How well and how fast "malha calibrar" finds a mesh, over synthetic captures of known
// distortion (calibration/sintetica/captura_sintetica.h): for each case, the node error (capture
// pixels, between the node as the vertex file holds it and the node's true capture point, for
// the nodes inside the field), the corrected capture's PSNR and coverage against the pattern
// with the mesh found and with a mesh of the same target nodes at their true positions, and
// the time of the calibration. Then the whole-set figures, and the time for a 1920 x 1080
// capture.
//
//   bancada_calibrar [CASOS] [--gravar PASTA] [--caso N]
//
// CASOS cases of each pattern (natural, demo, chessboard; 6 by default), drawn with fixed seeds,
// plus the demo's own capture. Each case also gets "malha refinar" on its true mesh with every
// source node moved at random by up to 5 capture pixels. --gravar writes each capture and its
// pattern into PASTA; --caso runs only case N (100 x the pattern's number, natural 0, demo 1,
// chessboard 2, plus the case's index), to look at one.
#include "authoring/mesh_quality.h"
#include "bench/bench_timer.h"
#include "calibration/calibration.h"
#include "calibration/node_layout.h"
#include "calibration/sintetica/avaliacao.h"
#include "calibration/sintetica/demo_scene.h"
#include "mesh/ampliacao.h"
#include "utilities/report.h"
#include "utilities/angles.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <random>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace corretor;

namespace {

struct Totais
{
    std::vector<double> erros, tempos, refinados;
    double piorDiferenca = -1e9, piorCobertura = 1;
    int falhas = 0;
};

int contar(const std::vector<NoCalibrado>& nos, NoCalibrado::Origem origem)
{
    return static_cast<int>(std::count_if(
        nos.begin(), nos.end(), [&](const NoCalibrado& n) { return n.origem == origem; }));
}

void avaliar(const std::string& nome, const cv::Mat& padrao, const cv::Mat& captura,
             const Lente& lente, Totais& totais)
{
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    std::vector<NoCalibrado> nos;
    RelatorioDeCalibracao relatorio;
    limparFalha();
    bool ok = false;
    const double ms = bancada::tempoMs([&] {
        ok = calibrarCaptura(padrao, captura, nome, destino, nos, relatorio,
                             [](const std::string&) {});
    });
    if (!ok) {
        ++totais.falhas;
        std::printf("%s\n    FALHOU: %s\n", nome.c_str(), motivoFalha().c_str());
        return;
    }
    totais.tempos.push_back(ms);
    std::vector<cv::Point2d> achados;
    for (const auto& no : nos)
        achados.push_back(no.captura);
    const ErrosDosNos a = errosDosNos(lente, destino, achados);
    const QualidadeDaMalha verdadeira = medirMalha(captura, padrao, a.verdadeira, destino);
    const QualidadeDaMalha achada = medirMalha(captura, padrao, a.achada, destino);
    totais.erros.insert(totais.erros.end(), a.erros.begin(), a.erros.end());
    totais.piorDiferenca = std::max(totais.piorDiferenca, verdadeira.psnr - achada.psnr);
    totais.piorCobertura = std::min(totais.piorCobertura, achada.cobertura);
    std::printf(
        "%s\n    erro mediana %.3f p95 %.3f máx %.3f (fora do campo %.3f) | PSNR %.2f "
        "(verdadeira %.2f, %+.2f) | cobertura %.4f | %.0f ms | trocados %d previstos %d\n",
        nome.c_str(), percentil(a.erros, 0.5), percentil(a.erros, 0.95), percentil(a.erros, 1.0),
        a.foraDoCampo, achada.psnr, verdadeira.psnr, achada.psnr - verdadeira.psnr,
        achada.cobertura, ms,
        contar(nos, NoCalibrado::Origem::Trocado), contar(nos, NoCalibrado::Origem::Previsto));
    std::fflush(stdout);
}

// "malha refinar" on the true mesh with every source node moved at random by up to 5 capture
// pixels: the error of the nodes inside the field afterwards, as the vertex file holds them.
void avaliarRefinamento(const cv::Mat& padrao, const cv::Mat& captura, const Lente& lente,
                        unsigned semente, Totais& totais)
{
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    std::mt19937 gerador(semente);
    std::uniform_real_distribution<double> angulo(0, 2 * kPi), raio(0, 5);
    std::vector<cv::Point2d> marcados;
    for (const auto& p : destino) {
        const double t = angulo(gerador), r = raio(gerador);
        marcados.push_back(daAmpliada(paraAmpliada(aplicarLente(lente, cv::Point2d(p)) +
                                                   r * cv::Point2d(std::cos(t), std::sin(t)))));
    }
    std::vector<NoRefinado> nos;
    RelatorioDeCalibracao relatorio;
    limparFalha();
    if (!refinarNos(padrao, captura, "refinar", destino, marcados, 8, nos, relatorio,
                    [](const std::string&) {})) {
        std::printf("    refinar FALHOU: %s\n", motivoFalha().c_str());
        ++totais.falhas;
        return;
    }
    std::vector<double> erros;
    for (std::size_t k = 0; k < destino.size(); ++k)
        if (cv::norm(cv::Point2d(destino[k]) - cv::Point2d(218, 218)) < 210)
            erros.push_back(cv::norm(daAmpliada(paraAmpliada(nos[k].depois)) -
                                     aplicarLente(lente, cv::Point2d(destino[k]))));
    totais.refinados.insert(totais.refinados.end(), erros.begin(), erros.end());
    std::printf("    refinar (nós movidos até 5 pixels): erro mediana %.3f p95 %.3f máx %.3f\n",
                percentil(erros, 0.5), percentil(erros, 0.95), percentil(erros, 1.0));
}

} // namespace

int main(int argc, char** argv)
{
    int casos = 6, so = -1;
    std::string gravar;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gravar") == 0 && i + 1 < argc)
            gravar = argv[++i];
        else if (std::strcmp(argv[i], "--caso") == 0 && i + 1 < argc)
            so = std::atoi(argv[++i]);
        else
            casos = std::atoi(argv[i]);
    }
    if (casos < 0) casos = 0;
    Totais totais;

    // The demo's own capture: its lens in this generator's terms.
    if (so < 0) {
        const Distorcao d = distorcaoDaDemo();
        Caso caso;
        caso.padrao = TipoDePadrao::Demo;
        caso.lente.k1 = d.k1;
        caso.lente.angulo = d.angulo;
        caso.lente.escala = d.escala;
        caso.lente.centro = d.centro;
        const cv::Mat padrao = desenharPadrao();
        avaliar("demo    amostra.jpg da demonstração", padrao, fotografarPadrao(padrao, d),
                caso.lente, totais);
    }
    const TipoDePadrao tipos[] = {TipoDePadrao::Natural, TipoDePadrao::Demo, TipoDePadrao::Xadrez};
    for (TipoDePadrao tipo : tipos) {
        std::mt19937 gerador(1000 + static_cast<unsigned>(tipo));
        for (int i = 0; i < casos; ++i) {
            const Caso caso = casoAleatorio(tipo, gerador);
            if (so >= 0 && so != 100 * static_cast<int>(tipo) + i) continue;
            const cv::Mat padrao = padraoSintetico(tipo, caso.sementeDoPadrao);
            const cv::Mat captura = fotografar(padrao, caso);
            if (!gravar.empty()) {
                const std::string base = gravar + "/" + nomeDoPadrao(tipo) + std::to_string(i);
                cv::imwrite(base + "-captura.png", captura);
                cv::imwrite(base + "-padrao.png", padrao);
            }
            avaliar(descreverCaso(caso), padrao, captura, caso.lente, totais);
            avaliarRefinamento(padrao, captura, caso.lente, caso.sementeDoRuido, totais);
        }
    }
    std::printf("\n%zu casos calibrados, %d falharam\n", totais.tempos.size(), totais.falhas);
    std::printf("erro dos nós dentro do campo (pixels da captura): mediana %.3f, p95 %.3f, "
                "máximo %.3f, sobre %zu nós\n",
                percentil(totais.erros, 0.5), percentil(totais.erros, 0.95),
                percentil(totais.erros, 1.0), totais.erros.size());
    std::printf("PSNR: no pior caso %.2f dB abaixo da malha verdadeira; cobertura mínima %.4f\n",
                totais.piorDiferenca, totais.piorCobertura);
    std::printf("refinar, nós movidos até 5 pixels: erro mediana %.3f, p95 %.3f, sobre %zu nós\n",
                percentil(totais.refinados, 0.5), percentil(totais.refinados, 0.95),
                totais.refinados.size());
    std::printf("tempo por calibração: mediana %.0f ms, máximo %.0f ms\n",
                percentil(totais.tempos, 0.5), percentil(totais.tempos, 1.0));

    // A full HD capture, as a common camera gives it.
    {
        std::mt19937 gerador(7);
        Caso caso = casoAleatorio(TipoDePadrao::Natural, gerador);
        caso.lente.escala = 1.5;
        caso.tamanho = cv::Size(1920, 1080);
        caso.lente.centro = cv::Point2d(1000, 530);
        const cv::Mat padrao = padraoSintetico(caso.padrao, caso.sementeDoPadrao);
        const cv::Mat captura = fotografar(padrao, caso);
        const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
        std::vector<NoCalibrado> nos;
        RelatorioDeCalibracao relatorio;
        bool ok = true;
        const double ms = bancada::medianaMs(3, [&] {
            ok = ok && calibrarCaptura(padrao, captura, "1920x1080", destino, nos, relatorio,
                                       [](const std::string&) {});
        });
        std::printf(
            "captura de 1920 x 1080 (escala 1.5): %.0f ms por calibração (mediana de 3)%s\n", ms,
            ok ? "" : ", FALHOU");
    }
    return totais.falhas == 0 ? 0 : 1;
}
