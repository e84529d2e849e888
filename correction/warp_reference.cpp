// The warp as defined, pixel by pixel: the reference for the accelerated warp.
#include "correction/locate.h"
#include "correction/warp.h"
#include "mesh/mesh_store.h"

#include <cstring>

namespace corretor {

Imagem morphDireto(const IplImage* img, CvSize tamanho, int profundidade)
{
    const int nl = img->height, nc = img->width, ch = img->nChannels, step = img->widthStep;
    const uchar* data = reinterpret_cast<const uchar*>(img->imageData);
    Imagem saida = criarImagem(tamanho, profundidade);
    std::memset(saida->imageData, 0, static_cast<size_t>(saida->imageSize));
    uchar* res = reinterpret_cast<uchar*>(saida->imageData);
    for (int i = 0; i < nl; ++i) {
        for (int j = 0; j < nc; ++j) {
            const CvPoint pix = cvPoint(i, j);
            const int t = triangulo(pix);
            if (t == -1) continue;
            const float(&mat)[2][3] = matrix[t].mat;
            const float x = static_cast<float>((double{mat[0][0]} * j + double{mat[0][1]} * i) +
                                               double{mat[0][2]});
            const float y = static_cast<float>((double{mat[1][0]} * j + double{mat[1][1]} * i) +
                                               double{mat[1][2]});
            const CvPoint piz = cvPoint(round(x), round(y));
            if (!dist(piz)) continue;
            if (piz.x >= tamanho.width || piz.y >= tamanho.height) continue;
            uchar* destino = res + static_cast<size_t>(piz.y) * saida->widthStep +
                             static_cast<size_t>(piz.x) * 3;
            const uchar* fonte = data + static_cast<size_t>(i) * step + static_cast<size_t>(j) * ch;
            if (destino[0] != 0)
                for (int k = 0; k < 3; ++k)
                    destino[k] = static_cast<uchar>((fonte[k] + destino[k]) / 2);
            else
                for (int k = 0; k < 3; ++k)
                    destino[k] = fonte[k];
        }
    }
    return saida;
}

} // namespace corretor
