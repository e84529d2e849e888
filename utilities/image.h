// The image that releases itself.
//
// Inside the code every image owns itself: an Imagem or a cv::Mat. The operations whose contract
// is a raw IplImage* (open, dobra, morph, sub, sub2) make their new image as an Imagem and hand
// it over with release(), so that nothing leaks when a step between allocation and return throws;
// their caller releases it with free (correction/image_ops.h).
#pragma once

#include <opencv2/core/core_c.h>

#include <memory>

namespace corretor {

// Releases an image, header and pixels; null is accepted.
struct LiberarImagem
{
    void operator()(IplImage* image) const { cvReleaseImage(&image); }
};

// An image that releases itself when it goes. Null when there is none.
using Imagem = std::unique_ptr<IplImage, LiberarImagem>;

// A new image of `tamanho`, `profundidade` and 3 interleaved channels, its pixels not cleared.
// The library's exception when its memory cannot be had, with nothing left allocated.
Imagem criarImagem(CvSize tamanho, int profundidade = IPL_DEPTH_8U);

} // namespace corretor
