#include "utilities/image_difference.h"

#include "utilities/image.h"
#include "utilities/report.h"

#include <algorithm>
#include <cstring>

namespace corretor {

namespace {

Imagem likeFirst(const IplImage* image)
{
    return Imagem(cvCreateImage(cvGetSize(image), image->depth, image->nChannels));
}

} // namespace

IplImage* sub(const IplImage* image, const IplImage* image2)
{
    Imagem saida = likeFirst(image);
    if (image->width == image2->width && image->height == image2->height &&
        image->nChannels == image2->nChannels && image->depth == image2->depth)
        cvSub(image, image2, saida.get(), nullptr);
    else
        std::memset(saida->imageData, 0, static_cast<size_t>(saida->imageSize));
    return saida.release();
}

IplImage* sub2(const IplImage* image, const IplImage* image2)
{
    if (image->depth != IPL_DEPTH_8U || image2->depth != IPL_DEPTH_8U) {
        falhar("a diferença deslocada (sub2) compara só imagens de 8 bits");
        return nullptr;
    }
    Imagem saida = likeFirst(image);
    std::memset(saida->imageData, 127, static_cast<size_t>(saida->imageSize));
    const int altura = std::min(image->height, image2->height);
    const int largura = std::min(image->width, image2->width);
    const int amostras = std::min({3, image->nChannels, image2->nChannels});
    for (int y = 0; y < altura; ++y) {
        const auto* a = reinterpret_cast<const uchar*>(image->imageData +
                                                       static_cast<size_t>(y) * image->widthStep);
        const auto* b = reinterpret_cast<const uchar*>(image2->imageData +
                                                       static_cast<size_t>(y) * image2->widthStep);
        auto* s =
            reinterpret_cast<uchar*>(saida->imageData + static_cast<size_t>(y) * saida->widthStep);
        for (int x = 0; x < largura; ++x)
            for (int k = 0; k < amostras; ++k) {
                s[x * saida->nChannels + k] = static_cast<uchar>(
                    (a[x * image->nChannels + k] - b[x * image2->nChannels + k] + 255) / 2);
            }
    }
    return saida.release();
}

int getValue(int i, int j, const IplImage* image)
{
    if (i >= image->height || j >= image->width || i < 0 || j < 0) return -1;
    return reinterpret_cast<const uchar*>(
        image->imageData)[i * image->widthStep + j * image->nChannels];
}

} // namespace corretor
