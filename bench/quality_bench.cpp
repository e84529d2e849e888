// The curved map (--suave) against the flat one, over the synthetic captures of known distortion
// (calibration/sintetica/capture_classes.h): for each case, the capture corrected in every mode
// (correction/quality_by_mode.h: each result saved as JPEG and measured against the pattern over
// the field), and how far the flat and the curved maps lie from the lens (in the larger pixel),
// with the mesh of the 63 target nodes at their true source points and with the mesh "malha
// calibrar" finds. Prints one Markdown table row per case and mesh, then each class's gain of
// curved over flat and the cases where curved loses.
//
//   bancada_qualidade [--classe NOME]...
//
// By default the classes of the field seen through a lens (amostra, aleatória, local,
// resolução, desfoque, espelho, giro), some minutes; --classe names the classes to run.
#include "authoring/mesh_value.h"
#include "calibration/calibration.h"
#include "calibration/node_layout.h"
#include "calibration/sintetica/avaliacao.h"
#include "calibration/sintetica/capture_classes.h"
#include "correction/quality_by_mode.h"
#include "mesh/ampliacao.h"
#include "mesh/mesh_store.h"
#include "utilities/field.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace corretor;

namespace {

// Modes as qualidadePorModo orders them.
constexpr int kDireta = 0, kCubicaPlana = 3, kCubicaCurva = 4, kLanczosPlana = 5, kLanczosCurva = 6;

struct Ganhos
{
    std::vector<double> cubica, lanczos; // curved minus flat, dB
    std::vector<std::string> perdas;     // cases where curved loses more than 0.05 dB
    std::vector<double> fortesCubica;    // the cubic gain where |k1| >= 0.2, true nodes
    std::vector<std::string> fortes;     // those cases, named with their gain
};

// The root mean square distance between the point where the maps of the mesh in the store
// sample each field pixel of the pattern and the point where the lens shows it: how far the map
// itself is from the lens, whatever the picture. In the larger of the capture's and the
// pattern's pixels, as the calibration's node errors (calibration/sintetica/avaliacao.h): a
// capture finer than the pattern shows the same misplacement over more of its pixels.
double erroDoMapa(cv::Size captura, cv::Size padrao, bool suave, const Lente& lente)
{
    const auto m = montarMapas(captura, padrao, suave);
    if (m == nullptr) return NAN;
    cv::Mat pontos;
    cv::convertMaps(m->inteiros, m->fracoes, pontos, cv::noArray(), CV_32FC2);
    cv::Mat preto(padrao, CV_8U, cv::Scalar(0));
    for (const auto& t : m->pretos)
        preto.row(t.linha).colRange(t.inicio, t.fim).setTo(1);
    double soma = 0;
    long n = 0;
    for (int r = 0; r < padrao.height; ++r)
        for (int c = 0; c < padrao.width; ++c) {
            if (!dentroDoCampo(c, r) || preto.at<uchar>(r, c) != 0) continue;
            const cv::Vec2f p = pontos.at<cv::Vec2f>(r, c);
            const cv::Point2d d = cv::Point2d(p[0], p[1]) - aplicarLente(lente, cv::Point2d(c, r));
            soma += d.dot(d);
            ++n;
        }
    return n == 0 ? NAN : std::sqrt(soma / static_cast<double>(n)) / std::max(1.0, lente.escala);
}

struct Medida
{
    std::vector<QualidadeDoModo> modos;
    double erroPlano = NAN, erroCurvo = NAN; // erroDoMapa
};

// The mesh of `origem` (enlarged capture) and `destino` (pattern) in the store, as "malha
// calibrar" writes it; then every mode and both maps' error. No modes when no mesh or no
// correction could be made.
Medida medir(const cv::Mat& captura, const cv::Mat& padrao, const std::vector<cv::Point>& origem,
             const std::vector<cv::Point>& destino, const Lente& lente)
{
    MalhaNova malha{origem, destino, {}, {}};
    if (!triangular(malha)) return {};
    gerarMapas(malha);
    carregarNasTabelas(malha);
    const IplImage c = cvIplImage(captura), p = cvIplImage(padrao);
    return {qualidadePorModo(&c, &p), erroDoMapa(captura.size(), padrao.size(), false, lente),
            erroDoMapa(captura.size(), padrao.size(), true, lente)};
}

void linha(const char* classe, int indice, const Caso& caso, const char* malha,
           const Medida& medida, Ganhos& ganhos)
{
    std::printf("| %s | %d | %s | %.2f | %.2f | %s | ", classe, indice, nomeDoPadrao(caso.padrao),
                caso.lente.escala, caso.lente.k1, malha);
    const std::vector<QualidadeDoModo>& q = medida.modos;
    if (q.empty()) {
        std::printf("falhou: %s |\n", motivoFalha().c_str());
        limparFalha();
        return;
    }
    const double gc = q[kCubicaCurva].qualidade.psnr - q[kCubicaPlana].qualidade.psnr;
    const double gl = q[kLanczosCurva].qualidade.psnr - q[kLanczosPlana].qualidade.psnr;
    ganhos.cubica.push_back(gc);
    ganhos.lanczos.push_back(gl);
    char nome[160];
    std::snprintf(nome, sizeof nome, "%s %d (%s, %s, k1 %.2f): %+.2f dB", classe, indice,
                  nomeDoPadrao(caso.padrao), malha, caso.lente.k1, gc);
    // Strong: |k1| 0.20 or more, as the table shows it.
    if (std::strcmp(malha, "verdadeira") == 0 && std::abs(caso.lente.k1) >= 0.195) {
        ganhos.fortesCubica.push_back(gc);
        ganhos.fortes.emplace_back(nome);
    }
    if (std::min(gc, gl) < -0.05) ganhos.perdas.emplace_back(nome);
    std::size_t planos = 0;
    for (const QualidadeDoModo& m : q)
        planos = std::max(planos, m.planos.size());
    std::printf("%.2f / %.2f | %.2f | %.2f | %.2f | %+.2f | %.2f | %.2f | %+.2f | %.4f | %zu |\n",
                medida.erroPlano, medida.erroCurvo, q[kDireta].qualidade.psnr,
                q[kCubicaPlana].qualidade.psnr, q[kCubicaCurva].qualidade.psnr, gc,
                q[kLanczosPlana].qualidade.psnr, q[kLanczosCurva].qualidade.psnr, gl,
                std::min(q[kCubicaCurva].qualidade.cobertura, q[kCubicaPlana].qualidade.cobertura),
                planos);
    std::fflush(stdout);
}

double media(const std::vector<double>& v)
{
    double soma = 0;
    for (const double x : v)
        soma += x;
    return v.empty() ? 0 : soma / static_cast<double>(v.size());
}

void avaliarClasse(const std::string& classe, Ganhos& todos)
{
    Ganhos ganhos;
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    const std::vector<Caso> casos = casosDaClasse(classe);
    for (int i = 0; i < static_cast<int>(casos.size()); ++i) {
        const Caso& caso = casos[i];
        if (caso.recusar) continue; // nothing to correct with
        const cv::Mat padrao = padraoSintetico(caso.padrao, caso.sementeDoPadrao);
        const cv::Mat captura = fotografar(padrao, caso);
        std::vector<cv::Point> verdadeira; // as a vertex file holds the true source points
        for (const cv::Point& d : destino)
            verdadeira.push_back(paraAmpliada(aplicarLente(caso.lente, cv::Point2d(d))));
        linha(classe.c_str(), i, caso, "verdadeira",
              medir(captura, padrao, verdadeira, destino, caso.lente), ganhos);
        std::vector<NoCalibrado> nos;
        RelatorioDeCalibracao relatorio;
        limparFalha();
        if (!calibrarCaso(caso, padrao, captura, destino, nos, relatorio)) {
            linha(classe.c_str(), i, caso, "calibrada", {}, ganhos);
            continue;
        }
        const ErrosDosNos calibrados = errosDosNos(caso.lente, destino, nos);
        linha(classe.c_str(), i, caso, "calibrada",
              medir(captura, padrao, calibrados.achada, destino, caso.lente), ganhos);
    }
    std::printf(
        "\n== %s: curva - plana, cúbico média %+.2f dB (mín %+.2f, máx %+.2f), lanczos "
        "média %+.2f dB (mín %+.2f); piores que a plana por mais de 0,05 dB: %zu\n\n",
        classe.c_str(), media(ganhos.cubica),
        ganhos.cubica.empty() ? 0.0 : *std::min_element(ganhos.cubica.begin(), ganhos.cubica.end()),
        ganhos.cubica.empty() ? 0.0 : *std::max_element(ganhos.cubica.begin(), ganhos.cubica.end()),
        media(ganhos.lanczos),
        ganhos.lanczos.empty() ? 0.0
                               : *std::min_element(ganhos.lanczos.begin(), ganhos.lanczos.end()),
        ganhos.perdas.size());
    todos.cubica.insert(todos.cubica.end(), ganhos.cubica.begin(), ganhos.cubica.end());
    todos.lanczos.insert(todos.lanczos.end(), ganhos.lanczos.begin(), ganhos.lanczos.end());
    todos.perdas.insert(todos.perdas.end(), ganhos.perdas.begin(), ganhos.perdas.end());
    todos.fortesCubica.insert(todos.fortesCubica.end(), ganhos.fortesCubica.begin(),
                              ganhos.fortesCubica.end());
    todos.fortes.insert(todos.fortes.end(), ganhos.fortes.begin(), ganhos.fortes.end());
}

void cabecalho()
{
    std::printf("| classe | caso | padrão | escala | k1 | malha | erro do mapa plano / curvo (px) "
                "| direta | "
                "cúbico plano | cúbico curvo | ganho | lanczos plano | lanczos curvo | ganho | "
                "cobertura | planos |\n"
                "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> classes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--classe") == 0 && i + 1 < argc &&
            !casosDaClasse(argv[i + 1]).empty()) {
            classes.emplace_back(argv[++i]);
            continue;
        }
        std::fprintf(stderr, "uso: bancada_qualidade [--classe NOME]...\nclasses:");
        for (const ClasseDeCapturas& c : classesDeCapturas())
            std::fprintf(stderr, " %s", c.nome);
        std::fprintf(stderr, "\n");
        return 2;
    }
    if (classes.empty())
        classes = {"amostra", "aleatória", "local", "resolução", "desfoque", "espelho", "giro"};
    Ganhos todos;
    try {
        for (const std::string& classe : classes) {
            cabecalho();
            avaliarClasse(classe, todos);
        }
    } catch (const cv::Exception& e) {
        std::fprintf(stderr, "bancada_qualidade: erro da biblioteca de imagens: %s\n", e.what());
        return 1;
    }
    std::printf("== todas: %zu medidas, curva - plana, cúbico média %+.2f dB, lanczos média %+.2f "
                "dB; lentes fortes (|k1| >= 0,20, nós verdadeiros): %zu casos, cúbico média %+.2f "
                "dB, mín %+.2f dB\n",
                todos.cubica.size(), media(todos.cubica), media(todos.lanczos),
                todos.fortesCubica.size(), media(todos.fortesCubica),
                todos.fortesCubica.empty()
                    ? 0.0
                    : *std::min_element(todos.fortesCubica.begin(), todos.fortesCubica.end()));
    std::printf("== lentes fortes, o ganho do cúbico com os nós verdadeiros:");
    for (const std::string& f : todos.fortes)
        std::printf(" %s;", f.c_str());
    std::printf("\n");
    std::printf("== curva pior que a plana por mais de 0,05 dB:");
    for (const std::string& p : todos.perdas)
        std::printf(" %s;", p.c_str());
    std::printf("%s\n", todos.perdas.empty() ? " nenhuma" : "");
    return 0;
}
