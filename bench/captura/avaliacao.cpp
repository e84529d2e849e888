#include "bench/captura/avaliacao.h"

#include "authoring/affine_solve.h"
#include "authoring/calibration.h"
#include "authoring/mesh_output.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "utilities/field.h"
#include "utilities/quality.h"

#include <algorithm>

namespace corretor {

namespace {

struct Correcao
{
    double psnr = 0, cobertura = 0;
};

// The capture corrected with the mesh origem -> destino, measured against the pattern.
Correcao corrigirCom(const cv::Mat& captura, const cv::Mat& padrao,
                     const std::vector<cv::Point>& origem, const std::vector<cv::Point>& destino)
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
    const IplImage c = cvIplImage(captura), p = cvIplImage(padrao);
    IplImage* resultado = corrigirImagem(&c, &p, {});
    Qualidade q{};
    Correcao r;
    if (resultado != nullptr && avaliarCorrecao(resultado, &p, q)) r = {q.psnr, q.cobertura};
    cvReleaseImage(&resultado);
    return r;
}

} // namespace

Avaliacao avaliarMalha(const cv::Mat& padrao, const cv::Mat& captura, const Lente& lente,
                       const std::vector<cv::Point>& destino,
                       const std::vector<cv::Point2d>& achados)
{
    Avaliacao a;
    std::vector<cv::Point> achada, verdadeira;
    const cv::Point2d centro(kCentroDoCampo, kCentroDoCampo);
    for (std::size_t k = 0; k < destino.size(); ++k) {
        const cv::Point2d certo = aplicarLente(lente, cv::Point2d(destino[k]));
        achada.push_back(paraAmpliada(achados[k]));
        verdadeira.push_back(paraAmpliada(certo));
        const double erro = cv::norm(daAmpliada(achada.back()) - certo);
        if (cv::norm(cv::Point2d(destino[k]) - centro) < kRaioDoCampo)
            a.erros.push_back(erro);
        else
            a.foraDoCampo = std::max(a.foraDoCampo, erro);
    }
    const Correcao v = corrigirCom(captura, padrao, verdadeira, destino);
    const Correcao f = corrigirCom(captura, padrao, achada, destino);
    a.psnrVerdadeira = v.psnr;
    a.psnr = f.psnr;
    a.cobertura = f.cobertura;
    return a;
}

double percentil(std::vector<double> valores, double f)
{
    if (valores.empty()) return 0;
    std::sort(valores.begin(), valores.end());
    const auto k = static_cast<std::size_t>(f * static_cast<double>(valores.size() - 1) + 0.5);
    return valores[std::min(valores.size() - 1, k)];
}

} // namespace corretor
