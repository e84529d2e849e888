#include "calibration/sintetica/captura_sintetica.h"

#include "calibration/print_pattern.h"
#include "calibration/sintetica/demo_scene.h"
#include "calibration/sintetica/targets.h"
#include "utilities/angles.h"
#include "utilities/field.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);
constexpr double kRaio = kRaioDoCampo;

// The lens without turn, scale and shift: u (field radii) to u_d, and its Jacobian.
cv::Point2d distorcaoPura(const Lente& l, cv::Point2d u, cv::Matx22d* jacobiana = nullptr)
{
    const double r2 = u.dot(u);
    const double f = 1 + r2 * (l.k1 + r2 * (l.k2 + r2 * l.k3));
    const cv::Point2d d(u.x * f + 2 * l.p1 * u.x * u.y + l.p2 * (r2 + 2 * u.x * u.x),
                        u.y * f + l.p1 * (r2 + 2 * u.y * u.y) + 2 * l.p2 * u.x * u.y);
    if (jacobiana != nullptr) {
        const double df = l.k1 + r2 * (2 * l.k2 + 3 * l.k3 * r2); // d f / d(r^2)
        *jacobiana = cv::Matx22d(f + 2 * u.x * u.x * df + 2 * l.p1 * u.y + 6 * l.p2 * u.x,
                                 2 * u.x * u.y * df + 2 * l.p1 * u.x + 2 * l.p2 * u.y,
                                 2 * u.x * u.y * df + 2 * l.p1 * u.x + 2 * l.p2 * u.y,
                                 f + 2 * u.y * u.y * df + 6 * l.p1 * u.y + 2 * l.p2 * u.x);
    }
    return d;
}

// The slope of the radial function r f(r): 1 + 3 k1 r^2 + 5 k2 r^4 + 7 k3 r^6.
double inclinacaoRadial(const Lente& l, double r)
{
    const double r2 = r * r;
    return 1 + r2 * (3 * l.k1 + r2 * (5 * l.k2 + r2 * 7 * l.k3));
}

// The radius where the radial function stops rising (the fold), or 3 when it rises to there.
double raioDaDobra(const Lente& l)
{
    for (int k = 0; k < 3000; ++k)
        if (inclinacaoRadial(l, k * 0.001) <= 0) return k * 0.001;
    return 3;
}

// Newton's method on distorcaoPura(u) = v from `u`, kept inside the fold radius.
bool inverterPura(const Lente& l, cv::Point2d v, double dobra, cv::Point2d& u)
{
    for (int i = 0; i < 40; ++i) {
        cv::Matx22d j;
        const cv::Point2d resto = v - distorcaoPura(l, u, &j);
        const double det = j(0, 0) * j(1, 1) - j(0, 1) * j(1, 0);
        if (!(det > 1e-9)) return false;
        cv::Point2d passo((j(1, 1) * resto.x - j(0, 1) * resto.y) / det,
                          (j(0, 0) * resto.y - j(1, 0) * resto.x) / det);
        // A step that would leave the branch is shortened.
        for (int k = 0; k < 30 && std::sqrt((u + passo).dot(u + passo)) >= dobra; ++k)
            passo *= 0.5;
        u += passo;
        if (passo.dot(passo) < 1e-24) return std::sqrt(u.dot(u)) < dobra;
    }
    return false;
}

// The capture point relative to the field centre's, turned back, unscaled and unmirrored: u_d.
cv::Point2d paraNormalizado(const Lente& l, cv::Point2d q)
{
    const double c = std::cos(l.angulo), s = std::sin(l.angulo);
    const cv::Point2d w = (q - l.centro) / (l.escala * kRaio);
    const cv::Point2d m(c * w.x + s * w.y, -s * w.x + c * w.y);
    return l.espelho ? cv::Point2d(-m.x, m.y) : m;
}

// The lens without its local displacements.
cv::Point2d lenteSuave(const Lente& l, cv::Point2d p)
{
    cv::Point2d d = distorcaoPura(l, (p - kCentro) / kRaio);
    if (l.espelho) d.x = -d.x;
    const double c = std::cos(l.angulo), s = std::sin(l.angulo);
    return l.centro + l.escala * kRaio * cv::Point2d(c * d.x - s * d.y, s * d.x + c * d.y);
}

cv::Point2d deslocamentoLocal(const Lente& l, cv::Point2d p)
{
    cv::Point2d soma(0, 0);
    for (const DeslocamentoLocal& b : l.locais) {
        const cv::Point2d d = p - b.centro;
        soma += b.vetor * std::exp(-d.dot(d) / (2 * b.raio * b.raio));
    }
    return soma;
}

// The pattern point of the capture point `q`, from the guess `u` (field radii, relative to the
// centre): Newton on the smooth lens, and around it a fixed point for the local displacements,
// which move much less than a pixel per pixel.
bool inverter(const Lente& l, cv::Point2d q, double dobra, cv::Point2d& u)
{
    if (l.locais.empty()) return inverterPura(l, paraNormalizado(l, q), dobra, u);
    cv::Point2d anterior(1e9, 1e9);
    for (int i = 0; i < 30; ++i) {
        const cv::Point2d p = kCentro + kRaio * u;
        if (!inverterPura(l, paraNormalizado(l, q - deslocamentoLocal(l, p)), dobra, u))
            return false;
        if (cv::norm(u - anterior) * kRaio < 1e-6) return true;
        anterior = u;
    }
    return false;
}

// The sheet and the table about `padrao`: a new picture of the pattern with `margem` pixels on
// every side, the sheet's white out to 40 pixels beyond the pattern and a table of smooth,
// darker texture beyond that.
cv::Mat cenaDaFolha(const cv::Mat& padrao, int margem)
{
    constexpr int kFolha = 40;
    std::mt19937 gerador(77);
    const int lado = std::max(padrao.cols, padrao.rows) + 2 * margem;
    // Wood-like: mostly brightness, a little hue.
    cv::Mat ruido = texturaMultiescala(lado, gerador), brilho;
    cv::transform(ruido, brilho, cv::Matx33f::all(1.0f / 3));
    cv::Mat mesa = brilho * 30 + ruido * 8 + cv::Scalar(70, 90, 110);
    cv::Mat cena;
    mesa.convertTo(cena, CV_8UC3);
    cena(cv::Rect(margem - kFolha, margem - kFolha, padrao.cols + 2 * kFolha,
                  padrao.rows + 2 * kFolha))
        .setTo(cv::Scalar::all(255));
    padrao.copyTo(cena(cv::Rect(margem, margem, padrao.cols, padrao.rows)));
    return cena;
}

double uniforme(std::mt19937& g, double a, double b)
{
    return std::uniform_real_distribution<double>(a, b)(g);
}

} // namespace

cv::Point2d aplicarLente(const Lente& lente, cv::Point2d p)
{
    return lenteSuave(lente, p) + deslocamentoLocal(lente, p);
}

bool desfazerLente(const Lente& lente, cv::Point2d q, cv::Point2d& p)
{
    cv::Point2d u = paraNormalizado(lente, q);
    if (!inverter(lente, q, raioDaDobra(lente), u)) return false;
    p = kCentro + kRaio * u;
    return true;
}

const char* nomeDoPadrao(TipoDePadrao tipo)
{
    switch (tipo) {
    case TipoDePadrao::Natural:
        return "natural";
    case TipoDePadrao::Demo:
        return "demo";
    case TipoDePadrao::DemoCinza:
        return "demo-cinza";
    case TipoDePadrao::Proprio:
        return "malha-padrao";
    case TipoDePadrao::XadrezQuadrado:
        return "xadrez-14x14";
    case TipoDePadrao::XadrezQuadradoLiso:
        return "xadrez-14x14-liso";
    case TipoDePadrao::XadrezOblongo:
        return "xadrez-13x10";
    case TipoDePadrao::XadrezOblongoLiso:
        return "xadrez-13x10-liso";
    case TipoDePadrao::CirculosAssimetricos:
        return "círculos-assim";
    default:
        return "círculos-largos";
    }
}

cv::Mat padraoSintetico(TipoDePadrao tipo, unsigned semente)
{
    switch (tipo) {
    case TipoDePadrao::Natural:
        return texturaDeCalibracao(semente);
    case TipoDePadrao::Demo:
        return desenharPadrao();
    case TipoDePadrao::Proprio:
        return padraoDeCalibracao();
    case TipoDePadrao::DemoCinza: {
        cv::Mat cinza, cor;
        cv::cvtColor(desenharPadrao(), cinza, cv::COLOR_BGR2GRAY);
        cv::cvtColor(cinza, cor, cv::COLOR_GRAY2BGR);
        return cor;
    }
    case TipoDePadrao::XadrezQuadrado:
    case TipoDePadrao::XadrezQuadradoLiso:
        return desenharXadrez(14, 14, 31, tipo == TipoDePadrao::XadrezQuadrado);
    case TipoDePadrao::XadrezOblongo:
    case TipoDePadrao::XadrezOblongoLiso:
        return desenharXadrez(13, 10, 32, tipo == TipoDePadrao::XadrezOblongo);
    case TipoDePadrao::CirculosAssimetricos:
        return desenharCirculos(11, 4, 36, true);
    default:
        return desenharCirculos(11, 7, 36, false);
    }
}

cv::Mat fotografar(const cv::Mat& padrao, const Caso& caso)
{
    if (caso.daDemo) {
        cv::Mat foto, grande;
        foto = fotografarPadrao(desenharPadrao(), distorcaoDaDemo());
        cv::resize(foto, grande, caso.tamanho, 0, 0, cv::INTER_CUBIC);
        return grande;
    }
    // Finer captures need fewer samples: the pattern's own pixels are the finest detail.
    const int amostras = std::clamp(static_cast<int>(std::ceil(4 / caso.lente.escala)), 1, 4);
    const double recuo = (amostras - 1) / 2.0;
    const Lente& lente = caso.lente;
    const double dobra = raioDaDobra(lente);
    // What the capture may show: the pattern alone, or its sheet and table out to where the
    // capture's corners reach (constant beyond).
    int margem = 0;
    cv::Mat cena = padrao;
    if (caso.fundo == Fundo::Folha) {
        // As far beyond the pattern as the capture's border reaches (where the lens still
        // gives a pattern point), at most 700 pixels.
        double alem = 60;
        for (int k = 0; k <= 16; ++k)
            for (const cv::Point2d q :
                 {cv::Point2d(k * (caso.tamanho.width - 1) / 16.0, 0),
                  cv::Point2d(k * (caso.tamanho.width - 1) / 16.0, caso.tamanho.height - 1),
                  cv::Point2d(0, k * (caso.tamanho.height - 1) / 16.0),
                  cv::Point2d(caso.tamanho.width - 1, k * (caso.tamanho.height - 1) / 16.0)}) {
                cv::Point2d p;
                if (desfazerLente(lente, q, p))
                    alem = std::max({alem, -p.x, -p.y, p.x - padrao.cols, p.y - padrao.rows});
            }
        margem = static_cast<int>(std::min(700.0, alem + 20));
        cena = cenaDaFolha(padrao, margem);
    }
    const cv::Scalar alem =
        caso.fundo == Fundo::Folha ? cv::Scalar(70, 90, 110) : cv::Scalar::all(0);
    cv::Mat foto(caso.tamanho, CV_8UC3);
    // Row bands, so that a large capture needs no map of all its samples at once.
    constexpr int kFaixa = 64;
    for (int y0 = 0; y0 < caso.tamanho.height; y0 += kFaixa) {
        const int linhas = std::min(kFaixa, caso.tamanho.height - y0);
        const int largura = caso.tamanho.width * amostras, altura = linhas * amostras;
        cv::Mat mapaX(altura, largura, CV_32F), mapaY(altura, largura, CV_32F);
        cv::parallel_for_(cv::Range(0, altura), [&](const cv::Range& faixa) {
            for (int y = faixa.start; y < faixa.end; ++y) {
                cv::Point2d u(0, 0);
                bool temAnterior = false;
                for (int x = 0; x < largura; ++x) {
                    const cv::Point2d q((x - recuo) / amostras, y0 + (y - recuo) / amostras);
                    // Started from the neighbour's answer, Newton needs two or three steps.
                    cv::Point2d tentativa = temAnterior ? u : paraNormalizado(lente, q);
                    temAnterior = inverter(lente, q, dobra, tentativa);
                    if (!temAnterior) {
                        tentativa = paraNormalizado(lente, q);
                        temAnterior = inverter(lente, q, dobra, tentativa);
                    }
                    cv::Point2d p(-1e6, -1e6); // no pattern point: black
                    if (temAnterior) {
                        u = tentativa;
                        p = kCentro + kRaio * u + cv::Point2d(margem, margem);
                    }
                    mapaX.at<float>(y, x) = static_cast<float>(p.x);
                    mapaY.at<float>(y, x) = static_cast<float>(p.y);
                }
            }
        });
        cv::Mat amostrado, reduzido;
        cv::remap(cena, amostrado, mapaX, mapaY, cv::INTER_LINEAR, cv::BORDER_CONSTANT, alem);
        // Samples with no pattern point are black whatever lies beyond.
        cv::Mat nenhum = mapaX < -1e5;
        amostrado.setTo(cv::Scalar::all(0), nenhum);
        cv::resize(amostrado, reduzido, cv::Size(caso.tamanho.width, linhas), 0, 0, cv::INTER_AREA);
        reduzido.copyTo(foto.rowRange(y0, y0 + linhas));
    }

    cv::Mat f;
    foto.convertTo(f, CV_32FC3);
    if (caso.vinheta > 0) {
        const double raio = lente.escala * kRaio;
        for (int y = 0; y < f.rows; ++y)
            for (int x = 0; x < f.cols; ++x) {
                const cv::Point2d d = (cv::Point2d(x, y) - lente.centro) / raio;
                f.at<cv::Vec3f>(y, x) *=
                    static_cast<float>(std::max(0.0, 1 - caso.vinheta * d.dot(d)));
            }
    }
    if (caso.desfoque > 0) cv::GaussianBlur(f, f, cv::Size(0, 0), caso.desfoque);
    if (caso.ruido > 0) {
        cv::Mat ruido(f.size(), CV_32FC3);
        cv::RNG rng(caso.sementeDoRuido);
        rng.fill(ruido, cv::RNG::NORMAL, 0, caso.ruido);
        f += ruido;
    }
    f.convertTo(foto, CV_8UC3);
    if (caso.qualidade > 0) {
        std::vector<uchar> jpeg;
        cv::imencode(".jpg", foto, jpeg, {cv::IMWRITE_JPEG_QUALITY, caso.qualidade});
        foto = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    }
    return foto;
}

cv::Rect2d retanguloDoCampo(const Lente& lente)
{
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (int k = 0; k < 720; ++k) {
        const double t = 2 * kPi * k / 720;
        const cv::Point2d q =
            aplicarLente(lente, kCentro + kRaio * cv::Point2d(std::cos(t), std::sin(t)));
        x0 = std::min(x0, q.x), y0 = std::min(y0, q.y);
        x1 = std::max(x1, q.x), y1 = std::max(y1, q.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

cv::Rect2d retanguloDoPadrao(const Lente& lente, double margem)
{
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    const double a = -margem, b = kLadoDoPadrao - 1 + margem;
    for (int k = 0; k <= 400; ++k) {
        const double t = a + (b - a) * k / 400;
        for (const cv::Point2d p :
             {cv::Point2d(t, a), cv::Point2d(t, b), cv::Point2d(a, t), cv::Point2d(b, t)}) {
            const cv::Point2d q = aplicarLente(lente, p);
            x0 = std::min(x0, q.x), y0 = std::min(y0, q.y);
            x1 = std::max(x1, q.x), y1 = std::max(y1, q.y);
        }
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

Caso casoAleatorio(TipoDePadrao tipo, std::mt19937& g, double escalaMaxima)
{
    Caso caso;
    caso.padrao = tipo;
    caso.sementeDoPadrao = g();
    Lente& l = caso.lente;
    for (;;) {
        l.k1 = uniforme(g, -0.25, 0.25);
        l.k2 = uniforme(g, -0.08, 0.08);
        l.k3 = uniforme(g, -0.03, 0.03);
        bool subindo = true;
        for (int k = 0; k <= 115; ++k)
            subindo = subindo && inclinacaoRadial(l, k * 0.01) > 0.3;
        if (subindo) break;
    }
    l.p1 = uniforme(g, -0.01, 0.01);
    l.p2 = uniforme(g, -0.01, 0.01);
    l.angulo = emRadianos(uniforme(g, -10, 10));
    l.escala = uniforme(g, 0.7, std::max(0.7, escalaMaxima));

    // The field's box about a centre at the origin, then a capture somewhat larger with the
    // centre anywhere the field still fits, two pixels clear of the border.
    l.centro = cv::Point2d(0, 0);
    const cv::Rect2d caixa = retanguloDoCampo(l);
    caso.tamanho = cv::Size(static_cast<int>(std::ceil(caixa.width * uniforme(g, 1.03, 1.5))) + 4,
                            static_cast<int>(std::ceil(caixa.height * uniforme(g, 1.03, 1.5))) + 4);
    l.centro = cv::Point2d(uniforme(g, 2 - caixa.x, caso.tamanho.width - 3 - caixa.br().x),
                           uniforme(g, 2 - caixa.y, caso.tamanho.height - 3 - caixa.br().y));
    caso.ruido = uniforme(g, 0, 5);
    caso.desfoque = uniforme(g, 0, 1.5);
    caso.qualidade = std::uniform_int_distribution<int>(70, 95)(g);
    caso.vinheta = uniforme(g, 0, 0.4);
    caso.sementeDoRuido = g();
    return caso;
}

std::string descreverCaso(const Caso& c)
{
    double local = 0;
    for (const DeslocamentoLocal& b : c.lente.locais)
        local = std::max(local, cv::norm(b.vetor));
    char texto[320];
    std::snprintf(texto, sizeof texto,
                  "%-17s %4dx%-4d k %+.2f %+.2f %+.2f p %+.3f %+.3f giro %+6.1f escala %.2f%s "
                  "ruído %.1f desfoque %.1f jpeg %d vinheta %.0f%%",
                  c.daDemo ? "amostra.jpg" : nomeDoPadrao(c.padrao), c.tamanho.width,
                  c.tamanho.height, c.lente.k1, c.lente.k2, c.lente.k3, c.lente.p1, c.lente.p2,
                  emGraus(c.lente.angulo), c.lente.escala, c.lente.espelho ? " espelho" : "",
                  c.ruido, c.desfoque, c.qualidade, 100 * c.vinheta);
    std::string linha = texto;
    if (local > 0) {
        std::snprintf(texto, sizeof texto, " local até %.1f px", local);
        linha += texto;
    }
    if (c.comGiro) {
        std::snprintf(texto, sizeof texto, " --giro %.0f", c.giro);
        linha += texto;
    }
    return linha;
}

} // namespace corretor
