#include "correction/quality_by_mode.h"

#include "correction/driver.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

namespace corretor {

std::string opcoesDoModo(const std::optional<ModoInterpolado>& modo)
{
    if (!modo) return "";
    const char* filtro = modo->filtro == Interpolacao::Linear   ? "linear"
                         : modo->filtro == Interpolacao::Cubica ? "cubico"
                                                                : "lanczos";
    return std::string("--interpolado=") + filtro + (modo->suave ? " --suave" : "");
}

std::vector<QualidadeDoModo> qualidadePorModo(const IplImage* imagem, const IplImage* padrao)
{
    std::vector<QualidadeDoModo> todos = {{std::nullopt, {}, {}}};
    for (const Interpolacao filtro :
         {Interpolacao::Linear, Interpolacao::Cubica, Interpolacao::Lanczos})
        for (const bool suave : {false, true})
            todos.push_back({ModoInterpolado{filtro, suave}, {}, {}});
    for (QualidadeDoModo& q : todos) {
        const Imagem corrigida =
            q.modo ? corrigirInterpolado(imagem, padrao, *q.modo, nullptr, &q.planos)
                   : corrigirImagem(imagem, padrao, nullptr);
        if (corrigida == nullptr) return {};
        std::vector<uchar> jpeg;
        cv::imencode(".jpg", cv::cvarrToMat(corrigida.get()), jpeg);
        const cv::Mat salva = cv::imdecode(jpeg, cv::IMREAD_COLOR);
        const IplImage cabecalho = cvIplImage(salva);
        if (!avaliarCorrecao(&cabecalho, padrao, q.qualidade)) return {};
    }
    return todos;
}

} // namespace corretor
