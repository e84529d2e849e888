#include "utilities/quality.h"

#include "utilities/field.h"
#include "utilities/image_difference.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <limits>
#include <string>

namespace corretor {

namespace {

bool isHole(const uchar* p)
{
    return p[0] <= kLimiarDeBuraco && p[1] <= kLimiarDeBuraco && p[2] <= kLimiarDeBuraco;
}

bool isDark(const uchar* p)
{
    const int limite = 3 * kLimiarDeBuraco;
    return p[0] <= limite && p[1] <= limite && p[2] <= limite;
}

const uchar* pixelAt(const IplImage* image, int x, int y)
{
    return reinterpret_cast<const uchar*>(image->imageData) +
           static_cast<size_t>(y) * image->widthStep + static_cast<size_t>(x) * 3;
}

} // namespace

bool avaliarCorrecao(const IplImage* resultado, const IplImage* padrao, Qualidade& qualidade)
{
    for (const IplImage* image : {resultado, padrao})
        if (image->depth != IPL_DEPTH_8U || image->nChannels != 3) {
            falhar("a comparação recebe só imagens de 8 bits com 3 canais");
            return false;
        }
    if (resultado->width != padrao->width || resultado->height != padrao->height) {
        falhar("o resultado (" + std::to_string(resultado->width) + "x" +
               std::to_string(resultado->height) + ") e o padrão (" +
               std::to_string(padrao->width) + "x" + std::to_string(padrao->height) +
               ") têm tamanhos diferentes");
        return false;
    }
    if (padrao->width < kLadoMinimoDoCampo || padrao->height < kLadoMinimoDoCampo) {
        const std::string minimo = std::to_string(kLadoMinimoDoCampo);
        falhar("o padrão tem " + std::to_string(padrao->width) + "x" +
               std::to_string(padrao->height) + " pixels; o campo pede ao menos " + minimo + "x" +
               minimo);
        return false;
    }
    double somaQuadrados = 0, somaAbsoluta = 0;
    long amostras = 0, campo = 0, alcancados = 0;
    for (int y = 0; y < padrao->height; ++y)
        for (int x = 0; x < padrao->width; ++x) {
            if (!dentroDoCampo(x, y)) continue;
            const uchar* r = pixelAt(resultado, x, y);
            const uchar* p = pixelAt(padrao, x, y);
            for (int s = 0; s < 3; ++s) {
                const double d = static_cast<double>(r[s]) - p[s];
                somaQuadrados += d * d;
                somaAbsoluta += std::abs(d);
            }
            amostras += 3;
            if (isDark(p)) continue;
            ++campo;
            alcancados += !isHole(r);
        }
    const double mse = somaQuadrados / amostras;
    qualidade.psnr =
        mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
    qualidade.diferenca = somaAbsoluta / amostras;
    qualidade.cobertura = campo == 0 ? 1.0 : static_cast<double>(alcancados) / campo;
    qualidade.pixelsDoCampo = static_cast<int>(campo);
    return true;
}

Imagem quadroComparativo(const IplImage* resultado, const IplImage* padrao)
{
    const int w = padrao->width, h = padrao->height;
    Imagem quadro = criarImagem(cvSize(4 * w, h));
    cv::Mat todo = cv::cvarrToMat(quadro.get());
    cv::cvarrToMat(resultado).copyTo(todo(cv::Rect(0, 0, w, h)));
    cv::cvarrToMat(padrao).copyTo(todo(cv::Rect(w, 0, w, h)));
    const Imagem diferenca(sub2(resultado, padrao));
    cv::cvarrToMat(diferenca.get()).copyTo(todo(cv::Rect(2 * w, 0, w, h)));
    cv::Mat buracos = todo(cv::Rect(3 * w, 0, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            cv::Vec3b cor(128, 128, 128);
            if (dentroDoCampo(x, y))
                cor = isHole(pixelAt(resultado, x, y)) && !isDark(pixelAt(padrao, x, y))
                          ? cv::Vec3b(0, 0, 255)
                          : cv::Vec3b(255, 255, 255);
            buracos.at<cv::Vec3b>(y, x) = cor;
        }
    return quadro;
}

} // namespace corretor
