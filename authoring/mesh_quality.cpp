#include "authoring/mesh_quality.h"

#include "authoring/mesh_value.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "utilities/quality.h"

namespace corretor {

QualidadeDaMalha medirMalha(const cv::Mat& imagem, const cv::Mat& padrao,
                            const std::vector<cv::Point>& origem,
                            const std::vector<cv::Point>& destino)
{
    MalhaNova malha{origem, destino, {}, {}};
    if (!triangular(malha)) return {};
    gerarMapas(malha);
    carregarNasTabelas(malha);
    const IplImage c = cvIplImage(imagem), p = cvIplImage(padrao);
    const Imagem resultado = corrigirImagem(&c, &p, {});
    Qualidade q{};
    QualidadeDaMalha r;
    if (resultado != nullptr && avaliarCorrecao(resultado.get(), &p, q)) r = {q.psnr, q.cobertura};
    return r;
}

} // namespace corretor
