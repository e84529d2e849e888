#include "calibration/sintetica/targets.h"

#include "utilities/field.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace corretor {

namespace {

constexpr int kLado = 436;
constexpr int kBits = 4; // fractional bits of the discs' centres and radii

void disco(cv::Mat& m, cv::Point2d c, double raio, const cv::Scalar& cor)
{
    const double f = 1 << kBits;
    cv::circle(m, cv::Point(cvRound(c.x * f), cvRound(c.y * f)), cvRound(raio * f), cor, cv::FILLED,
               cv::LINE_AA, kBits);
}

} // namespace

cv::Mat desenharXadrez(int colunas, int linhas, int casa, bool pontos)
{
    cv::Mat m(kLado, kLado, CV_8UC3, cv::Scalar::all(255));
    const cv::Scalar escuro = cv::Scalar::all(25), claro = cv::Scalar::all(255);
    const int x0 = (kLado - colunas * casa) / 2, y0 = (kLado - linhas * casa) / 2;
    for (int j = 0; j < linhas; ++j)
        for (int i = 0; i < colunas; ++i) {
            const bool ehEscuro = (i + j) % 2 == 0;
            const cv::Rect r(x0 + i * casa, y0 + j * casa, casa, casa);
            m(r).setTo(ehEscuro ? escuro : claro);
            if (pontos)
                disco(m, cv::Point2d(r.x + (casa - 1) / 2.0, r.y + (casa - 1) / 2.0), 0.22 * casa,
                      ehEscuro ? claro : escuro);
        }
    return m;
}

cv::Mat desenharCirculos(int colunas, int porColuna, int passo, bool alternado)
{
    cv::Mat m(kLado, kLado, CV_8UC3, cv::Scalar::all(255));
    // Rows `passo` apart; an alternating grid uses every other row in each column.
    const int fileiras = alternado ? 2 * porColuna : porColuna;
    const cv::Point2d origem(kCentroDoCampo - (colunas - 1) * passo / 2.0,
                             kCentroDoCampo - (fileiras - 1) * passo / 2.0);
    for (int i = 0; i < colunas; ++i)
        for (int j = 0; j < porColuna; ++j) {
            const int fileira = alternado ? 2 * j + i % 2 : j;
            disco(m, origem + cv::Point2d(i * passo, fileira * passo), 0.3 * passo,
                  cv::Scalar::all(20));
        }
    return m;
}

} // namespace corretor
