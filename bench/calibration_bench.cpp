// How well and how fast "malha calibrar" finds a mesh, class by class of synthetic captures of
// known distortion (calibration/sintetica/capture_classes.h). For each case: the node error
// (calibration/sintetica/avaliacao.h: the nodes inside the field as the vertex file holds them,
// in the larger of the capture's and the pattern's pixels), the corrected capture's PSNR with
// the mesh found beside the same with a mesh of the same target nodes at their true positions,
// and the time of the calibration. A case the calibration must refuse (a symmetric pattern
// without --giro) counts as right when it is refused naming the symmetry. Then each class's
// figures, and the time for a 1920 x 1080 and a 4000 x 3000 capture.
//
//   bancada_calibrar [--classe NOME] [--caso N] [--gravar PASTA] [--refinar]
//
// --classe runs one class (all by default), --caso only its case N (from 0), --gravar writes each
// capture and its pattern into PASTA, --refinar also runs "malha refinar" on each true mesh with
// every source node moved at random by up to 5 capture pixels.
#include "authoring/mesh_quality.h"
#include "authoring/mesh_value.h"
#include "bench/bench_timer.h"
#include "calibration/calibration.h"
#include "calibration/node_layout.h"
#include "calibration/self_check.h"
#include "calibration/sintetica/avaliacao.h"
#include "calibration/sintetica/capture_classes.h"
#include "mesh/ampliacao.h"
#include "utilities/angles.h"
#include "utilities/field.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace corretor;

namespace {

struct Totais
{
    std::vector<double> erros, tempos, refinados, p95s;
    double piorDiferenca = -1e9;
    int casos = 0, falhas = 0, recusasCertas = 0, aceitasErradas = 0;
    int conferidasRecusadas = 0, verdadeirasRecusadas = 0;
};

// The check "malha calibrar" makes before writing (calibration/self_check.h), of the mesh with
// source nodes `origem` (the enlarged capture's grid).
ConferenciaDaMalha conferir(const cv::Mat& padrao, const cv::Mat& captura,
                            const std::vector<cv::Point>& destino,
                            const std::vector<cv::Point>& origem)
{
    MalhaNova malha;
    malha.destino = destino;
    malha.origem = origem;
    if (!triangular(malha)) return {};
    std::vector<cv::Point2d> naCaptura;
    for (const cv::Point& v : origem)
        naCaptura.push_back(daAmpliada(v));
    const std::vector<std::array<int, 3>> triangulos(malha.triangulos.begin(),
                                                     malha.triangulos.end());
    return conferirMalha(padrao, captura, "captura", destino, naCaptura, triangulos);
}

int contar(const std::vector<NoCalibrado>& nos, NoCalibrado::Origem origem)
{
    return static_cast<int>(std::count_if(
        nos.begin(), nos.end(), [&](const NoCalibrado& n) { return n.origem == origem; }));
}

std::string motivoCurto()
{
    std::string m = motivoFalha();
    return m.size() > 160 ? m.substr(0, 160) + "..." : m;
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
        std::printf("    refinar FALHOU: %s\n", motivoCurto().c_str());
        ++totais.falhas;
        return;
    }
    std::vector<cv::Point2d> achados;
    for (const auto& no : nos)
        achados.push_back(no.depois);
    const ErrosDosNos e = errosDosNos(lente, destino, achados);
    totais.refinados.insert(totais.refinados.end(), e.erros.begin(), e.erros.end());
    std::printf("    refinar (nós movidos até 5 pixels): erro mediana %.3f p95 %.3f máx %.3f\n",
                percentil(e.erros, 0.5), percentil(e.erros, 0.95), percentil(e.erros, 1.0));
}

void avaliar(const Caso& caso, int indice, const std::string& gravar, bool refinar, Totais& totais)
{
    const cv::Mat padrao = padraoSintetico(caso.padrao, caso.sementeDoPadrao);
    const cv::Mat captura = fotografar(padrao, caso);
    if (!gravar.empty()) {
        const std::string base = gravar + "/" + std::to_string(indice);
        cv::imwrite(base + "-captura.png", captura);
        cv::imwrite(base + "-padrao.png", padrao);
    }
    std::printf("%2d %s\n", indice, descreverCaso(caso).c_str());
    std::fflush(stdout);
    ++totais.casos;
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    std::vector<NoCalibrado> nos;
    RelatorioDeCalibracao relatorio;
    limparFalha();
    bool ok = false;
    const double ms = bancada::tempoMs(
        [&] { ok = calibrarCaso(caso, padrao, captura, destino, nos, relatorio); });
    if (caso.recusar) {
        const bool nomeia = motivoFalha().find("simétric") != std::string::npos;
        if (!ok && nomeia) {
            ++totais.recusasCertas;
            std::printf("    recusada, como deve: %s\n", motivoCurto().c_str());
        } else {
            ++totais.falhas;
            std::printf("    ERRADO: devia recusar nomeando a simetria; %s\n",
                        ok ? "aceita" : motivoCurto().c_str());
        }
        return;
    }
    if (!ok) {
        ++totais.falhas;
        std::printf("    FALHOU (%.0f ms): %s\n", ms, motivoCurto().c_str());
        return;
    }
    totais.tempos.push_back(ms);
    const ErrosDosNos e = errosDosNos(caso.lente, destino, nos);
    const QualidadeDaMalha verdadeira = medirMalha(captura, padrao, e.verdadeira, destino);
    const QualidadeDaMalha achada = medirMalha(captura, padrao, e.achada, destino);
    totais.erros.insert(totais.erros.end(), e.erros.begin(), e.erros.end());
    const double p95 = percentil(e.erros, 0.95);
    totais.p95s.push_back(p95);
    // Accepted: calibrated and agreeing with its capture, as "malha calibrar" writes it.
    const ConferenciaDaMalha conferencia = conferir(padrao, captura, destino, e.achada);
    const bool verdadeiraConfere = conferir(padrao, captura, destino, e.verdadeira).confere;
    totais.conferidasRecusadas += !conferencia.confere;
    totais.verdadeirasRecusadas += !verdadeiraConfere;
    if (p95 > 1 && conferencia.confere) ++totais.aceitasErradas;
    totais.piorDiferenca = std::max(totais.piorDiferenca, verdadeira.psnr - achada.psnr);
    std::printf("    erro mediana %.3f p95 %.3f máx %.3f (fora do campo %.3f; unidade %.2f px "
                "da captura) | PSNR %.2f (verdadeira %.2f, %+.2f) | %.0f ms | trocados %d "
                "previstos %d%s\n",
                percentil(e.erros, 0.5), p95, percentil(e.erros, 1.0), e.foraDoCampo, e.unidade,
                achada.psnr, verdadeira.psnr, achada.psnr - verdadeira.psnr, ms,
                contar(nos, NoCalibrado::Origem::Trocado),
                contar(nos, NoCalibrado::Origem::Previsto),
                p95 > 1 && conferencia.confere ? "  ACEITA COM p95 > 1" : "");
    if (!conferencia.confere)
        std::printf("    conferência RECUSA: %s\n", conferencia.motivo.c_str());
    if (!verdadeiraConfere) std::printf("    conferência recusa a malha VERDADEIRA\n");
    for (const std::string& aviso : relatorio.avisos)
        std::printf("    aviso: %s\n", aviso.c_str());
    std::fflush(stdout);
    if (refinar) avaliarRefinamento(padrao, captura, caso.lente, caso.sementeDoRuido, totais);
}

void resumir(const char* classe, const Totais& t)
{
    std::printf("== %s: %d casos, %zu calibrados, %d recusados como deviam, %d falhas; erro "
                "mediana %.3f p95 %.3f máx %.3f sobre %zu nós; pior p95 de um caso %.3f; "
                "aceitos com p95 > 1: %d; recusados pela conferência: %d (a malha verdadeira: %d); "
                "PSNR no pior caso %.2f dB abaixo da malha verdadeira; "
                "tempo mediana %.0f ms, máximo %.0f ms\n",
                classe, t.casos, t.tempos.size(), t.recusasCertas, t.falhas,
                percentil(t.erros, 0.5), percentil(t.erros, 0.95), percentil(t.erros, 1.0),
                t.erros.size(), percentil(t.p95s, 1.0), t.aceitasErradas, t.conferidasRecusadas,
                t.verdadeirasRecusadas, t.tempos.empty() ? 0.0 : t.piorDiferenca,
                percentil(t.tempos, 0.5), percentil(t.tempos, 1.0));
    if (!t.refinados.empty())
        std::printf("   refinar, nós movidos até 5 pixels: erro mediana %.3f, p95 %.3f\n",
                    percentil(t.refinados, 0.5), percentil(t.refinados, 0.95));
    std::fflush(stdout);
}

// The median of three calibrations of a natural capture of `tamanho`, the field filling
// `enchimento` of its height.
void cronometrar(cv::Size tamanho, double enchimento)
{
    std::mt19937 gerador(7);
    Caso caso = casoAleatorio(TipoDePadrao::Natural, gerador);
    caso.lente.escala = 1;
    caso.lente.centro = cv::Point2d(0, 0);
    caso.lente.escala = enchimento * tamanho.height / retanguloDoCampo(caso.lente).height;
    const cv::Rect2d caixa = retanguloDoCampo(caso.lente);
    caso.tamanho = tamanho;
    caso.lente.centro = cv::Point2d((tamanho.width - caixa.width) / 2 - caixa.x,
                                    (tamanho.height - caixa.height) / 2 - caixa.y);
    const cv::Mat padrao = padraoSintetico(caso.padrao, caso.sementeDoPadrao);
    const cv::Mat captura = fotografar(padrao, caso);
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    std::vector<NoCalibrado> nos;
    RelatorioDeCalibracao relatorio;
    bool ok = true;
    const double ms = bancada::medianaMs(3, [&] {
        ok = ok && calibrarCaptura(padrao, captura, "tempo", destino, {}, nos, relatorio,
                                   [](const std::string&) {});
    });
    std::printf("captura de %d x %d (escala %.2f): %.0f ms por calibração (mediana de 3)%s\n",
                tamanho.width, tamanho.height, caso.lente.escala, ms, ok ? "" : ", FALHOU");
}

} // namespace

int main(int argc, char** argv)
{
    std::string so, gravar;
    int caso = -1;
    bool refinar = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--classe") == 0 && i + 1 < argc)
            so = argv[++i];
        else if (std::strcmp(argv[i], "--caso") == 0 && i + 1 < argc)
            caso = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--gravar") == 0 && i + 1 < argc)
            gravar = argv[++i];
        else if (std::strcmp(argv[i], "--refinar") == 0)
            refinar = true;
        else {
            std::fprintf(stderr, "uso: bancada_calibrar [--classe NOME] [--caso N] "
                                 "[--gravar PASTA] [--refinar]\nclasses:");
            for (const auto& c : classesDeCapturas())
                std::fprintf(stderr, " %s", c.nome);
            std::fprintf(stderr, "\n");
            return 2;
        }
    }
    Totais geral;
    for (const ClasseDeCapturas& classe : classesDeCapturas()) {
        if (!so.empty() && so != classe.nome) continue;
        std::printf("\n# %s: %s\n", classe.nome, classe.descricao);
        const std::vector<Caso> casos = casosDaClasse(classe.nome);
        Totais t;
        for (std::size_t i = 0; i < casos.size(); ++i)
            if (caso < 0 || caso == static_cast<int>(i))
                avaliar(casos[i], static_cast<int>(i), gravar, refinar, t);
        resumir(classe.nome, t);
        geral.casos += t.casos;
        geral.falhas += t.falhas;
        geral.aceitasErradas += t.aceitasErradas;
    }
    if (so.empty() && caso < 0) {
        std::printf("\n");
        cronometrar(cv::Size(1920, 1080), 0.9);
        cronometrar(cv::Size(4000, 3000), 0.99);
    }
    std::printf("\n%d casos, %d falhas, %d aceitos com p95 > 1\n", geral.casos, geral.falhas,
                geral.aceitasErradas);
    return geral.falhas == 0 && geral.aceitasErradas == 0 ? 0 : 1;
}
