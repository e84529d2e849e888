#include "calibration/sintetica/avaliacao.h"

#include "mesh/ampliacao.h"
#include "utilities/field.h"

#include <algorithm>
#include <cmath>

namespace corretor {

ErrosDosNos errosDosNos(const Lente& lente, const std::vector<cv::Point>& destino,
                        const std::vector<cv::Point2d>& achados)
{
    ErrosDosNos e;
    e.unidade = std::max(1.0, lente.escala);
    const cv::Point2d centro(kCentroDoCampo, kCentroDoCampo);
    for (std::size_t k = 0; k < destino.size(); ++k) {
        const cv::Point2d certo = aplicarLente(lente, cv::Point2d(destino[k]));
        e.achada.push_back(paraAmpliada(achados[k]));
        e.verdadeira.push_back(paraAmpliada(certo));
        const double erro = cv::norm(daAmpliada(e.achada.back()) - certo) / e.unidade;
        if (cv::norm(cv::Point2d(destino[k]) - centro) < kRaioDoCampo)
            e.erros.push_back(erro);
        else
            e.foraDoCampo = std::max(e.foraDoCampo, erro);
    }
    return e;
}

bool calibrarCaso(const Caso& caso, const cv::Mat& padrao, const cv::Mat& captura,
                  const std::vector<cv::Point>& destino, std::vector<NoCalibrado>& nos,
                  RelatorioDeCalibracao& relatorio)
{
    OpcoesDeCalibracao opcoes;
    opcoes.comGiro = caso.comGiro;
    opcoes.giro = caso.giro;
    return calibrarCaptura(padrao, captura, "captura", destino, opcoes, nos, relatorio,
                           [](const std::string&) {});
}

ErrosDosNos errosDosNos(const Lente& lente, const std::vector<cv::Point>& destino,
                        const std::vector<NoCalibrado>& nos)
{
    std::vector<cv::Point2d> achados;
    achados.reserve(nos.size());
    for (const auto& no : nos)
        achados.push_back(no.captura);
    return errosDosNos(lente, destino, achados);
}

double percentil(std::vector<double> valores, double f)
{
    if (valores.empty()) return 0;
    std::sort(valores.begin(), valores.end());
    const auto k =
        static_cast<std::size_t>(std::lround(f * static_cast<double>(valores.size() - 1)));
    return valores[std::min(valores.size() - 1, k)];
}

} // namespace corretor
