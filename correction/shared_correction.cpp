#include "correction/shared_correction.h"

#include "correction/driver.h"

#include <opencv2/core.hpp>

namespace corretor {

CorrecaoCompartilhada::CorrecaoCompartilhada(const IplImage* padrao)
    : padrao_(padrao), mapas_(cv::Size(padrao->width, padrao->height))
{
}

Imagem CorrecaoCompartilhada::corrigir(const IplImage* imagem,
                                       std::optional<Interpolacao> interpolacao,
                                       AreaDoAvanco& area, bool* colocouAlgum)
{
    if (!interpolacao) return corrigirImagem(imagem, padrao_, nullptr, colocouAlgum, &area);
    const auto mapas = mapas_.para(cv::Size(imagem->width, imagem->height));
    return mapas == nullptr ? nullptr
                            : morphInterpolado(imagem, *mapas, *interpolacao, colocouAlgum);
}

LacosSemParalelo::LacosSemParalelo() : antes_(cv::getNumThreads())
{
    cv::setNumThreads(1);
}

LacosSemParalelo::~LacosSemParalelo()
{
    cv::setNumThreads(antes_);
}

} // namespace corretor
