// The floor of a batch: what one image costs when each step of its correction is timed alone on
// one thread, for the images bench/lote.sh then gives corrigir-lote; run by that script.
//
//   bancada_piso imagens ENTRADA PASTA N QUALIDADE
//       Writes N JPEGs "PASTA/0.jpg" ... of ENTRADA's size and content, each shifted by its
//       number of columns (wrapping round), at QUALIDADE: files of one cost, none the same.
//   bancada_piso medir PASTA VEZES IMAGEM...
//       In the workspace PASTA, on one thread: for each image (names relative to PASTA), VEZES
//       times, the median milliseconds of
//         decodificar   abrir: the file read and decoded, as a batch worker loads it;
//         avanco        corrigirImagem: the default correction (the enlargement warped as it is
//                       made), in a kept area, as a batch worker runs it;
//         interpolado   morphInterpolado with the linear filter, its maps built beforehand (a
//                       batch builds them once per input size);
//         codificar     the 436 x 436 result encoded as save encodes ".jpg";
//       printed as one line of "chave=valor" fields.
//   bancada_piso suave PASTA VEZES IMAGEM...
//       The curved map (--suave) against the flat one, in the workspace PASTA, with OpenCV's
//       threads as a single corrigir has them: the median milliseconds of building the maps for
//       the first image's size, flat and curved (montarMapas, VEZES times each, in turns), and
//       of the interpolated warp of each image with each filter through either maps (VEZES
//       rounds, in turns, each first every other round, the image read into the cache before
//       each), with the ratios curved / flat measured in this one run.
#include "bench/bench_timer.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace corretor;

namespace {

int falha(const std::string& motivo)
{
    std::fprintf(stderr, "bancada_piso: erro: %s\n", motivo.c_str());
    return 1;
}

int imagens(const std::string& entrada, const fs::path& pasta, int n, int qualidade)
{
    const cv::Mat foto = cv::imread(entrada, cv::IMREAD_COLOR);
    if (foto.empty()) return falha("não foi possível ler \"" + entrada + "\"");
    std::error_code erro;
    fs::create_directories(pasta, erro);
    for (int k = 0; k < n; ++k) {
        const int d = k % foto.cols;
        cv::Mat deslocada = foto.clone();
        if (d > 0) {
            foto.colRange(0, foto.cols - d).copyTo(deslocada.colRange(d, foto.cols));
            foto.colRange(foto.cols - d, foto.cols).copyTo(deslocada.colRange(0, d));
        }
        const std::string nome = (pasta / (std::to_string(k) + ".jpg")).string();
        if (!cv::imwrite(nome, deslocada, {cv::IMWRITE_JPEG_QUALITY, qualidade}))
            return falha("não foi possível gravar \"" + nome + "\"");
    }
    return 0;
}

double mediana(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

int medir(const fs::path& pasta, int vezes, const std::vector<std::string>& nomes)
{
    std::error_code erro;
    fs::current_path(pasta, erro);
    if (erro) return falha("não foi possível entrar em \"" + pasta.string() + "\"");
    cv::setNumThreads(1);
    carregaVetorVertices();
    if (houveFalha()) return falha(motivoFalha());
    const Imagem padrao = abrir("data/pattern.jpg");
    if (padrao == nullptr) return falha(motivoFalha());
    std::vector<double> decodificar, avanco, interpolado, codificar;
    AreaDoAvanco area;
    MapasPorTamanho mapas(cv::Size(padrao->width, padrao->height));
    std::vector<uchar> bytes;
    for (int vez = 0; vez <= vezes; ++vez) // the first round is not timed
        for (const auto& nome : nomes) {
            Imagem image, corrigida, outra;
            const double d = bancada::tempoMs([&] { image = abrir(nome.c_str()); });
            if (image == nullptr) return falha(motivoFalha());
            const auto doTamanho = mapas.para(cv::Size(image->width, image->height));
            if (doTamanho == nullptr) return falha(motivoFalha());
            const double a = bancada::tempoMs([&] {
                corrigida = corrigirImagem(image.get(), padrao.get(), nullptr, nullptr, &area);
            });
            const double i = bancada::tempoMs(
                [&] { outra = morphInterpolado(image.get(), *doTamanho, Interpolacao::Linear); });
            if (corrigida == nullptr || outra == nullptr) return falha(motivoFalha());
            const cv::Mat pixels = cv::cvarrToMat(corrigida.get());
            const double c = bancada::tempoMs([&] { cv::imencode(".jpg", pixels, bytes); });
            if (vez == 0) continue;
            decodificar.push_back(d), avanco.push_back(a), interpolado.push_back(i),
                codificar.push_back(c);
        }
    std::printf("imagens=%zu vezes=%d decodificar=%.3f avanco=%.3f interpolado=%.3f "
                "codificar=%.3f\n",
                nomes.size(), vezes, mediana(decodificar), mediana(avanco), mediana(interpolado),
                mediana(codificar));
    return 0;
}

int suave(const fs::path& pasta, int vezes, const std::vector<std::string>& nomes)
{
    std::error_code erro;
    fs::current_path(pasta, erro);
    if (erro) return falha("não foi possível entrar em \"" + pasta.string() + "\"");
    carregaVetorVertices();
    if (houveFalha()) return falha(motivoFalha());
    const Imagem padrao = abrir("data/pattern.jpg");
    if (padrao == nullptr) return falha(motivoFalha());
    std::vector<Imagem> fotos;
    for (const auto& nome : nomes) {
        fotos.push_back(abrir(nome.c_str()));
        if (fotos.back() == nullptr) return falha(motivoFalha());
    }
    const cv::Size saida(padrao->width, padrao->height);
    const cv::Size entrada(fotos[0]->width, fotos[0]->height);
    std::vector<double> montar[2];
    std::shared_ptr<const MapasInterpolados> mapas[2];
    for (int vez = 0; vez <= vezes; ++vez)
        for (int curvo = 0; curvo < 2; ++curvo) {
            const double ms =
                bancada::tempoMs([&] { mapas[curvo] = montarMapas(entrada, saida, curvo == 1); });
            if (mapas[curvo] == nullptr) return falha(motivoFalha());
            if (vez > 0) montar[curvo].push_back(ms);
        }
    MapasPorTamanho porTamanho[2] = {MapasPorTamanho(saida), MapasPorTamanho(saida, true)};
    const Interpolacao filtros[3] = {Interpolacao::Linear, Interpolacao::Cubica,
                                     Interpolacao::Lanczos};
    std::vector<double> deformar[3][2];
    double somaDasEntradas = 0;
    for (int vez = 0; vez <= vezes; ++vez)
        for (const Imagem& foto : fotos)
            for (int f = 0; f < 3; ++f)
                for (int k = 0; k < 2; ++k) {
                    const int curvo = (k + vez) % 2; // each goes first every other round
                    const auto m = porTamanho[curvo].para(cv::Size(foto->width, foto->height));
                    if (m == nullptr) return falha(motivoFalha());
                    // Read into the cache first, as a batch worker's warp finds the image
                    // its decoder has just written.
                    somaDasEntradas += cv::sum(cv::cvarrToMat(foto.get()))[0];
                    Imagem saidaDoWarp;
                    const double ms = bancada::tempoMs(
                        [&] { saidaDoWarp = morphInterpolado(foto.get(), *m, filtros[f]); });
                    if (saidaDoWarp == nullptr) return falha(motivoFalha());
                    if (vez > 0) deformar[f][curvo].push_back(ms);
                }
    std::printf("entrada=%dx%d imagens=%zu vezes=%d threads=%d triangulos_planos=%zu "
                "mapas_plano=%.3f mapas_suave=%.3f razao_mapas=%.2f",
                entrada.width, entrada.height, nomes.size(), vezes, cv::getNumThreads(),
                mapas[1]->planos.size(), mediana(montar[0]), mediana(montar[1]),
                mediana(montar[1]) / mediana(montar[0]));
    std::printf(" soma=%.0f", somaDasEntradas);
    const char* const nomesDosFiltros[3] = {"linear", "cubico", "lanczos"};
    for (int f = 0; f < 3; ++f)
        std::printf(" %s_plano=%.3f %s_suave=%.3f razao_%s=%.3f", nomesDosFiltros[f],
                    mediana(deformar[f][0]), nomesDosFiltros[f], mediana(deformar[f][1]),
                    nomesDosFiltros[f], mediana(deformar[f][1]) / mediana(deformar[f][0]));
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* const uso = "uso: bancada_piso imagens ENTRADA PASTA N QUALIDADE\n"
                            "     bancada_piso medir PASTA VEZES IMAGEM...\n"
                            "     bancada_piso suave PASTA VEZES IMAGEM...\n";
    try {
        if (argc == 6 && std::strcmp(argv[1], "imagens") == 0) {
            const int n = std::atoi(argv[4]), qualidade = std::atoi(argv[5]);
            if (n < 1 || qualidade < 1 || qualidade > 100)
                return falha(std::string("número ou qualidade inválidos \"") + argv[4] + " " +
                             argv[5] + "\"");
            return imagens(argv[2], argv[3], n, qualidade);
        }
        if (argc >= 5 && std::strcmp(argv[1], "medir") == 0) {
            const int vezes = std::atoi(argv[3]);
            if (vezes < 1) return falha(std::string("repetições inválidas \"") + argv[3] + "\"");
            return medir(argv[2], vezes, std::vector<std::string>(argv + 4, argv + argc));
        }
        if (argc >= 5 && std::strcmp(argv[1], "suave") == 0) {
            const int vezes = std::atoi(argv[3]);
            if (vezes < 1) return falha(std::string("repetições inválidas \"") + argv[3] + "\"");
            return suave(argv[2], vezes, std::vector<std::string>(argv + 4, argv + argc));
        }
    } catch (const cv::Exception& e) {
        return falha(std::string("erro da biblioteca de imagens: ") + e.what());
    }
    std::fputs(uso, stderr);
    return 2;
}
