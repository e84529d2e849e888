#include "calibration/sintetica/demo_scene.h"

#include "mesh/ampliacao.h"
#include "utilities/angles.h"
#include "utilities/field.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);
constexpr double kRaio = kRaioDoCampo;

// Supersampling of the picture: samples per pixel along each axis.
constexpr int kAmostras = 4;

// Drawing coordinates with this many fractional bits give the anti-aliased lines sub-pixel
// positions.
constexpr int kBitsFracionarios = 4;

cv::Point fixo(cv::Point2d p)
{
    const double escala = 1 << kBitsFracionarios;
    return cv::Point(static_cast<int>(std::lround(p.x * escala)),
                     static_cast<int>(std::lround(p.y * escala)));
}

void circulo(cv::Mat& m, double raio, const cv::Scalar& cor, int espessura)
{
    cv::circle(m, fixo(kCentro), static_cast<int>(std::lround(raio * (1 << kBitsFracionarios))),
               cor, espessura, cv::LINE_AA, kBitsFracionarios);
}

void linha(cv::Mat& m, cv::Point2d a, cv::Point2d b, const cv::Scalar& cor, int espessura)
{
    cv::line(m, fixo(a), fixo(b), cor, espessura, cv::LINE_AA, kBitsFracionarios);
}

} // namespace

Distorcao distorcaoDaDemo()
{
    const double meio = (kLadoDaAmostra - 1) / 2.0;
    return Distorcao{-0.10, emRadianos(2.0), 0.49, cv::Point2d(meio + 3, meio - 2)};
}

cv::Point2d distorcer(const Distorcao& d, cv::Point2d p)
{
    const cv::Point2d u = (p - kCentro) / kRaio;
    const cv::Point2d ud = u * (1 + d.k1 * u.dot(u));
    const double c = std::cos(d.angulo), s = std::sin(d.angulo);
    const double f = d.escala * kRaio;
    return d.centro + f * cv::Point2d(c * ud.x - s * ud.y, s * ud.x + c * ud.y);
}

bool desfazerDistorcao(const Distorcao& d, cv::Point2d q, cv::Point2d& p)
{
    const double c = std::cos(d.angulo), s = std::sin(d.angulo);
    const cv::Point2d v = (q - d.centro) / (d.escala * kRaio);
    const cv::Point2d ud(c * v.x + s * v.y, -s * v.x + c * v.y); // turned back
    const double rd = std::sqrt(ud.dot(ud));

    // Solve r (1 + k1 r^2) = rd for r. When k1 < 0 the left side rises only up to the fold
    // radius rMax, where its slope 1 + 3 k1 r^2 reaches 0; above the fold's height nothing
    // lands.
    if (d.k1 < 0) {
        const double rMax = std::sqrt(-1 / (3 * d.k1));
        if (rd >= rMax * (1 + d.k1 * rMax * rMax)) return false;
    }
    // Newton from r = rd. For k1 < 0 the curve is concave and rd lies below the root, for
    // k1 > 0 convex and rd above it: either way every step stays on the side it started.
    double r = rd;
    for (int i = 0; i < 50; ++i) {
        const double passo = (rd - r * (1 + d.k1 * r * r)) / (1 + 3 * d.k1 * r * r);
        r += passo;
        if (std::abs(passo) < 1e-13) break;
    }
    const cv::Point2d u = rd > 0 ? ud * (r / rd) : cv::Point2d(0, 0);
    p = kCentro + kRaio * u;
    return true;
}

cv::Mat desenharPadrao()
{
    const int lado = kLadoDoPadrao;
    const int meio = kCentroDoCampo;
    cv::Mat padrao(lado, lado, CV_8UC3);
    // Quadrants (blue, green, red): pink top-left, green top-right, blue bottom-left, yellow
    // bottom-right.
    padrao(cv::Rect(0, 0, meio, meio)).setTo(cv::Scalar(215, 220, 250));
    padrao(cv::Rect(meio, 0, lado - meio, meio)).setTo(cv::Scalar(210, 245, 215));
    padrao(cv::Rect(0, meio, meio, lado - meio)).setTo(cv::Scalar(250, 225, 200));
    padrao(cv::Rect(meio, meio, lado - meio, lado - meio)).setTo(cv::Scalar(195, 240, 245));

    const cv::Scalar grade(170, 150, 140), verde(60, 125, 30), azul(150, 60, 20),
        vermelho(40, 40, 175), laranja(0, 140, 255);
    for (int k = -9; k <= 9; ++k) {
        const double a = kCentroDoCampo + 24.0 * k;
        linha(padrao, cv::Point2d(a, 0), cv::Point2d(a, lado - 1), grade, 1);
        linha(padrao, cv::Point2d(0, a), cv::Point2d(lado - 1, a), grade, 1);
    }
    for (int k = 0; k < 16; ++k) {
        const double t = 2 * kPi * k / 16;
        const cv::Point2d direcao(std::cos(t), std::sin(t));
        linha(padrao, kCentro + 15 * direcao, kCentro + kRaio * direcao, verde, 1);
    }
    for (int k = 1; k <= 7; ++k)
        circulo(padrao, 30 * k, k % 2 ? azul : vermelho, 2);
    circulo(padrao, 7, laranja, cv::FILLED);
    return padrao;
}

cv::Mat fotografarPadrao(const cv::Mat& padrao, const Distorcao& d)
{
    // Sample (X, Y) of the fine grid lies at picture point ((X - 1.5) / 4, (Y - 1.5) / 4):
    // the 4 x 4 samples of a pixel sit at its centre +-0.125 and +-0.375.
    const int fino = kLadoDaAmostra * kAmostras;
    const double recuo = (kAmostras - 1) / 2.0;
    cv::Mat mapaX(fino, fino, CV_32F), mapaY(fino, fino, CV_32F);
    for (int y = 0; y < fino; ++y)
        for (int x = 0; x < fino; ++x) {
            cv::Point2d p(-1000, -1000); // outside the pattern: black
            desfazerDistorcao(d, cv::Point2d((x - recuo) / kAmostras, (y - recuo) / kAmostras), p);
            mapaX.at<float>(y, x) = static_cast<float>(p.x);
            mapaY.at<float>(y, x) = static_cast<float>(p.y);
        }
    cv::Mat amostras, foto;
    cv::remap(padrao, amostras, mapaX, mapaY, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
              cv::Scalar(0, 0, 0));
    cv::resize(amostras, foto, cv::Size(kLadoDaAmostra, kLadoDaAmostra), 0, 0, cv::INTER_AREA);
    return foto;
}

std::vector<cv::Point> nosDeDestino()
{
    struct Anel
    {
        int nos;
        double raio, fase; // fase: the first node's angle, in steps of 2 pi / nos
    };
    // Rings 58, 58, 54 and 44 pixels apart: closer towards the edge, where the lens bends
    // lines most and a flat triangle follows it worst. Along each ring the nodes are about as
    // far apart as the rings, so the triangles are near equilateral; the phases keep the nodes
    // of neighbouring rings off the same radius.
    const Anel aneis[] = {{6, 58, 0}, {12, 116, 0.5}, {19, 170, 0.25}, {25, 214, 0.5}};
    std::vector<cv::Point> nos = {cv::Point(kCentroDoCampo, kCentroDoCampo)};
    for (const auto& anel : aneis)
        for (int k = 0; k < anel.nos; ++k) {
            const double t = 2 * kPi * (k + anel.fase) / anel.nos;
            nos.emplace_back(
                static_cast<int>(std::lround(kCentroDoCampo + anel.raio * std::cos(t))),
                static_cast<int>(std::lround(kCentroDoCampo + anel.raio * std::sin(t))));
        }
    return nos;
}

cv::Point noDeOrigem(const Distorcao& d, cv::Point destino)
{
    return paraAmpliada(distorcer(d, cv::Point2d(destino)));
}

} // namespace corretor
