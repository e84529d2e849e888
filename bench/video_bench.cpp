// corrigir-video on a 1920x1080 H.264 clip made here (OpenCV's writer over FFmpeg, its default
// settings), against the floor of any program that decodes that clip and encodes 436 x 436
// frames: the same decoding and encoding with nothing between them, on two threads at once as
// the program's pipeline runs them, measured in the same run. Prints frames per second of each
// and the ratios; the three take turns, and each keeps its best round (other work on the
// machine can only slow a round down).
//
//   bancada_video [QUADROS [RODADAS [PASTA]]]   default 240 frames (8 s at 30 frames/s),
//                                               3 rounds; PASTA, when given, is the work
//                                               folder (made, and kept afterwards: the clip
//                                               "entrada.mp4" in a workspace)
//
// The mesh: 63 nodes on rings over the enlarged frame (bench/circle_mesh.h), written as a
// workspace's files with a 436 x 436 pattern. Output .mp4 (H.264), as a user would ask.
#include "bench/bench_timer.h"
#include "bench/circle_mesh.h"
#include "mesh/mesh_store.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace corretor;

namespace {

const cv::Size kEntrada(1920, 1080), kSaida(436, 436);
const int kH264 = cv::VideoWriter::fourcc('a', 'v', 'c', '1');

// A smooth picture in a circular field that turns and drifts from frame to frame, as a
// fibrescope's does.
bool gravarClipe(const std::string& nome, int quadros)
{
    cv::Mat textura(kEntrada.height + 200, kEntrada.width + 200, CV_8UC3);
    cv::randu(textura, 0, 256);
    cv::GaussianBlur(textura, textura, cv::Size(0, 0), 4);
    cv::normalize(textura, textura, 0, 255, cv::NORM_MINMAX);
    cv::Mat campo(kEntrada, CV_8UC1, cv::Scalar(0));
    cv::circle(campo, cv::Point(960, 540), 530, cv::Scalar(255), -1, cv::LINE_AA);
    cv::VideoWriter video(nome, cv::CAP_FFMPEG, kH264, 30, kEntrada);
    if (!video.isOpened()) return false;
    for (int k = 0; k < quadros; ++k) {
        cv::Mat girada, quadro(kEntrada, CV_8UC3, cv::Scalar(0, 0, 0));
        cv::Mat giro = cv::getRotationMatrix2D(cv::Point2f(1060, 640), 0.4 * k, 1.0);
        giro.at<double>(0, 2) += 2 * k % 100 - 100, giro.at<double>(1, 2) -= 100;
        cv::warpAffine(textura, girada, giro, kEntrada, cv::INTER_LINEAR, cv::BORDER_REFLECT);
        girada.copyTo(quadro, campo);
        video.write(quadro);
    }
    return true;
}

// The workspace's files from the mesh store and a 436 x 436 pattern.
void gravarAreaDeTrabalho(const fs::path& pasta, int triangulos)
{
    fs::create_directories(pasta / "data");
    fs::create_directories(pasta / "matrix");
    std::ofstream origem(pasta / "data/verticesamp4.txt"), destino(pasta / "data/vertices2.txt");
    for (int k = 1; k < kNos; ++k) {
        origem << vert[k][0] << ' ' << vert[k][1] << '\n';
        destino << vert2[k][0] << ' ' << vert2[k][1] << '\n';
    }
    std::ofstream lista(pasta / "data/quelvarina.txt");
    for (int t = 0; t < triangulos; ++t)
        lista << trg[t][0] << ' ' << trg[t][1] << ' ' << trg[t][2] << '\n';
    for (int t = 0; t < kTriangulos; ++t) {
        std::ofstream mapa(pasta / ("matrix/" + std::to_string(t) + ".txt"));
        char linha[200];
        for (const auto& l : matrix[t].mat) {
            std::snprintf(linha, sizeof linha, "%.9g %.9g %.9g\n", l[0], l[1], l[2]);
            mapa << linha;
        }
    }
    cv::Mat padrao(kSaida, CV_8UC3, cv::Scalar(40, 80, 120));
    cv::circle(padrao, cv::Point(218, 218), 150, cv::Scalar(200, 220, 240), 9);
    cv::imwrite((pasta / "data/pattern.jpg").string(), padrao);
}

// Decodes `entrada` and encodes `saida` at once, the decoder on a thread of its own handing
// each frame over as it comes; the encoder writes the frames in `corrigidos`, in turn, so that
// it does the work the program's encoder does. Returns the frames encoded.
int decodificarECodificar(const std::string& entrada, const std::string& saida,
                          const std::vector<cv::Mat>& corrigidos)
{
    std::mutex trava;
    std::condition_variable mudou;
    std::deque<cv::Mat> prontos;
    bool fim = false;
    std::thread leitor([&] {
        cv::VideoCapture video(entrada, cv::CAP_FFMPEG);
        for (cv::Mat quadro; video.read(quadro); quadro = cv::Mat()) {
            std::unique_lock<std::mutex> vez(trava);
            mudou.wait(vez, [&] { return prontos.size() < 6; });
            prontos.push_back(quadro);
            mudou.notify_all();
        }
        const std::lock_guard<std::mutex> vez(trava);
        fim = true;
        mudou.notify_all();
    });
    cv::VideoWriter video(saida, cv::CAP_FFMPEG, kH264, 30, kSaida);
    int n = 0;
    for (;;) {
        std::unique_lock<std::mutex> vez(trava);
        mudou.wait(vez, [&] { return fim || !prontos.empty(); });
        if (prontos.empty()) break;
        prontos.pop_front();
        mudou.notify_all();
        vez.unlock();
        video.write(corrigidos[n++ % corrigidos.size()]);
    }
    leitor.join();
    return n;
}

int contarQuadros(const std::string& nome)
{
    cv::VideoCapture video(nome, cv::CAP_FFMPEG);
    return static_cast<int>(video.get(cv::CAP_PROP_FRAME_COUNT));
}

} // namespace

int main(int argc, char** argv)
{
    const int quadros = argc > 1 ? std::atoi(argv[1]) : 240;
    const int rodadas = argc > 2 ? std::atoi(argv[2]) : 3;
    if (quadros < 1 || rodadas < 1) {
        std::fprintf(stderr, "uso: bancada_video [QUADROS [RODADAS]]\n");
        return 2;
    }
    setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 1);
    const bool manter = argc > 3;
    std::string modelo = (fs::temp_directory_path() / "bancada-video-XXXXXX").string();
    if (manter) {
        modelo = argv[3];
        fs::create_directories(modelo);
    } else if (mkdtemp(modelo.data()) == nullptr) {
        std::fprintf(stderr, "bancada_video: não foi possível criar uma pasta temporária\n");
        return 1;
    }
    const fs::path pasta = fs::absolute(modelo);
    const std::string entrada = (pasta / "entrada.mp4").string();
    if (!gravarClipe(entrada, quadros)) {
        std::fprintf(stderr, "bancada_video: o codificador H.264 não está disponível\n");
        return 1;
    }
    gravarAreaDeTrabalho(pasta,
                         bancada::preencherMalhaCircular(4 * kEntrada.width, 4 * kEntrada.height));

    const auto programa = [&](const std::string& opcoes) {
        const std::string comando = "cd '" + pasta.string() + "' && '" CORRIGIR_VIDEO_PATH "' " +
                                    opcoes + " entrada.mp4 saida.mp4 >/dev/null 2>&1";
        return [comando] {
            if (std::system(comando.c_str()) != 0) {
                std::fprintf(stderr, "bancada_video: falhou: %s\n", comando.c_str());
                std::exit(1);
            }
        };
    };
    // The corrected frames, for the encoder of the floor to encode.
    programa("--interpolado")();
    std::vector<cv::Mat> corrigidos;
    {
        cv::VideoCapture video((pasta / "saida.mp4").string(), cv::CAP_FFMPEG);
        for (cv::Mat quadro; video.read(quadro);)
            corrigidos.push_back(quadro.clone());
    }
    if (static_cast<int>(corrigidos.size()) != quadros) {
        std::fprintf(stderr, "bancada_video: %zu de %d quadros corrigidos\n", corrigidos.size(),
                     quadros);
        return 1;
    }

    double piso = 1e30, interpolado = 1e30, direto = 1e30, soDecodificar = 1e30, soCodificar = 1e30;
    const std::string piloto = (pasta / "piso.mp4").string();
    for (int r = 0; r < rodadas; ++r) {
        piso = std::min(
            piso, bancada::tempoMs([&] { decodificarECodificar(entrada, piloto, corrigidos); }));
        soDecodificar = std::min(soDecodificar, bancada::tempoMs([&] {
                                     cv::VideoCapture video(entrada, cv::CAP_FFMPEG);
                                     for (cv::Mat quadro; video.read(quadro);) {
                                     }
                                 }));
        soCodificar = std::min(soCodificar, bancada::tempoMs([&] {
                                   cv::VideoWriter video(piloto, cv::CAP_FFMPEG, kH264, 30, kSaida);
                                   for (const auto& quadro : corrigidos)
                                       video.write(quadro);
                               }));
        interpolado = std::min(interpolado, bancada::tempoMs(programa("--interpolado")));
        direto = std::min(direto, bancada::tempoMs(programa("")));
    }
    const bool inteiro = contarQuadros((pasta / "saida.mp4").string()) == quadros &&
                         contarQuadros(piloto) == quadros;
    const auto porSegundo = [quadros](double ms) { return quadros * 1000.0 / ms; };
    std::printf("%d quadros 1920x1080 H.264 -> 436x436 H.264, melhor de %d rodadas\n", quadros,
                rodadas);
    std::printf("%-46s %10s %10s\n", "", "quadros/s", "razão");
    std::printf("%-46s %10.1f\n", "só decodificar", porSegundo(soDecodificar));
    std::printf("%-46s %10.1f\n", "só codificar", porSegundo(soCodificar));
    std::printf("%-46s %10.1f %10.2f\n", "piso: decodificar + codificar, ao mesmo tempo",
                porSegundo(piso), 1.0);
    std::printf("%-46s %10.1f %10.2f\n", "corrigir-video --interpolado", porSegundo(interpolado),
                interpolado / piso);
    std::printf("%-46s %10.1f %10.2f\n", "corrigir-video (direta)", porSegundo(direto),
                direto / piso);
    std::printf("(razão = tempo / tempo do piso; %u núcleos; saídas inteiras: %s)\n",
                std::thread::hardware_concurrency(), inteiro ? "sim" : "NÃO");
    if (!manter) fs::remove_all(pasta);
    return inteiro ? 0 : 1;
}
