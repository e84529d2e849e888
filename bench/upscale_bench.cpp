// Twofold upscaling twice against two nearest-neighbour resizes to the same sizes, on a
// 640x480 colour image; prints both median times and their ratio, measured in this one run.
#include "bench/bench_timer.h"
#include "correction/stages.h"

#include <opencv2/imgproc.hpp>

#include <cstdio>

int main()
{
    cv::Mat fonte(480, 640, CV_8UC3);
    cv::randu(fonte, 0, 256);
    IplImage* imagem = cvCreateImage(cvSize(640, 480), IPL_DEPTH_8U, 3);
    fonte.copyTo(cv::cvarrToMat(imagem));
    IplImage* primeira = cvCreateImage(cvSize(1280, 960), IPL_DEPTH_8U, 3);
    IplImage* segunda = cvCreateImage(cvSize(2560, 1920), IPL_DEPTH_8U, 3);
    cv::Mat meio, fim;

    const int vezes = 41;
    const double dobraMs = bancada::medianaMs(vezes, [&] {
        corretor::dobraEm(imagem, primeira);
        corretor::dobraEm(primeira, segunda);
    });
    const double resizeMs = bancada::medianaMs(vezes, [&] {
        cv::resize(fonte, meio, cv::Size(1280, 960), 0, 0, cv::INTER_NEAREST);
        cv::resize(meio, fim, cv::Size(2560, 1920), 0, 0, cv::INTER_NEAREST);
    });
    std::printf("dobra duas vezes, 640x480 -> 2560x1920: %.3f ms (mediana de %d)\n", dobraMs,
                vezes);
    std::printf("cv::resize vizinho mais próximo duas vezes:  %.3f ms\n", resizeMs);
    std::printf("razão dobra / resize: %.2f\n", dobraMs / resizeMs);
    corretor::free(segunda);
    corretor::free(primeira);
    corretor::free(imagem);
    return 0;
}
