#include "calibration/pattern_matching.h"

#include "utilities/field.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>

namespace corretor {

namespace {

// The least standard deviation of a neighbourhood worth matching, in grey levels: below it
// noise decides the peak.
constexpr double kTexturaMinima = 4.0;

// Margin added around the shift found before the ECC alignment, pixels.
constexpr int kFolgaEcc = 3;

// The vertex of the parabola through (-1, a), (0, b), (1, c): its offset from 0, within 0.5.
double verticeDaParabola(double a, double b, double c)
{
    const double den = a - 2 * b + c;
    if (!(den < 0)) return 0;
    return std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
}

// The peak of the quadric fitted to the 3 x 3 values v(dx, dy) about a maximum: with g the
// gradient and H the Hessian by central differences, the vertex -H^-1 g. A peak drawn out
// along a slanted ridge (a neighbourhood with one main direction) lies off both axes' own
// parabolas by up to a pixel; the cross term finds it. Where H is not negative definite, or the
// vertex lies beyond a pixel, each axis's parabola stands.
template <class Valor> cv::Point2d verticeDaQuadrica(const Valor& v)
{
    const double gx = (v(1, 0) - v(-1, 0)) / 2, gy = (v(0, 1) - v(0, -1)) / 2;
    const double hxx = v(1, 0) - 2 * v(0, 0) + v(-1, 0), hyy = v(0, 1) - 2 * v(0, 0) + v(0, -1);
    const double hxy = (v(1, 1) - v(1, -1) - v(-1, 1) + v(-1, -1)) / 4;
    const double det = hxx * hyy - hxy * hxy;
    const cv::Point2d eixos(verticeDaParabola(v(-1, 0), v(0, 0), v(1, 0)),
                            verticeDaParabola(v(0, -1), v(0, 0), v(0, 1)));
    if (!(hxx < 0 && det > 0)) return eixos;
    const cv::Point2d d(-(hyy * gx - hxy * gy) / det, -(hxx * gy - hxy * gx) / det);
    return std::abs(d.x) <= 1 && std::abs(d.y) <= 1 ? d : eixos;
}

// `janela` (pattern pixels) cut, side by side, until the area it searches within `raio` lies in
// the straightened capture and inside the capture, so that a neighbourhood at the capture's
// border is matched by its part that the capture shows. Empty when nothing is left.
cv::Rect janelaNaCaptura(cv::Rect janela, const CapturaEndireitada& e, int raio)
{
    const cv::Rect imagem(0, 0, e.imagem.cols, e.imagem.rows);
    while (janela.width > 0 && janela.height > 0) {
        const cv::Rect busca(janela.x + e.margem - raio, janela.y + e.margem - raio,
                             janela.width + 2 * raio, janela.height + 2 * raio);
        if ((busca & imagem) != busca) return {};
        const cv::Mat v = e.valida(busca);
        if (cv::countNonZero(v) == busca.area()) return janela;
        // The side whose outermost searched line lacks most pixels gives way.
        const int faltam[4] = {
            v.cols - cv::countNonZero(v.row(0)), v.cols - cv::countNonZero(v.row(v.rows - 1)),
            v.rows - cv::countNonZero(v.col(0)), v.rows - cv::countNonZero(v.col(v.cols - 1))};
        const int lado = static_cast<int>(std::max_element(faltam, faltam + 4) - faltam);
        if (lado == 0) ++janela.y;
        if (lado <= 1) --janela.height;
        if (lado == 2) ++janela.x;
        if (lado >= 2) --janela.width;
    }
    return {};
}

// The covariance of a match of `modelo` (see Casamento) with correlation `correlacao`.
cv::Matx22d covarianciaDoCasamento(const cv::Mat& modelo, double desvio, double correlacao)
{
    cv::Mat gx, gy;
    cv::Sobel(modelo, gx, CV_32F, 1, 0, 3, 1.0 / 8);
    cv::Sobel(modelo, gy, CV_32F, 0, 1, 3, 1.0 / 8);
    const double xx = gx.dot(gx), xy = gx.dot(gy), yy = gy.dot(gy);
    const double ruido = desvio * desvio * std::max(1 - correlacao * correlacao, 1e-3);
    const double det = xx * yy - xy * xy;
    if (!(det > 1e-9 * (xx + yy) * (xx + yy)) || !(det > 0)) return cv::Matx22d(1e6, 0, 0, 1e6);
    return cv::Matx22d(yy, -xy, -xy, xx) * (ruido / det);
}

} // namespace

cv::Mat suavizarParaEndireitar(const cv::Mat& captura, const ModeloDaLente& modelo)
{
    const double escala = modelo.escalaLocal(cv::Point2d(kCentroDoCampo, kCentroDoCampo));
    if (!(escala > 1.3)) return captura;
    // (Into a picture of its own: the capture is the caller's.)
    cv::Mat suave;
    cv::GaussianBlur(captura, suave, cv::Size(0, 0), 0.5 * escala);
    return suave;
}

CapturaEndireitada endireitar(const cv::Mat& captura, const ModeloDaLente& modelo, cv::Size tamanho,
                              int margem, const cv::Mat& campo, bool suavizada)
{
    CapturaEndireitada e;
    e.margem = margem;
    const int largura = tamanho.width + 2 * margem, altura = tamanho.height + 2 * margem;
    cv::Mat mapaX(altura, largura, CV_32F), mapaY(altura, largura, CV_32F);
    cv::parallel_for_(cv::Range(0, altura), [&](const cv::Range& linhas) {
        for (int y = linhas.start; y < linhas.end; ++y)
            for (int x = 0; x < largura; ++x) {
                cv::Point2d q = modelo.aplicar(cv::Point2d(x - margem, y - margem));
                if (!campo.empty()) q += cv::Point2d(campo.at<cv::Vec2f>(y, x));
                mapaX.at<float>(y, x) = static_cast<float>(q.x);
                mapaY.at<float>(y, x) = static_cast<float>(q.y);
            }
    });
    const cv::Mat fonte = suavizada ? captura : suavizarParaEndireitar(captura, modelo);
    cv::remap(fonte, e.imagem, mapaX, mapaY, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));

    e.valida.create(altura, largura, CV_8U);
    const float maxX = static_cast<float>(captura.cols - 1),
                maxY = static_cast<float>(captura.rows - 1);
    for (int y = 0; y < altura; ++y)
        for (int x = 0; x < largura; ++x) {
            const float qx = mapaX.at<float>(y, x), qy = mapaY.at<float>(y, x);
            e.valida.at<uchar>(y, x) = qx >= 0 && qy >= 0 && qx <= maxX && qy <= maxY;
        }
    return e;
}

Casamento casar(const cv::Mat& padrao, const CapturaEndireitada& endireitada, cv::Point ponto,
                int meiaJanela, int raio, double minima, bool fino, const cv::Mat& nitido)
{
    Casamento c;
    const cv::Rect inteira(ponto.x - meiaJanela, ponto.y - meiaJanela, 2 * meiaJanela + 1,
                           2 * meiaJanela + 1);
    const int m = endireitada.margem;
    const cv::Rect janela =
        janelaNaCaptura(inteira & cv::Rect(0, 0, padrao.cols, padrao.rows), endireitada, raio);
    if (2 * janela.area() < inteira.area()) return c;
    const cv::Mat modelo = padrao(janela);
    cv::Scalar media, desvio;
    if (!nitido.empty()) {
        cv::Scalar m, d;
        cv::meanStdDev(nitido(janela), m, d);
        if (d[0] < kTexturaMinima) return c;
    }
    cv::meanStdDev(modelo, media, desvio);
    if (nitido.empty() && desvio[0] < kTexturaMinima) return c;
    const cv::Rect busca(janela.x + m - raio, janela.y + m - raio, janela.width + 2 * raio,
                         janela.height + 2 * raio);

    cv::Mat correlacao;
    cv::matchTemplate(endireitada.imagem(busca), modelo, correlacao, cv::TM_CCOEFF_NORMED);
    double melhor = 0;
    cv::Point pico;
    cv::minMaxLoc(correlacao, nullptr, &melhor, nullptr, &pico);
    if (!(melhor >= minima) || pico.x == 0 || pico.y == 0 || pico.x == correlacao.cols - 1 ||
        pico.y == correlacao.rows - 1)
        return c;
    const auto v = [&](int dx, int dy) {
        return static_cast<double>(correlacao.at<float>(pico.y + dy, pico.x + dx));
    };
    cv::Point2d d = cv::Point2d(pico.x - raio, pico.y - raio) + verticeDaQuadrica(v);

    // ECC on the shift alone, from the quadric's answer, over a window that leaves room for it
    // in the straightened capture.
    const cv::Rect area(janela.x + m + pico.x - raio - kFolgaEcc,
                        janela.y + m + pico.y - raio - kFolgaEcc, janela.width + 2 * kFolgaEcc,
                        janela.height + 2 * kFolgaEcc);
    const cv::Rect imagem(0, 0, endireitada.imagem.cols, endireitada.imagem.rows);
    if (fino && (area & imagem) == area &&
        cv::countNonZero(endireitada.valida(area)) == area.area()) {
        cv::Matx23f deslocamento(1, 0, static_cast<float>(d.x - (pico.x - raio) + kFolgaEcc), 0, 1,
                                 static_cast<float>(d.y - (pico.y - raio) + kFolgaEcc));
        cv::Mat w(deslocamento);
        try {
            cv::findTransformECC(
                modelo, endireitada.imagem(area), w, cv::MOTION_TRANSLATION,
                cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 1e-4),
                cv::noArray(), 3);
            const cv::Point2d fino(pico.x - raio - kFolgaEcc + w.at<float>(0, 2),
                                   pico.y - raio - kFolgaEcc + w.at<float>(1, 2));
            if (cv::norm(fino - d) < 1.0) d = fino;
        } catch (const cv::Exception&) {
            // ECC did not settle; the quadric's answer stands.
        }
    }
    c.achado = true;
    c.deslocamento = d;
    c.confianca = melhor;
    c.covariancia = covarianciaDoCasamento(modelo, desvio[0], melhor);
    return c;
}

double desfoqueDaCaptura(const cv::Mat& padrao, const CapturaEndireitada& endireitada)
{
    const int m = endireitada.margem;
    const cv::Rect dentro(m, m, padrao.cols, padrao.rows);
    const cv::Mat vista = endireitada.imagem(dentro);
    cv::Mat disco = cv::Mat::zeros(padrao.size(), CV_8U);
    cv::circle(disco, cv::Point(kCentroDoCampo, kCentroDoCampo), kRaioDoCampo, cv::Scalar(255),
               cv::FILLED);
    disco &= endireitada.valida(dentro);
    if (cv::countNonZero(disco) < 1000) return 0;
    // A blur that gains the correlation little is not worth the sharpness it costs the match.
    constexpr double kGanhoMinimo = 0.02;
    double melhor = -2, sigma = 0, nitida = -2;
    for (double s : {0.0, 0.7, 1.0, 1.4, 2.0, 2.8, 4.0, 5.6}) {
        cv::Mat suave; // a picture of its own: the pattern stays as it is
        if (s > 0)
            cv::GaussianBlur(padrao, suave, cv::Size(0, 0), s);
        else
            suave = padrao;
        const double c = cv::computeECC(suave, vista, disco);
        if (s == 0) nitida = c;
        if (std::isfinite(c) && c > melhor + 0.002) {
            melhor = c;
            sigma = s;
        }
    }
    return melhor > nitida + kGanhoMinimo ? sigma : 0;
}

} // namespace corretor
