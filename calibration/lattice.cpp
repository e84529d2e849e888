#include "calibration/lattice.h"

#include "utilities/field.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);

// A pattern's periods are sought up to this many pixels, and a shift counts as one when the
// pattern correlates with itself shifted by at least this much.
constexpr int kAlcanceDoPeriodo = 90;
constexpr float kSemelhancaDoPeriodo = 0.6f;

// The capture's periods are sought with its shorter side brought down to this many pixels, as
// peaks of its autocorrelation of at least this much.
constexpr double kLadoDosPeriodos = 400;
constexpr float kPicoMinimo = 0.12f;

// The outline: the pattern is placed on white paper this many pattern pixels wide, the whole
// brought to about kLadoDoContorno capture pixels.
constexpr int kPapel = 15;
constexpr double kLadoDoContorno = 128;

struct Pico
{
    cv::Point2d v;
    double valor;
};

// The local maxima of the autocorrelation `a` (zero shift at `zero`) of at least `minimo`, with
// shifts from `curto` to `longo` pixels, best first.
std::vector<Pico> picos(const cv::Mat& a, cv::Point zero, float minimo, double curto, double longo)
{
    cv::Mat vizinhos;
    cv::dilate(a, vizinhos, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
    std::vector<Pico> achados;
    for (int y = 1; y + 1 < a.rows; ++y)
        for (int x = 1; x + 1 < a.cols; ++x) {
            const float v = a.at<float>(y, x);
            const cv::Point2d d(x - zero.x, y - zero.y);
            const double n = std::sqrt(d.dot(d));
            if (!(v >= minimo) || v < vizinhos.at<float>(y, x) || n < curto || n > longo) continue;
            achados.push_back({d, v});
        }
    std::sort(achados.begin(), achados.end(),
              [](const Pico& a, const Pico& b) { return a.valor > b.valor; });
    return achados;
}

// The capture's periods, in capture pixels: the peaks of the autocorrelation of its detail
// (what is left after a wide blur is taken off), over the capture brought to kLadoDosPeriodos.
std::vector<Pico> periodosDaCaptura(const cv::Mat& captura)
{
    const double fator = std::max(1.0, std::min(captura.cols, captura.rows) / kLadoDosPeriodos);
    cv::Mat menor = captura;
    if (fator > 1) cv::resize(captura, menor, cv::Size(), 1 / fator, 1 / fator, cv::INTER_AREA);
    cv::Mat f, fundo;
    menor.convertTo(f, CV_32F);
    cv::GaussianBlur(f, f, cv::Size(0, 0), 0.7);
    cv::GaussianBlur(f, fundo, cv::Size(0, 0), 10);
    f -= fundo;
    cv::Mat janela;
    cv::createHanningWindow(janela, f.size(), CV_32F);
    f = f.mul(janela);
    // Autocorrelation by the power spectrum, on a size the transform likes.
    const cv::Size tamanho(cv::getOptimalDFTSize(2 * f.cols), cv::getOptimalDFTSize(2 * f.rows));
    cv::Mat z = cv::Mat::zeros(tamanho, CV_32F), espectro, potencia, a;
    f.copyTo(z(cv::Rect(0, 0, f.cols, f.rows)));
    cv::dft(z, espectro, cv::DFT_COMPLEX_OUTPUT);
    cv::mulSpectrums(espectro, espectro, potencia, 0, true);
    cv::idft(potencia, a, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);
    const float zero = a.at<float>(0, 0);
    if (!(zero > 0)) return {};
    a /= zero;
    // The shifts of either sign about the middle.
    const int meioX = f.cols / 2, meioY = f.rows / 2;
    cv::Mat centrada(2 * meioY + 1, 2 * meioX + 1, CV_32F);
    for (int y = -meioY; y <= meioY; ++y)
        for (int x = -meioX; x <= meioX; ++x)
            centrada.at<float>(y + meioY, x + meioX) =
                a.at<float>((y + a.rows) % a.rows, (x + a.cols) % a.cols);
    std::vector<Pico> achados =
        picos(centrada, cv::Point(meioX, meioY), kPicoMinimo, 4, 0.3 * kLadoDosPeriodos);
    if (achados.size() > 12) achados.resize(12);
    for (Pico& p : achados)
        p.v *= fator;
    return achados;
}

// A picture reduced `fator` times: its pixel x is the original's fator * x + (fator - 1) / 2.
cv::Matx33d deReduzida(double fator)
{
    const double t = (fator - 1) / 2;
    return {fator, 0, t, 0, fator, t, 0, 0, 1};
}

// The normalized correlation of `modelo` with `imagem` at every place, over the pixels where
// `mascara` (0 or 1, CV_32F, the template's size) is 1, into `mapa` as matchTemplate gives it:
// with t the template less its mean over the mask, the sum of t I over the square root of the
// sum of t^2 times the image's variance sum under the mask. Three plain correlations, which the
// library computes by Fourier transforms.
void correlacaoNaMascara(const cv::Mat& imagem, const cv::Mat& modelo, const cv::Mat& mascara,
                         cv::Mat& mapa)
{
    const double n = cv::sum(mascara)[0];
    cv::Mat t = modelo - cv::Scalar(cv::sum(modelo.mul(mascara))[0] / n);
    t = t.mul(mascara);
    const double somaT2 = t.dot(t);
    cv::Mat produtos, somas, quadrados;
    cv::matchTemplate(imagem, t, produtos, cv::TM_CCORR);
    cv::matchTemplate(imagem, mascara, somas, cv::TM_CCORR);
    cv::matchTemplate(imagem.mul(imagem), mascara, quadrados, cv::TM_CCORR);
    cv::Mat variancia = quadrados - somas.mul(somas) / n;
    cv::max(variancia, 1e-6 * (cv::norm(variancia, cv::NORM_INF) + 1), variancia);
    cv::sqrt(variancia * somaT2, variancia);
    mapa = produtos / variancia;
}

// How much detail a picture has about each pixel: the local amplitude of what a blur of
// `detalhe` pixels takes off, averaged over `alcance` pixels. Where a repeated pattern's detail
// lies it is high, on the paper and on a plain table low, whatever their brightness: the
// outline of the pattern, with no period left in it.
cv::Mat energia(const cv::Mat& imagem, double detalhe, double alcance)
{
    cv::Mat f, liso;
    imagem.convertTo(f, CV_32F);
    cv::GaussianBlur(f, liso, cv::Size(0, 0), detalhe, 0, cv::BORDER_REPLICATE);
    f -= liso;
    f = f.mul(f);
    cv::GaussianBlur(f, f, cv::Size(0, 0), alcance, 0, cv::BORDER_REPLICATE);
    cv::sqrt(cv::max(f, 0), f);
    return f;
}

// The shift of the linear map `linear` (pattern to capture) for which the pattern on its paper
// best matches the capture in where each has detail (energia, at the scale of the pattern's
// shortest period, `periodo` pattern pixels): a repeated pattern placed by its detail itself
// could sit one period off anywhere, while the outline of its detail places it whole.
// `correlacao` gets that correlation. Only the pattern and a strip of its paper are compared:
// what lies beyond the paper is not known.
// The capture's energia for the maps of one scale, kept for the next map of that scale.
struct EnergiaDaCaptura
{
    double escala = 0;
    cv::Mat mapa;
};

cv::Matx23d colocar(const cv::Mat& padrao, const cv::Mat& captura, const cv::Matx22d& linear,
                    double periodo, EnergiaDaCaptura& guardada, double& correlacao)
{
    const double escala = std::sqrt(std::abs(cv::determinant(linear)));
    const double reducao = std::max(1.0, escala * (padrao.cols + 2 * kPapel) / kLadoDoContorno);
    const double s = escala / reducao;
    const double detalhe = std::max(0.7, 0.25 * periodo * s);
    const double alcance = std::max(1.0, 0.5 * periodo * s);
    if (guardada.escala != escala) {
        cv::Mat menor = captura;
        if (reducao > 1)
            cv::resize(captura, menor, cv::Size(), 1 / reducao, 1 / reducao, cv::INTER_AREA);
        guardada = {escala, energia(menor, detalhe, alcance)};
    }
    const cv::Mat& naCaptura = guardada.mapa;
    // The pattern on its paper, brought to the template's size, then turned (and mirrored)
    // about its middle onto the template.
    cv::Mat papel;
    cv::copyMakeBorder(padrao, papel, kPapel, kPapel, kPapel, kPapel, cv::BORDER_CONSTANT,
                       cv::Scalar(255));
    cv::Mat pequeno;
    cv::resize(papel, pequeno, cv::Size(), s, s, cv::INTER_AREA);
    pequeno = energia(pequeno, detalhe, alcance);
    const cv::Matx22d giro = linear * (1 / escala);
    const double lado = std::sqrt(2.0) * std::max(pequeno.cols, pequeno.rows) + 2;
    const cv::Point2d meioP((pequeno.cols - 1) / 2.0, (pequeno.rows - 1) / 2.0);
    const cv::Point2d meioT((lado - 1) / 2, (lado - 1) / 2);
    const cv::Point2d t = meioT - cv::Point2d(giro(0, 0) * meioP.x + giro(0, 1) * meioP.y,
                                              giro(1, 0) * meioP.x + giro(1, 1) * meioP.y);
    const cv::Matx23d paraModelo(giro(0, 0), giro(0, 1), t.x, giro(1, 0), giro(1, 1), t.y);
    const cv::Size tamanho(cvCeil(lado), cvCeil(lado));
    cv::Mat modelo, mascara;
    cv::warpAffine(pequeno, modelo, paraModelo, tamanho, cv::INTER_LINEAR);
    cv::warpAffine(cv::Mat(pequeno.size(), CV_32F, cv::Scalar(1)), mascara, paraModelo, tamanho,
                   cv::INTER_NEAREST);
    // The capture with room about it, so that a pattern reaching past its border is placed too;
    // the room is flat and so counts for nothing.
    const int folga = modelo.cols / 2;
    cv::Mat larga, mapa;
    cv::copyMakeBorder(naCaptura, larga, folga, folga, folga, folga, cv::BORDER_CONSTANT,
                       cv::mean(naCaptura));
    correlacaoNaMascara(larga, modelo, mascara, mapa);
    cv::patchNaNs(mapa, -1);
    cv::Point onde;
    cv::minMaxLoc(mapa, nullptr, &correlacao, nullptr, &onde);
    if (!std::isfinite(correlacao)) correlacao = -1;
    // Pattern pixel p lies at p + kPapel on the paper, which was brought to the small paper by
    // the inverse of deReduzida(1 / s); then through the template and the room about the reduced
    // capture, and from the reduced capture to the capture.
    const cv::Matx33d paraPequeno =
        deReduzida(1 / s).inv() * cv::Matx33d(1, 0, kPapel, 0, 1, kPapel, 0, 0, 1);
    const cv::Matx33d paraMenor(1, 0, onde.x - folga, 0, 1, onde.y - folga, 0, 0, 1);
    const cv::Matx33d m =
        deReduzida(reducao) * paraMenor *
        cv::Matx33d(paraModelo(0, 0), paraModelo(0, 1), paraModelo(0, 2), paraModelo(1, 0),
                    paraModelo(1, 1), paraModelo(1, 2), 0, 0, 1) *
        paraPequeno;
    return {m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2)};
}

} // namespace

std::vector<cv::Point2d> periodosDoPadrao(const cv::Mat& padrao)
{
    cv::Mat f;
    padrao.convertTo(f, CV_32F);
    const int meio = static_cast<int>(0.45 * kRaioDoCampo), busca = kAlcanceDoPeriodo;
    const cv::Point c(kCentroDoCampo, kCentroDoCampo);
    const cv::Rect modelo(c.x - meio, c.y - meio, 2 * meio + 1, 2 * meio + 1);
    const cv::Rect area = cv::Rect(modelo.x - busca, modelo.y - busca, modelo.width + 2 * busca,
                                   modelo.height + 2 * busca) &
                          cv::Rect(0, 0, f.cols, f.rows);
    if ((modelo & area) != modelo) return {};
    cv::Mat mapa;
    cv::matchTemplate(f(area), f(modelo), mapa, cv::TM_CCOEFF_NORMED);
    cv::patchNaNs(mapa, -1);
    const cv::Point zero(modelo.x - area.x, modelo.y - area.y);
    // The shortest shifts: a repeated pattern's multiples of a period are as alike as the period.
    std::vector<Pico> achados = picos(mapa, zero, kSemelhancaDoPeriodo, 3, kAlcanceDoPeriodo);
    std::stable_sort(achados.begin(), achados.end(), [](const Pico& a, const Pico& b) {
        return a.v.dot(a.v) < b.v.dot(b.v) - 1e-9;
    });
    std::vector<cv::Point2d> periodos;
    for (const Pico& p : achados) {
        if (periodos.size() >= 8) break;
        if (std::find(periodos.begin(), periodos.end(), p.v) == periodos.end()) {
            periodos.push_back(p.v);
            periodos.push_back(-p.v);
        }
    }
    return periodos;
}

double menorPeriodo(const std::vector<cv::Point2d>& periodos)
{
    double menor = 0;
    for (const cv::Point2d& v : periodos)
        if (menor == 0 || cv::norm(v) < menor) menor = cv::norm(v);
    return menor;
}

std::vector<cv::Matx23d> candidatasDoReticulado(const cv::Mat& padrao,
                                                const std::vector<cv::Point2d>& periodos,
                                                const cv::Mat& captura,
                                                bool (*plausivel)(const cv::Matx23d&, cv::Size))
{
    if (periodos.empty()) return {};
    const std::vector<Pico> daCaptura = periodosDaCaptura(captura);
    // Each of the capture's strongest periods as the image of each of the pattern's, mirrored
    // or not: a linear map, scored by how many of the pattern's periods it carries onto one of
    // the capture's (each counted by the capture's peak).
    struct Linear
    {
        cv::Matx22d m;
        double nota;
    };
    std::vector<Linear> lineares;
    for (std::size_t i = 0; i < daCaptura.size() && i < 4; ++i)
        for (const cv::Point2d& a : periodos)
            for (bool espelho : {false, true}) {
                const cv::Matx22d f = espelho ? cv::Matx22d(-1, 0, 0, 1) : cv::Matx22d::eye();
                const cv::Point2d fa(f(0, 0) * a.x, a.y);
                const cv::Point2d b = daCaptura[i].v;
                const double s = cv::norm(b) / cv::norm(fa);
                const double t = std::atan2(b.y, b.x) - std::atan2(fa.y, fa.x);
                const cv::Matx22d m =
                    cv::Matx22d(std::cos(t), -std::sin(t), std::sin(t), std::cos(t)) * f * s;
                double nota = 0;
                for (const cv::Point2d& p : periodos) {
                    const cv::Point2d q(m(0, 0) * p.x + m(0, 1) * p.y,
                                        m(1, 0) * p.x + m(1, 1) * p.y);
                    for (const Pico& c : daCaptura)
                        if (cv::norm(q - c.v) < 0.12 * cv::norm(q)) {
                            nota += c.valor;
                            break;
                        }
                }
                // The shift comes later: only the size is judged here.
                if (!plausivel(cv::Matx23d(m(0, 0), m(0, 1), 0, m(1, 0), m(1, 1), 0),
                               captura.size()))
                    continue;
                bool repetida = false;
                for (Linear& l : lineares)
                    if (cv::norm(l.m - m) < 0.04 * s) {
                        l.nota = std::max(l.nota, nota);
                        repetida = true;
                    }
                if (!repetida) lineares.push_back({m, nota});
            }
    std::sort(lineares.begin(), lineares.end(),
              [](const Linear& a, const Linear& b) { return a.nota > b.nota; });
    // The maps of one scale (the periods' turns and mirrors) next to each other.
    std::vector<Linear> escolhidos;
    for (const Linear& l : lineares) {
        if (escolhidos.size() >= 8 || l.nota < 0.5 * lineares.front().nota) break;
        escolhidos.push_back(l);
    }
    std::stable_sort(escolhidos.begin(), escolhidos.end(), [](const Linear& a, const Linear& b) {
        return std::abs(cv::determinant(a.m)) < std::abs(cv::determinant(b.m)) * (1 - 1e-9);
    });
    std::vector<cv::Matx23d> candidatas;
    EnergiaDaCaptura guardada;
    for (const Linear& l : escolhidos) {
        double correlacao = 0;
        candidatas.push_back(
            colocar(padrao, captura, l.m, menorPeriodo(periodos), guardada, correlacao));
    }
    return candidatas;
}

} // namespace corretor
