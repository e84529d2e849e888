// The straightforward warp (triangulo for every pixel, one core) against the accelerated warp,
// on a 98-triangle mesh over the circular field, for enlargements of 440x440, 2560x1920 and
// 7680x4320. Prints the median times and their ratio, measured in this one run, and checks
// that both give the same bytes.
#include "bench/bench_timer.h"
#include "bench/circle_mesh.h"
#include "correction/stages.h"

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstring>

int main()
{
    std::printf("%-11s %10s %14s %12s %8s %s\n", "ampliação", "triângulos", "direto (ms)",
                "rápido (ms)", "razão", "bytes iguais");
    const int tamanhos[][2] = {{440, 440}, {2560, 1920}, {7680, 4320}};
    for (const auto& t : tamanhos) {
        const int triangulos = bancada::preencherMalhaCircular(t[0], t[1]);
        cv::Mat pixels(t[1], t[0], CV_8UC3);
        cv::randu(pixels, 1, 256);
        IplImage imagem = cvIplImage(pixels);
        const CvSize padrao = cvSize(436, 436);
        corretor::Imagem direto, rapido;
        const int vezesDireto = t[0] * t[1] > 2000000 ? 1 : 5;
        const double msDireto = bancada::medianaMs(vezesDireto, [&] {
            direto.reset();
            direto = corretor::morphDireto(&imagem, padrao, IPL_DEPTH_8U);
        });
        const double msRapido = bancada::medianaMs(21, [&] {
            rapido.reset();
            rapido = corretor::morphPara(&imagem, padrao, IPL_DEPTH_8U, nullptr);
        });
        const bool iguais = std::memcmp(direto->imageData, rapido->imageData,
                                        static_cast<size_t>(direto->imageSize)) == 0;
        char nome[32];
        std::snprintf(nome, sizeof nome, "%dx%d", t[0], t[1]);
        std::printf("%-11s %10d %14.1f %12.2f %8.0f %s\n", nome, triangulos, msDireto, msRapido,
                    msDireto / msRapido, iguais ? "sim" : "NÃO");
    }
    std::printf("(%d threads)\n", cv::getNumThreads());
    return 0;
}
