#include "authoring/mesh_quality.h"

#include "authoring/affine_solve.h"
#include "authoring/mesh_output.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "utilities/quality.h"

namespace corretor {

QualidadeDaMalha medirMalha(const cv::Mat& imagem, const cv::Mat& padrao,
                            const std::vector<cv::Point>& origem,
                            const std::vector<cv::Point>& destino)
{
    limparMalha();
    std::vector<ArquivoNovo> arquivos;
    if (!arquivosDaMalha(origem, destino, true, arquivos)) return {};
    for (int t = 0; t < kTriangulos; ++t) {
        Ponto o[3], d[3];
        for (int k = 0; k < 3; ++k) {
            o[k] = pontoDe(vert, trg[t][k]);
            d[k] = pontoDe(vert2, trg[t][k]);
        }
        double erro = 0;
        mapaDoTriangulo(o, d, matrix[t], erro);
    }
    const IplImage c = cvIplImage(imagem), p = cvIplImage(padrao);
    const Imagem resultado = corrigirImagem(&c, &p, {});
    Qualidade q{};
    QualidadeDaMalha r;
    if (resultado != nullptr && avaliarCorrecao(resultado.get(), &p, q)) r = {q.psnr, q.cobertura};
    return r;
}

} // namespace corretor
