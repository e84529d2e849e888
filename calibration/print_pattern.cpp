#include "calibration/print_pattern.h"

#include "utilities/field.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>

namespace corretor {

cv::Mat texturaMultiescala(int lado, std::mt19937& gerador, double expoente)
{
    cv::Mat soma = cv::Mat::zeros(lado, lado, CV_32FC3);
    for (int passo = 96; passo >= 3; passo /= 2) {
        const int n = lado / passo + 3;
        cv::Mat grade(n, n, CV_32FC3);
        std::uniform_real_distribution<float> u(-1, 1);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                grade.at<cv::Vec3f>(y, x) = cv::Vec3f(u(gerador), u(gerador), u(gerador));
        cv::Mat fino;
        cv::resize(grade, fino, cv::Size(n * passo, n * passo), 0, 0, cv::INTER_CUBIC);
        soma += fino(cv::Rect(passo, passo, lado, lado)) * std::pow(passo / 96.0, expoente);
    }
    return soma;
}

namespace {

// Shapes over `imagem`, as objects in a photograph: `quantas` discs, boxes and strokes of random
// colour and place (within `alem` pixels beyond the picture), sizes from `menor` to `maior`, at
// most `grossura` pixels thick, each drawn with `opacidade` (1: over what is there).
void desenharFormas(cv::Mat& imagem, std::mt19937& gerador, int quantas, double menor, double maior,
                    double alem, int grossura, double opacidade)
{
    std::uniform_real_distribution<double> pos(-alem, imagem.cols + alem), tam(menor, maior),
        cor(opacidade < 1 ? 10 : 20, opacidade < 1 ? 245 : 235);
    std::uniform_int_distribution<int> forma(0, 2), espessura(1, grossura);
    // A stroke rises or falls about a tenth of its length less than its size.
    const int queda = static_cast<int>(std::lround(maior / 2.25));
    for (int k = 0; k < quantas; ++k) {
        cv::Mat camada = opacidade < 1 ? imagem.clone() : imagem;
        const cv::Scalar c(cor(gerador), cor(gerador), cor(gerador));
        const cv::Point a(static_cast<int>(pos(gerador)), static_cast<int>(pos(gerador)));
        const int t = static_cast<int>(tam(gerador));
        switch (forma(gerador)) {
        case 0:
            cv::circle(camada, a, t, c, cv::FILLED, cv::LINE_AA);
            break;
        case 1:
            cv::rectangle(camada, a, a + cv::Point(t, t * 2 / 3), c, cv::FILLED, cv::LINE_AA);
            break;
        default:
            cv::line(camada, a, a + cv::Point(2 * t, t - queda), c, espessura(gerador),
                     cv::LINE_AA);
        }
        if (opacidade < 1) cv::addWeighted(imagem, 1 - opacidade, camada, opacidade, 0, imagem);
    }
}

} // namespace

cv::Mat texturaDeCalibracao(unsigned semente)
{
    std::mt19937 gerador(semente);
    const int lado = kLadoDoPadraoDeCalibracao;
    cv::Mat base = texturaMultiescala(lado, gerador) * 45 + cv::Scalar(120, 125, 130);
    cv::Mat imagem;
    base.convertTo(imagem, CV_8UC3);
    desenharFormas(imagem, gerador, 70, 4, 45, 20, 4, 1);
    cv::GaussianBlur(imagem, imagem, cv::Size(0, 0), 0.7);
    return imagem;
}

cv::Mat padraoDeCalibracao()
{
    // Denser than a photograph: strong noise at every scale, and many small shapes drawn half
    // through, so that no neighbourhood is flat.
    std::mt19937 gerador(20261207);
    const int lado = kLadoDoPadraoDeCalibracao;
    // Colour noise, and brightness noise of its own so that the pattern has detail in grey too.
    cv::Mat matiz = texturaMultiescala(lado, gerador),
            brilho = texturaMultiescala(lado, gerador, 0) * 0.5; // every scale alike
    cv::Mat cinza;
    cv::transform(brilho, cinza, cv::Matx33f::all(1.0f / 3));
    cv::Mat base = matiz * 45 + cinza * 70 + cv::Scalar(128, 128, 128);
    cv::Mat padrao;
    base.convertTo(padrao, CV_8UC3);
    desenharFormas(padrao, gerador, 600, 3, 14, 10, 3, 0.55);
    cv::GaussianBlur(padrao, padrao, cv::Size(0, 0), 0.6);
    cv::circle(padrao, cv::Point(kCentroDoCampo * 16, kCentroDoCampo * 16), kRaioDoCampo * 16,
               cv::Scalar(20, 20, 20), 1, cv::LINE_AA, 4);
    return padrao;
}

cv::Mat folhaParaImprimir(const cv::Mat& padrao, double milimetros, double dpi)
{
    const double pontosPorMm = dpi / 25.4;
    const int lado = static_cast<int>(std::lround(milimetros * pontosPorMm));
    const int margem = std::max(20, lado / 10);
    cv::Mat grande;
    cv::resize(padrao, grande, cv::Size(lado, lado), 0, 0, cv::INTER_CUBIC);
    cv::Mat folha(lado + 2 * margem, lado + 2 * margem, CV_8UC3, cv::Scalar::all(255));
    grande.copyTo(folha(cv::Rect(margem, margem, lado, lado)));
    // The scale: 1 cm marks, as many as fit in a quarter of the side (at least one).
    const int centimetros = std::max(1, static_cast<int>(milimetros / 40));
    const int y = lado + margem + margem / 3;
    const int x0 = margem,
              x1 = margem + static_cast<int>(std::lround(10 * centimetros * pontosPorMm));
    const int altura = std::max(2, margem / 10), traco = std::max(1, lado / 600);
    cv::line(folha, cv::Point(x0, y), cv::Point(x1, y), cv::Scalar::all(0), traco);
    for (int c = 0; c <= centimetros; ++c) {
        const int x = x0 + static_cast<int>(std::lround(10 * c * pontosPorMm));
        cv::line(folha, cv::Point(x, y - altura), cv::Point(x, y + altura), cv::Scalar::all(0),
                 traco);
    }
    const double letra = std::max(0.4, margem / 90.0);
    char texto[96];
    std::snprintf(texto, sizeof texto, "%d cm", centimetros);
    cv::putText(folha, texto, cv::Point(x1 + margem / 5, y + altura), cv::FONT_HERSHEY_SIMPLEX,
                letra, cv::Scalar::all(0), std::max(1, traco), cv::LINE_AA);
    std::snprintf(texto, sizeof texto, "padrao: %.0f mm de lado; imprima em 100%%", milimetros);
    cv::putText(folha, texto, cv::Point(margem, margem - margem / 4), cv::FONT_HERSHEY_SIMPLEX,
                letra, cv::Scalar::all(0), std::max(1, traco), cv::LINE_AA);
    return folha;
}

} // namespace corretor
