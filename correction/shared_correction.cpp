#include "correction/shared_correction.h"

#include "correction/driver.h"

#include <opencv2/core.hpp>

#include <utility>

namespace corretor {

CorrecaoCompartilhada::CorrecaoCompartilhada(const IplImage* padrao)
    : padrao_(padrao), planas_(cv::Size(padrao->width, padrao->height)),
      curvas_(cv::Size(padrao->width, padrao->height), true)
{
}

Imagem CorrecaoCompartilhada::corrigir(const IplImage* imagem,
                                       std::optional<ModoInterpolado> interpolado,
                                       AreaDoAvanco& area, bool* colocouAlgum)
{
    if (!interpolado) return corrigirImagem(imagem, padrao_, nullptr, colocouAlgum, &area);
    const auto mapas =
        (interpolado->suave ? curvas_ : planas_).para(cv::Size(imagem->width, imagem->height));
    if (mapas == nullptr) return nullptr;
    if (!mapas->planos.empty()) {
        const std::lock_guard<std::mutex> vez(trava_);
        if (planos_.empty() && !avisados_) planos_ = mapas->planos;
    }
    return morphInterpolado(imagem, *mapas, interpolado->filtro, colocouAlgum);
}

std::vector<int> CorrecaoCompartilhada::planosPorAvisar()
{
    const std::lock_guard<std::mutex> vez(trava_);
    if (avisados_ || planos_.empty()) return {};
    avisados_ = true;
    return std::exchange(planos_, {});
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
