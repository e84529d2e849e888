// This system's warp against the usual ways of warping an image through a triangle mesh with
// OpenCV, on one workspace's mesh and image; run by bench/peers.sh.
//
//   bancada_pares preparar DEMO PASTA LARGURA ALTURA
//       Makes PASTA a copy of the workspace DEMO for an image of LARGURA x ALTURA: the pattern,
//       target nodes and triangles as they are, the source nodes stretched from DEMO's
//       enlargement onto the new one, "entrada.jpg" (DEMO's "amostra.jpg" resized) and
//       "ampliada.ppm" (its enlargement, for the scikit-image script). The maps are left to
//       "malha matrizes --substituir", run in PASTA.
//   bancada_pares medir PASTA [VEZES]
//       Loads PASTA's mesh with the system's loader, enlarges "entrada.jpg" as the correction
//       does and prints one line of "chave=valor" fields: the median milliseconds of each warp
//       onto the pattern's size (the warps taking turns, VEZES rounds after one untimed run of
//       each), the copy rate of memory and the floor it gives one warp.
//
// What each warp is (all take the enlargement, 8-bit BGR, and give an image of the pattern's
// size):
//   sistema      morphPara: every source pixel moved forward through its triangle's map.
//   afim_float   the usual per-triangle code: the enlargement converted to float once; for each
//                triangle, cv::warpAffine of its source bounding box (a view, not copied) onto
//                its target bounding box, bilinear, then blended in through an anti-aliased
//                float mask of the target triangle; the result converted back to 8 bits. The
//                two conversions are part of the job and are timed.
//   afim_float_novo  the same converting into new memory every time (the first touch of its
//                pages is then timed too), as a program that converts every image it loads.
//   afim_8bits   the same on the 8-bit enlargement, the triangle mask a 0/255 image used by
//                copyTo (no conversions).
//   afim_copia   afim_8bits with each source bounding box copied out first, as the usual
//                example code does (img(r).copyTo(recorte)).
//   remap        cv::remap, bilinear, with the fixed-point map pair (CV_16SC2 + CV_16UC1)
//                precomputed from each triangle's inverse map; building the maps is not timed.
// The peers interpolate backward over the output, so their cost follows the output's size;
// this warp moves every source pixel, so its cost follows the enlargement's size.
#include "bench/bench_timer.h"
#include "correction/stages.h"
#include "correction/warp_interpolado.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace corretor;

namespace {

struct Triangulo
{
    cv::Point2f origem[3];  // in the enlargement (x = column, y = row)
    cv::Point2f destino[3]; // in the pattern
};

// The triangles of the loaded mesh that have an area in both meshes.
std::vector<Triangulo> triangulosDaMalha()
{
    std::vector<Triangulo> lista;
    for (int t = 0; t < kTriangulos; ++t) {
        Triangulo tri;
        for (int v = 0; v < 3; ++v) {
            const int n = trg[t][v];
            tri.origem[v] =
                cv::Point2f(static_cast<float>(vert[n][0]), static_cast<float>(vert[n][1]));
            tri.destino[v] =
                cv::Point2f(static_cast<float>(vert2[n][0]), static_cast<float>(vert2[n][1]));
        }
        const auto area = [](const cv::Point2f* p) {
            return std::abs((p[1] - p[0]).cross(p[2] - p[0]));
        };
        if (area(tri.origem) > 0 && area(tri.destino) > 0) lista.push_back(tri);
    }
    return lista;
}

// A triangle's bounding box in a picture of `tamanho`, clipped to it, and the corners relative
// to the box's top-left.
cv::Rect caixa(const cv::Point2f* p, cv::Size tamanho, cv::Point2f* relativos)
{
    const std::vector<cv::Point2f> pontos(p, p + 3);
    const cv::Rect r = cv::boundingRect(pontos) & cv::Rect(cv::Point(), tamanho);
    for (int v = 0; v < 3; ++v)
        relativos[v] = p[v] - cv::Point2f(static_cast<float>(r.x), static_cast<float>(r.y));
    return r;
}

enum class Forma { Float, FloatNovo, OitoBits, Copia };

// The per-triangle warpAffine job; `saida` receives the 8-bit result.
void afimPorTriangulo(const cv::Mat& ampliada, const std::vector<Triangulo>& malha,
                      cv::Size tamanho, Forma forma, cv::Mat& saida)
{
    // The float copy of the enlargement keeps its memory from one run to the next, so that
    // only the conversion, not the first touch of fresh pages, is timed; FloatNovo converts
    // into new memory every time, as a program that converts each image it loads does.
    static cv::Mat emFloat;
    const bool emFloatPontual = forma == Forma::Float || forma == Forma::FloatNovo;
    cv::Mat fonte = ampliada, acumulada;
    if (forma == Forma::FloatNovo) emFloat.release();
    if (emFloatPontual) {
        ampliada.convertTo(emFloat, CV_32FC3);
        fonte = emFloat;
        acumulada = cv::Mat::zeros(tamanho, CV_32FC3);
    } else {
        saida = cv::Mat::zeros(tamanho, CV_8UC3);
    }
    cv::Mat recorte, pedaco, mascara;
    for (const auto& tri : malha) {
        cv::Point2f de[3], para[3];
        const cv::Rect r1 = caixa(tri.origem, fonte.size(), de);
        const cv::Rect r2 = caixa(tri.destino, tamanho, para);
        if (r1.empty() || r2.empty()) continue;
        if (forma == Forma::Copia)
            fonte(r1).copyTo(recorte);
        else
            recorte = fonte(r1);
        const cv::Mat m = cv::getAffineTransform(de, para);
        cv::warpAffine(recorte, pedaco, m, r2.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT_101);
        cv::Point cantos[3];
        for (int v = 0; v < 3; ++v)
            cantos[v] = cv::Point(cvRound(para[v].x), cvRound(para[v].y));
        if (emFloatPontual) {
            mascara = cv::Mat::zeros(r2.size(), CV_32FC3);
            cv::fillConvexPoly(mascara, cantos, 3, cv::Scalar::all(1.0), cv::LINE_AA);
            cv::multiply(pedaco, mascara, pedaco);
            cv::Mat alvo = acumulada(r2);
            cv::multiply(alvo, cv::Scalar::all(1.0) - mascara, alvo);
            alvo += pedaco;
        } else {
            mascara = cv::Mat::zeros(r2.size(), CV_8U);
            cv::fillConvexPoly(mascara, cantos, 3, cv::Scalar(255));
            pedaco.copyTo(saida(r2), mascara);
        }
    }
    if (emFloatPontual) acumulada.convertTo(saida, CV_8UC3);
}

// The backward maps of the mesh for cv::remap: each output pixel inside a target triangle
// gets the source point of that triangle's inverse map; the others point outside the source.
void mapasDeRemap(const std::vector<Triangulo>& malha, cv::Size tamanho, cv::Mat& mapa1,
                  cv::Mat& mapa2)
{
    cv::Mat rotulos(tamanho, CV_16S, cv::Scalar(-1));
    for (size_t t = 0; t < malha.size(); ++t) {
        cv::Point cantos[3];
        for (int v = 0; v < 3; ++v)
            cantos[v] = cv::Point(cvRound(malha[t].destino[v].x), cvRound(malha[t].destino[v].y));
        cv::fillConvexPoly(rotulos, cantos, 3, cv::Scalar(static_cast<double>(t)));
    }
    std::vector<cv::Mat> inversas;
    inversas.reserve(malha.size());
    for (const auto& tri : malha)
        inversas.push_back(cv::getAffineTransform(tri.destino, tri.origem));
    cv::Mat mapa(tamanho, CV_32FC2);
    for (int y = 0; y < tamanho.height; ++y)
        for (int x = 0; x < tamanho.width; ++x) {
            const int t = rotulos.at<short>(y, x);
            cv::Vec2f& p = mapa.at<cv::Vec2f>(y, x);
            if (t < 0) {
                p = cv::Vec2f(-10, -10);
                continue;
            }
            const cv::Mat& m = inversas[static_cast<size_t>(t)];
            p[0] = static_cast<float>(m.at<double>(0, 0) * x + m.at<double>(0, 1) * y +
                                      m.at<double>(0, 2));
            p[1] = static_cast<float>(m.at<double>(1, 0) * x + m.at<double>(1, 1) * y +
                                      m.at<double>(1, 2));
        }
    cv::convertMaps(mapa, cv::noArray(), mapa1, mapa2, CV_16SC2);
}

// The median milliseconds of each job, the jobs taking turns: one untimed run of each, then
// `vezes` rounds in which each runs once, so that other work on the machine falls on all alike.
// Before each run of job k, `antes[k]` (when given) runs untimed: a job whose cost depends on
// what the caches hold then starts from the same state whichever job ran before it.
std::vector<double> medianasEmTurnos(int vezes, const std::vector<std::function<void()>>& jobs,
                                     const std::vector<std::function<void()>>& antes)
{
    std::vector<std::vector<double>> tempos(jobs.size());
    for (const auto& job : jobs)
        job();
    for (int vez = 0; vez < vezes; ++vez)
        for (size_t k = 0; k < jobs.size(); ++k) {
            if (k < antes.size() && antes[k]) antes[k]();
            tempos[k].push_back(bancada::tempoMs(jobs[k]));
        }
    std::vector<double> medianas;
    for (auto& t : tempos) {
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        medianas.push_back(t[t.size() / 2]);
    }
    return medianas;
}

// The memory copy rate in bytes copied per second: the best of repeated copies of 256 MiB,
// split over every thread OpenCV uses (the warp uses them all).
double taxaDeCopia()
{
    const size_t n = size_t{256} << 20;
    std::vector<char> de(n, 1), para(n, 0);
    const int partes = std::max(1, cv::getNumThreads());
    double melhor = 1e30;
    for (int k = 0; k < 9; ++k) {
        const double ms = bancada::tempoMs([&] {
            cv::parallel_for_(cv::Range(0, partes), [&](const cv::Range& r) {
                for (int p = r.start; p < r.end; ++p) {
                    const size_t inicio = n / partes * p,
                                 fim = p + 1 == partes ? n : n / partes * (p + 1);
                    std::memcpy(para.data() + inicio, de.data() + inicio, fim - inicio);
                }
            });
        });
        melhor = std::min(melhor, ms);
    }
    return static_cast<double>(n) / (melhor / 1000.0);
}

// Mean absolute difference, per sample, between two results over the pixels of the field
// circle that both reached (not black in either).
double diferencaNoCampo(const cv::Mat& a, const cv::Mat& b)
{
    double soma = 0;
    long n = 0;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x) {
            if ((x - 218) * (x - 218) + (y - 218) * (y - 218) >= 210 * 210) continue;
            const cv::Vec3b& p = a.at<cv::Vec3b>(y, x);
            const cv::Vec3b& q = b.at<cv::Vec3b>(y, x);
            if (p == cv::Vec3b() || q == cv::Vec3b()) continue;
            for (int s = 0; s < 3; ++s)
                soma += std::abs(int{p[s]} - int{q[s]});
            n += 3;
        }
    return n == 0 ? -1 : soma / static_cast<double>(n);
}

int falha(const std::string& motivo)
{
    std::fprintf(stderr, "bancada_pares: erro: %s\n", motivo.c_str());
    return 1;
}

bool lerPares(const fs::path& arquivo, std::vector<cv::Point>& pares)
{
    std::ifstream entrada(arquivo);
    int x, y;
    while (entrada >> x >> y)
        pares.emplace_back(x, y);
    return entrada.eof() && !pares.empty();
}

int preparar(const fs::path& demo, const fs::path& pasta, int largura, int altura)
{
    const cv::Mat amostra = cv::imread((demo / "amostra.jpg").string(), cv::IMREAD_COLOR);
    if (amostra.empty())
        return falha("não foi possível ler \"" + (demo / "amostra.jpg").string() + "\"");
    std::vector<cv::Point> nos;
    if (!lerPares(demo / "data/verticesamp4.txt", nos))
        return falha("não foi possível ler \"" + (demo / "data/verticesamp4.txt").string() + "\"");
    std::error_code erro;
    fs::create_directories(pasta / "data", erro);
    for (const char* nome : {"data/pattern.jpg", "data/vertices2.txt", "data/quelvarina.txt"})
        if (!erro)
            fs::copy_file(demo / nome, pasta / nome, fs::copy_options::overwrite_existing, erro);
    if (erro)
        return falha("não foi possível preparar \"" + pasta.string() + "\": " + erro.message());

    // Source nodes from the demo's enlargement onto this one, border onto border.
    const double sx = (4.0 * largura - 1) / (4.0 * amostra.cols - 1);
    const double sy = (4.0 * altura - 1) / (4.0 * amostra.rows - 1);
    std::ofstream origem(pasta / "data/verticesamp4.txt");
    for (const auto& p : nos)
        origem << cvRound(p.x * sx) << ' ' << cvRound(p.y * sy) << '\n';
    origem.close();

    cv::Mat entrada;
    cv::resize(amostra, entrada, cv::Size(largura, altura), 0, 0, cv::INTER_LINEAR);
    if (!origem || !cv::imwrite((pasta / "entrada.jpg").string(), entrada))
        return falha("não foi possível gravar em \"" + pasta.string() + "\"");
    // The enlargement of the image as the correction loads it, as binary PPM (RGB).
    const Imagem lida = abrir((pasta / "entrada.jpg").c_str());
    if (lida == nullptr) return falha(motivoFalha());
    const Imagem duas = ampliaQuatroVezes(lida.get());
    cv::Mat rgb;
    cv::cvtColor(cv::cvarrToMat(duas.get()), rgb, cv::COLOR_BGR2RGB);
    std::ofstream ppm(pasta / "ampliada.ppm", std::ios::binary);
    ppm << "P6\n" << rgb.cols << ' ' << rgb.rows << "\n255\n";
    for (int y = 0; y < rgb.rows; ++y)
        ppm.write(reinterpret_cast<const char*>(rgb.ptr(y)),
                  static_cast<std::streamsize>(rgb.cols) * 3);
    if (!ppm) return falha("não foi possível gravar \"" + (pasta / "ampliada.ppm").string() + "\"");
    return 0;
}

// The rounded destinations of the columns of one source row under one map, as the warp forms
// them (in double, narrowed to float, truncated, plus one above one half), summed. Written so
// that the compiler vectorises it (eight columns at a time with AVX2).
#if defined(__x86_64__)
__attribute__((target("avx2")))
#endif
int somaDaLinha(double a, double b, double c, double d, double e, double f, int largura)
{
    int soma = 0;
    for (int j = 0; j < largura; ++j) {
        const float x = static_cast<float>((a * j + b) + c);
        const float y = static_cast<float>((d * j + e) + f);
        const int xi = static_cast<int>(x), yi = static_cast<int>(y);
        soma += xi + (x - static_cast<float>(xi) > 0.5f) + yi + (y - static_cast<float>(yi) > 0.5f);
    }
    return soma;
}

// The compute floor of a forward warp: every source pixel's destination formed as the warp
// forms it, through one map, nothing located, tested or written; split over every thread
// OpenCV uses. Returns the sum of the destinations, so that the work is not optimised away.
long pisoDeCalculo(cv::Size ampliacao, const float (&m)[2][3])
{
    std::vector<long> somas(static_cast<size_t>(ampliacao.height));
    cv::parallel_for_(cv::Range(0, ampliacao.height), [&](const cv::Range& linhas) {
        for (int i = linhas.start; i < linhas.end; ++i) {
            const double b = static_cast<double>(m[0][1]) * i;
            const double e = static_cast<double>(m[1][1]) * i;
            somas[static_cast<size_t>(i)] =
                somaDaLinha(m[0][0], b, m[0][2], m[1][0], e, m[1][2], ampliacao.width);
        }
    });
    long total = 0;
    for (const long s : somas)
        total += s;
    return total;
}

int medir(const fs::path& pasta, int vezes, int vezesDireto)
{
    std::error_code erro;
    fs::current_path(pasta, erro);
    if (erro) return falha("não foi possível entrar em \"" + pasta.string() + "\"");
    carregaVetorVertices();
    if (houveFalha()) return falha(motivoFalha());
    const Imagem entrada = abrir("entrada.jpg");
    const Imagem padrao = entrada ? abrir("data/pattern.jpg") : nullptr;
    if (padrao == nullptr) return falha(motivoFalha());
    const Imagem ampliada = ampliaQuatroVezes(entrada.get());
    const cv::Mat fonte = cv::cvarrToMat(ampliada.get()), carregada = cv::cvarrToMat(entrada.get());
    const cv::Size tamanho(padrao->width, padrao->height);
    const std::vector<Triangulo> malha = triangulosDaMalha();

    // The interpolated mode's maps, built once as a batch builds them; timed apart.
    std::shared_ptr<const MapasInterpolados> mapas;
    const double montagem = bancada::medianaMs(
        std::max(1, vezes / 4), [&] { mapas = montarMapas(carregada.size(), tamanho); });
    if (mapas == nullptr) return falha(motivoFalha());

    Imagem nosso, interpolados[3];
    const Interpolacao filtros[3] = {Interpolacao::Linear, Interpolacao::Cubica,
                                     Interpolacao::Lanczos};
    const int metodos[3] = {cv::INTER_LINEAR, cv::INTER_CUBIC, cv::INTER_LANCZOS4};
    cv::Mat saidaFloat, saida8, saidaCopia, saidaRemap, saidaMesmos, mapa1, mapa2;
    mapasDeRemap(malha, tamanho, mapa1, mapa2);
    long soma = 0;
    std::vector<std::function<void()>> jobs = {
        [&] {
            nosso.reset();
            nosso = morphPara(ampliada.get(), cvGetSize(padrao.get()), IPL_DEPTH_8U, nullptr);
        },
        [&] { soma += pisoDeCalculo(fonte.size(), matrix[0].mat); },
        [&] { afimPorTriangulo(fonte, malha, tamanho, Forma::Float, saidaFloat); },
        [&] { afimPorTriangulo(fonte, malha, tamanho, Forma::FloatNovo, saidaFloat); },
        [&] { afimPorTriangulo(fonte, malha, tamanho, Forma::OitoBits, saida8); },
        [&] { afimPorTriangulo(fonte, malha, tamanho, Forma::Copia, saidaCopia); },
        [&] { cv::remap(fonte, saidaRemap, mapa1, mapa2, cv::INTER_LINEAR, cv::BORDER_CONSTANT); }};
    for (int f = 0; f < 3; ++f) {
        jobs.push_back([&, f] {
            interpolados[f].reset();
            interpolados[f] = morphInterpolado(entrada.get(), *mapas, filtros[f]);
        });
        jobs.push_back([&, f] {
            cv::remap(carregada, saidaMesmos, mapas->inteiros, mapas->fracoes, metodos[f],
                      cv::BORDER_REPLICATE);
        });
    }
    // The interpolated warps and their remap peers read the loaded image, a few megabytes: each
    // starts with it read into the cache, as a batch worker's warp finds the image its decoder
    // has just written. Otherwise whichever ran first would also pay for bringing it in, and
    // that cost grows with the input (the warp and the remap after it would not compare).
    const auto lerEntrada = [&carregada, &soma] {
        soma += static_cast<long>(cv::sum(carregada)[0]);
    };
    std::vector<std::function<void()>> antes(jobs.size());
    std::fill(antes.begin() + 7, antes.end(), lerEntrada);
    const std::vector<double> ms = medianasEmTurnos(vezes, jobs, antes);
    // The straightforward forward warp, on one core: far slower, so timed apart.
    Imagem direto;
    const double msDireto = bancada::medianaMs(vezesDireto, [&] {
        direto.reset();
        direto = morphDireto(ampliada.get(), cvGetSize(padrao.get()), IPL_DEPTH_8U);
    });
    const cv::Mat resultado = cv::cvarrToMat(nosso.get());
    const bool mesmosBytes = cv::norm(resultado, cv::cvarrToMat(direto.get()), cv::NORM_INF) == 0;

    // The floor: the enlargement read once and the output written once, at the copy rate
    // (a copy reads and writes each byte, so it moves twice the bytes it copies).
    const double bytes = static_cast<double>(fonte.total() * fonte.elemSize()) +
                         static_cast<double>(tamanho.area()) * 3;
    const double taxa = taxaDeCopia();
    const double piso = bytes / (2 * taxa) * 1000.0;

    std::printf("entrada=%dx%d ampliacao=%dx%d padrao=%dx%d triangulos=%zu vezes=%d "
                "vezes_direto=%d sistema=%.3f piso_calculo=%.3f afim_float=%.3f "
                "afim_float_novo=%.3f afim_8bits=%.3f afim_copia=%.3f remap=%.3f "
                "interp_linear=%.3f remap_linear=%.3f interp_cubico=%.3f remap_cubico=%.3f "
                "interp_lanczos=%.3f remap_lanczos=%.3f montar_mapas=%.3f direto=%.3f "
                "direto_igual=%d copia_gbs=%.2f bytes=%.0f piso=%.3f "
                "dif_afim_float=%.2f dif_afim_8bits=%.2f dif_remap=%.2f soma=%ld\n",
                entrada->width, entrada->height, fonte.cols, fonte.rows, tamanho.width,
                tamanho.height, malha.size(), vezes, vezesDireto, ms[0], ms[1], ms[2], ms[3], ms[4],
                ms[5], ms[6], ms[7], ms[8], ms[9], ms[10], ms[11], ms[12], montagem, msDireto,
                mesmosBytes ? 1 : 0, taxa / 1e9, bytes, piso,
                diferencaNoCampo(resultado, saidaFloat), diferencaNoCampo(resultado, saida8),
                diferencaNoCampo(resultado, saidaRemap), soma);
    if (std::getenv("BANCADA_IMAGENS") != nullptr) {
        cv::imwrite("sistema.png", resultado);
        cv::imwrite("afim_float.png", saidaFloat);
        cv::imwrite("afim_8bits.png", saida8);
        cv::imwrite("remap.png", saidaRemap);
        cv::imwrite("interpolado.png", cv::cvarrToMat(interpolados[1].get()));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* const uso = "uso: bancada_pares preparar DEMO PASTA LARGURA ALTURA\n"
                            "     bancada_pares medir PASTA [VEZES [VEZES_DIRETO]]\n";
    try {
        if (argc == 6 && std::strcmp(argv[1], "preparar") == 0) {
            const int largura = std::atoi(argv[4]), altura = std::atoi(argv[5]);
            if (largura < 1 || altura < 1)
                return falha(std::string("tamanho inválido \"") + argv[4] + "x" + argv[5] + "\"");
            return preparar(argv[2], argv[3], largura, altura);
        }
        if ((argc == 3 || argc == 4 || argc == 5) && std::strcmp(argv[1], "medir") == 0) {
            const int vezes = argc >= 4 ? std::atoi(argv[3]) : 21;
            const int vezesDireto = argc == 5 ? std::atoi(argv[4]) : 1;
            if (vezes < 1 || vezesDireto < 1)
                return falha(std::string("repetições inválidas \"") + argv[3] + "\"");
            return medir(argv[2], vezes, vezesDireto);
        }
    } catch (const cv::Exception& e) {
        return falha(std::string("erro da biblioteca de imagens: ") + e.what());
    }
    std::fputs(uso, stderr);
    return 2;
}
