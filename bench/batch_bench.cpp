// The two ways of spending both cores on a batch, measured in one run: images corrected one at
// a time with the enlargement and the warp on every core, against one image per core with
// those loops on one thread each. Same images, same mesh (98 triangles over the field of the
// enlargement), same JPEG results; prints images per second for each (the best of five runs
// taken in turns) and their ratio.
//
//   bancada_lote [IMAGENS]   (default 12 images of each size)
#include "bench/bench_timer.h"
#include "bench/circle_mesh.h"
#include "correction/batch.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    const int quantas = argc > 1 ? std::atoi(argv[1]) : 12;
    if (quantas < 1) {
        std::fprintf(stderr, "bancada_lote: número de imagens inválido \"%s\"\n", argv[1]);
        return 2;
    }
    std::string modelo = (fs::temp_directory_path() / "bancada-lote-XXXXXX").string();
    if (mkdtemp(modelo.data()) == nullptr) {
        std::fprintf(stderr, "bancada_lote: não foi possível criar uma pasta temporária\n");
        return 1;
    }
    const fs::path pasta = modelo;
    const int nucleos = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    cv::Mat padraoPixels(436, 436, CV_8UC3, cv::Scalar(40, 80, 120));
    IplImage padrao = cvIplImage(padraoPixels);

    std::printf("%-10s %8s %22s %22s %7s\n", "entrada", "imagens", "uma a uma (imagens/s)",
                "uma por núcleo (im/s)", "razão");
    const int tamanhos[][2] = {{110, 110}, {640, 480}, {1920, 1080}};
    for (const auto& t : tamanhos) {
        bancada::preencherMalhaCircular(4 * t[0], 4 * t[1]);
        cv::Mat foto(t[1], t[0], CV_8UC3);
        cv::randu(foto, 0, 256);
        cv::GaussianBlur(foto, foto, cv::Size(5, 5), 0); // something a JPEG file could hold
        std::vector<std::string> imagens;
        for (int k = 0; k < quantas; ++k) {
            imagens.push_back((pasta / ("foto" + std::to_string(k) + ".jpg")).string());
            cv::imwrite(imagens.back(), foto);
        }
        const std::string saida = (pasta / "resultados").string();
        fs::create_directories(saida);
        const auto lote = [&](int trabalhadores) {
            return [&imagens, &saida, &padrao, trabalhadores] {
                corretor::corrigirLote(imagens, saida, &padrao, trabalhadores, nullptr, nullptr);
            };
        };
        // The two designs take turns, and each keeps its best run: other work on the machine
        // can only slow a run down, so the best is the nearest to the design's own cost.
        double melhorUma = 1e30, melhorPorNucleo = 1e30;
        for (int vez = 0; vez < 5; ++vez) {
            melhorUma = std::min(melhorUma, bancada::medianaMs(1, lote(1)));
            melhorPorNucleo = std::min(melhorPorNucleo, bancada::medianaMs(1, lote(nucleos)));
        }
        const double umaAUma = quantas * 1000.0 / melhorUma;
        const double porNucleo = quantas * 1000.0 / melhorPorNucleo;
        char nome[32];
        std::snprintf(nome, sizeof nome, "%dx%d", t[0], t[1]);
        std::printf("%-10s %8d %22.1f %22.1f %7.2f\n", nome, quantas, umaAUma, porNucleo,
                    porNucleo / umaAUma);
        for (const auto& imagem : imagens)
            fs::remove(imagem);
    }
    std::printf("(%d núcleos; razão = uma por núcleo / uma a uma)\n", nucleos);
    fs::remove_all(pasta);
    return 0;
}
