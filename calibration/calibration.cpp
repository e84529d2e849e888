#include "calibration/calibration.h"

#include "calibration/lattice.h"
#include "calibration/pattern_matching.h"
#include "calibration/regions.h"
#include "calibration/symmetry.h"
#include "utilities/angles.h"
#include "utilities/field.h"
#include "utilities/report.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);
constexpr double kRaio = kRaioDoCampo;

constexpr int kMeiaJanela = 16;           // the matched neighbourhood: 33 x 33 pattern pixels
constexpr int kEspacoDeApoio = 16;        // support points: a grid this many pixels apart
constexpr double kAlcanceDeApoio = 1.15;  // out to this many field radii
constexpr double kCorrelacaoMinima = 0.5; // a match below it is no match
constexpr double kDesvioMinimo = 4.0;     // grey levels: a capture flatter than this is blank
// The share of the support points inside the field that must match for the capture to show
// the pattern, and of the nodes inside the field that must match for a mesh to be made.
constexpr double kApoioMinimo = 0.4;
constexpr double kNosMinimos = 0.7;
// Distances are judged in units of the larger of the capture's and the pattern's pixel (one
// capture pixel where the capture shows the field smaller than the pattern does, one pattern
// pixel where it shows it larger), so that a capture of any size is held to the same figures.
// The smooth model's own uncertainty (one standard deviation in each direction), and the
// disagreement beyond which, and beyond sqrt(kMahalanobisMaxima) standard deviations of the
// match and the model together, a node's match is replaced by the model's prediction.
constexpr double kIncertezaDoModelo = 0.1; // in judging how far single matches stray
constexpr double kDesacordoMinimo = 0.5;
constexpr double kMahalanobisMaxima = 25;
// Local displacements the lens does not follow: measured at the support points and spread
// between them with Gaussian weights of this width, pattern pixels, then measured again through
// what they have found, this many times in all.
constexpr double kAlcanceDoCampo = 12;
constexpr int kRodadas = 4;
// Searches reach at most this far, pattern pixels, and for a repeated pattern at most this
// share of its shortest period, so that no match lands one period off.
constexpr int kRaioMaximo = 12;
constexpr double kRaioPorPeriodo = 0.4;
// A capture is worked on brought down to about this many pixels on its shorter side: a finer
// one holds more pixels than the pattern has.
constexpr int kLadoDeTrabalho = 1600;

// The pictures as the calibration works on them, and what it learns of them on the way.
struct Imagens
{
    cv::Mat padrao, padrao8;        // grey, CV_32F and 8-bit
    cv::Mat casar;                  // the pattern as the capture shows it (as blurred), CV_32F
    cv::Mat cor, captura, captura8; // the capture, brought down `reducao` times: colour, grey
    cv::Mat suave;                  // captura smoothed for straightening (suavizarParaEndireitar)
    int reducao = 1;
    double unidade = 1; // working capture pixels per unit (see above)
    double periodo = 0; // the pattern's shortest period, 0 for none
};

std::string numero(double v, int casas = 2)
{
    if (!std::isfinite(v)) return "?";
    char texto[64];
    std::snprintf(texto, sizeof texto, "%.*f", casas, v);
    return texto;
}

// A picture reduced `fator` times: its pixel x is the original's fator * x + (fator - 1) / 2.
cv::Point2d daReduzida(cv::Point2d p, int fator)
{
    return p * fator + cv::Point2d(fator - 1, fator - 1) / 2;
}

cv::Point2d paraReduzida(cv::Point2d p, int fator)
{
    return (p - cv::Point2d(fator - 1, fator - 1) / 2) / fator;
}

bool prepararImagens(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                     Imagens& im)
{
    cv::cvtColor(padrao, im.padrao8, cv::COLOR_BGR2GRAY);
    im.padrao8.convertTo(im.padrao, CV_32F);
    im.casar = im.padrao;
    if (captura.cols < 2 * kMeiaJanela || captura.rows < 2 * kMeiaJanela) {
        falhar("a captura \"" + nome + "\" tem só " + std::to_string(captura.cols) + " x " +
               std::to_string(captura.rows) + " pixels; pequena demais para mostrar o padrão");
        return false;
    }
    im.reducao = std::max(1, std::min(captura.cols, captura.rows) / kLadoDeTrabalho);
    im.cor = captura;
    if (im.reducao > 1)
        cv::resize(captura, im.cor, cv::Size(captura.cols / im.reducao, captura.rows / im.reducao),
                   0, 0, cv::INTER_AREA);
    cv::cvtColor(im.cor, im.captura8, cv::COLOR_BGR2GRAY);
    im.captura8.convertTo(im.captura, CV_32F);
    cv::Scalar media, desvio;
    cv::meanStdDev(im.captura8, media, desvio);
    if (!(desvio[0] >= kDesvioMinimo)) {
        falhar("a captura \"" + nome + "\" é uniforme ou quase (desvio padrão de " +
               numero(desvio[0], 1) + " níveis de cinza); não mostra o padrão");
        return false;
    }
    cv::meanStdDev(im.padrao8, media, desvio);
    if (!(desvio[0] >= kDesvioMinimo)) {
        falhar("o padrão é uniforme ou quase; não há o que procurar na captura");
        return false;
    }
    return true;
}

std::vector<cv::Point> pontosDeApoio(cv::Size tamanho)
{
    std::vector<cv::Point> pontos;
    const int passos = static_cast<int>(kAlcanceDeApoio * kRaio / kEspacoDeApoio);
    for (int j = -passos; j <= passos; ++j)
        for (int i = -passos; i <= passos; ++i) {
            const cv::Point p(kCentroDoCampo + i * kEspacoDeApoio,
                              kCentroDoCampo + j * kEspacoDeApoio);
            if (cv::norm(cv::Point2d(p) - kCentro) <= kAlcanceDeApoio * kRaio && p.x >= 0 &&
                p.y >= 0 && p.x < tamanho.width && p.y < tamanho.height)
                pontos.push_back(p);
        }
    return pontos;
}

// For each support point, the indices of the support points about it: itself and its eight
// neighbours on the grid, as far as they exist.
std::vector<std::vector<std::size_t>> vizinhosNaGrade(const std::vector<cv::Point>& pontos)
{
    std::map<std::pair<int, int>, std::size_t> indice;
    for (std::size_t i = 0; i < pontos.size(); ++i)
        indice[{pontos[i].x, pontos[i].y}] = i;
    std::vector<std::vector<std::size_t>> vizinhos(pontos.size());
    for (std::size_t i = 0; i < pontos.size(); ++i)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const auto onde = indice.find(
                    {pontos[i].x + dx * kEspacoDeApoio, pontos[i].y + dy * kEspacoDeApoio});
                if (onde != indice.end()) vizinhos[i].push_back(onde->second);
            }
    return vizinhos;
}

double raioDe(cv::Point2d p)
{
    return cv::norm(p - kCentro) / kRaio;
}

bool dentro(cv::Point2d p)
{
    return raioDe(p) < 1;
}

// A search of `raio` pattern pixels, kept short of the pattern's period.
int limitarRaio(const Imagens& im, int raio)
{
    raio = std::min(raio, kRaioMaximo);
    if (im.periodo > 0)
        raio = std::min(raio, std::max(2, static_cast<int>(kRaioPorPeriodo * im.periodo)));
    return raio;
}

std::vector<Casamento> medir(const Imagens& im, const CapturaEndireitada& e,
                             const std::vector<cv::Point>& pontos, int raio, bool fino)
{
    std::vector<Casamento> casamentos(pontos.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(pontos.size())), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i)
            casamentos[i] = casar(im.casar, e, pontos[i], kMeiaJanela, raio, kCorrelacaoMinima,
                                  fino, im.padrao);
    });
    return casamentos;
}

// Every straightening uses one margin, wide enough for the longest search. The local
// displacement, smooth over a dozen pixels at least, lives on a grid of that area kPasso times
// coarser: pattern point p is its cell (p + kMargem) / kPasso, and every support point falls on
// a cell (218 + kMargem and kEspacoDeApoio are multiples of kPasso).
constexpr int kMargem = kMeiaJanela + kRaioMaximo + 6;
constexpr int kPasso = 4;
static_assert((kCentroDoCampo + kMargem) % kPasso == 0 && kEspacoDeApoio % kPasso == 0,
              "support points on the local displacement's cells");

// The lens model plus the local displacement: the capture point of each pattern point.
struct Mapa
{
    ModeloDaLente lente;
    cv::Mat campo; // CV_32FC2, capture pixels, on the coarse grid above

    cv::Point2d aplicar(cv::Point2d p) const { return lente.aplicar(p) + local(p); }

    // The local displacement at `p`, bilinearly; none beyond the grid.
    cv::Point2d local(cv::Point2d p) const
    {
        if (campo.empty()) return {0, 0};
        const double x = (p.x + kMargem) / kPasso, y = (p.y + kMargem) / kPasso;
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        if (x0 < 0 || y0 < 0 || x0 + 1 >= campo.cols || y0 + 1 >= campo.rows) return {0, 0};
        const double fx = x - x0, fy = y - y0;
        const auto v = [&](int i, int j) { return cv::Point2d(campo.at<cv::Vec2f>(j, i)); };
        return (1 - fy) * ((1 - fx) * v(x0, y0) + fx * v(x0 + 1, y0)) +
               fy * ((1 - fx) * v(x0, y0 + 1) + fx * v(x0 + 1, y0 + 1));
    }
};

CapturaEndireitada endireitarPor(const Imagens& im, const Mapa& mapa)
{
    // The local displacement at every pixel of the straightening grid, bilinearly from its cells.
    cv::Mat denso;
    if (!mapa.campo.empty()) {
        const cv::Size grade(im.padrao.cols + 2 * kMargem, im.padrao.rows + 2 * kMargem);
        cv::Mat mapaX(grade, CV_32F), mapaY(grade, CV_32F);
        for (int y = 0; y < grade.height; ++y)
            for (int x = 0; x < grade.width; ++x) {
                mapaX.at<float>(y, x) = static_cast<float>(x) / kPasso;
                mapaY.at<float>(y, x) = static_cast<float>(y) / kPasso;
            }
        cv::remap(mapa.campo, denso, mapaX, mapaY, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    }
    return endireitar(im.suave, mapa.lente, im.padrao.size(), kMargem, denso, true);
}

struct Pares
{
    std::vector<cv::Point2d> padrao, captura;
    std::vector<cv::Matx22d> covariancia; // of each match, pattern pixels squared
};

Pares paresDe(const std::vector<cv::Point>& pontos, const std::vector<Casamento>& casamentos,
              const Mapa& mapa)
{
    Pares pares;
    for (std::size_t i = 0; i < pontos.size(); ++i)
        if (casamentos[i].achado) {
            pares.padrao.emplace_back(pontos[i]);
            pares.captura.push_back(
                mapa.aplicar(cv::Point2d(pontos[i]) + casamentos[i].deslocamento));
            pares.covariancia.push_back(casamentos[i].covariancia);
        }
    return pares;
}

// The Jacobian of `f` at the pattern point `p`, by central differences.
template <class Funcao> cv::Matx22d jacobiana(const Funcao& f, cv::Point2d p)
{
    const cv::Point2d dx = f(p + cv::Point2d(0.5, 0)) - f(p - cv::Point2d(0.5, 0));
    const cv::Point2d dy = f(p + cv::Point2d(0, 0.5)) - f(p - cv::Point2d(0, 0.5));
    return {dx.x, dy.x, dx.y, dy.y};
}

double mediana(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// How much more a match errs than its covariance says (blur, compression and vignetting move a
// match more than noise alone): the factor F for which the support points' disagreements d
// with the map (what their last measurement still moved them), weighed as d^T (F Cm + Cs)^-1 d,
// have the median of a chi-square of two degrees of freedom (1.386), as they would if the
// covariances were right. At least 1.
double fatorDeIncerteza(const std::vector<cv::Point2d>& desacordos,
                        const std::vector<cv::Matx22d>& covariancias, double incerteza)
{
    if (desacordos.empty()) return 1;
    const cv::Matx22d cs = cv::Matx22d::eye() * (incerteza * incerteza);
    const auto medianaPara = [&](double f) {
        std::vector<double> m;
        for (std::size_t i = 0; i < desacordos.size(); ++i) {
            const cv::Vec2d d(desacordos[i].x, desacordos[i].y);
            m.push_back((d.t() * (covariancias[i] * f + cs).inv() * d)(0));
        }
        return mediana(m);
    };
    // The median falls as F grows: bisection on log F between 1 and 10^4.
    double baixo = 0, alto = 4;
    if (medianaPara(1) <= 1.386) return 1;
    for (int i = 0; i < 30; ++i) {
        const double meio = (baixo + alto) / 2;
        (medianaPara(std::pow(10, meio)) > 1.386 ? baixo : alto) = meio;
    }
    return std::pow(10, alto);
}

// Fits the model to the support points' pairs and keeps those the fit kept.
bool ajustar(ModeloDaLente& modelo, Pares& pares, Liberdade liberdade, double minimo)
{
    std::vector<bool> usado;
    if (!ajustarModeloRobusto(modelo, pares.padrao, pares.captura, liberdade, minimo, usado))
        return false;
    Pares mantidos;
    for (std::size_t i = 0; i < usado.size(); ++i)
        if (usado[i]) {
            mantidos.padrao.push_back(pares.padrao[i]);
            mantidos.captura.push_back(pares.captura[i]);
            mantidos.covariancia.push_back(pares.covariancia[i]);
        }
    pares = mantidos;
    return true;
}

bool mostraOPadrao(const std::string& nome, int casadosNoCampo, int noCampo)
{
    if (casadosNoCampo >= kApoioMinimo * noCampo && casadosNoCampo >= 12) return true;
    falhar("a captura \"" + nome + "\" não parece mostrar o padrão: só " +
           std::to_string(casadosNoCampo) + " de " + std::to_string(noCampo) +
           " trechos do padrão dentro do campo foram achados nela");
    return false;
}

// The field circle must lie inside the capture, or part of the field would have no source.
bool cobreOCampo(const Mapa& mapa, cv::Size captura, int reducao, const std::string& nome)
{
    for (int k = 0; k < 360; ++k) {
        const double t = 2 * kPi * k / 360;
        const cv::Point2d p = kCentro + kRaio * cv::Point2d(std::cos(t), std::sin(t));
        const cv::Point2d q = mapa.aplicar(p);
        // Beyond the last support points the model extrapolates: a field that touches the
        // border is given the benefit of a few pixels.
        const double folga = 0.02 * mapa.lente.escala;
        if (!(q.x >= -folga && q.y >= -folga && q.x <= captura.width - 1 + folga &&
              q.y <= captura.height - 1 + folga)) {
            const cv::Point2d naCaptura = daReduzida(q, reducao);
            falhar("o padrão não cobre o círculo do campo na captura \"" + nome +
                   "\": a borda do campo (" + regiaoDoCampo(p) + ") cai fora da imagem, em (" +
                   numero(naCaptura.x, 0) + ", " + numero(naCaptura.y, 0) +
                   "); fotografe de modo que o campo inteiro apareça");
            return false;
        }
    }
    return true;
}

std::string descreverAfim(const cv::Matx23d& a)
{
    const double det = a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0);
    const double escala = std::sqrt(std::abs(det));
    const double giro = det >= 0 ? std::atan2(a(1, 0) - a(0, 1), a(0, 0) + a(1, 1))
                                 : std::atan2(-a(0, 1) - a(1, 0), a(1, 1) - a(0, 0));
    return "escala " + numero(escala) + ", giro " + numero(giro * 180 / kPi, 1) + " graus" +
           (det < 0 ? ", espelhada" : "");
}

// Step 2: the lens model grown outward from the field centre, band by band: the support points
// of each band are matched against the capture straightened by the model fitted to all bands
// before it, so that the model's prediction reaches only a little beyond what it was fitted
// to. A pattern that repeats itself (rings, a grid, a chessboard) would otherwise be matched one
// period off where the prediction strays by half a period.
bool crescerModelo(const Imagens& im, const std::string& nome, const std::vector<cv::Point>& apoio,
                   ModeloDaLente& modelo)
{
    struct Faixa
    {
        double alcance; // outer edge, field radii
        int raio;       // search, pattern pixels
        Liberdade liberdade;
    };
    const Faixa faixas[] = {
        {0.3, 10, Liberdade::Afim},     {0.45, 6, Liberdade::Radial},
        {0.6, 6, Liberdade::Lente},     {0.72, 6, Liberdade::Lente},
        {0.82, 6, Liberdade::Completa}, {0.9, 6, Liberdade::Completa},
        {0.97, 6, Liberdade::Completa}, {1.04, 6, Liberdade::Completa},
        {1.1, 6, Liberdade::Completa},  {kAlcanceDeApoio, 6, Liberdade::Completa}};
    Pares todos;
    double dentroDe = -1;
    for (const Faixa& faixa : faixas) {
        std::vector<cv::Point> pontos;
        for (const auto& p : apoio)
            if (raioDe(p) > dentroDe && raioDe(p) <= faixa.alcance) pontos.push_back(p);
        const Mapa mapa{modelo, {}};
        const CapturaEndireitada e = endireitarPor(im, mapa);
        const auto casamentos = medir(im, e, pontos, limitarRaio(im, faixa.raio), false);
        const Pares novos = paresDe(pontos, casamentos, mapa);
        if (dentroDe < 0 && !mostraOPadrao(nome, static_cast<int>(novos.padrao.size()),
                                           static_cast<int>(pontos.size())))
            return false;
        dentroDe = faixa.alcance;
        todos.padrao.insert(todos.padrao.end(), novos.padrao.begin(), novos.padrao.end());
        todos.captura.insert(todos.captura.end(), novos.captura.begin(), novos.captura.end());
        todos.covariancia.insert(todos.covariancia.end(), novos.covariancia.begin(),
                                 novos.covariancia.end());
        ModeloDaLente novo = modelo;
        Pares mantidos = todos;
        if (ajustar(novo, mantidos, faixa.liberdade, 1.5 * im.unidade)) modelo = novo;
    }
    return true;
}

// The pattern as the capture shows it, for matching (desfoqueDaCaptura), through `modelo`.
void igualarDesfoque(Imagens& im, const ModeloDaLente& modelo)
{
    const double sigma =
        desfoqueDaCaptura(im.padrao, endireitar(im.suave, modelo, im.padrao.size(), 0, {}, true));
    im.casar = im.padrao;
    if (sigma > 0) {
        im.casar = cv::Mat(); // a picture of its own: the pattern stays sharp
        cv::GaussianBlur(im.padrao, im.casar, cv::Size(0, 0), sigma);
    }
}

// The Gaussian-weighted mean, of width `alcance` pattern pixels, of `valores` (capture pixels,
// at the support points `pontos`, where `usar`) over the grid of Mapa::campo, fading to none far
// from every point; and at each point the same mean without that point and its nearest
// neighbours (`semOPonto`), which says how well the field predicts a point from others: the
// matched neighbourhoods of neighbouring support points overlap, so their errors are alike and
// would seem to predict each other.
cv::Mat mediaLocal(const std::vector<cv::Point>& pontos,
                   const std::vector<std::vector<std::size_t>>& vizinhos,
                   const std::vector<cv::Point2d>& valores, const std::vector<bool>& usar,
                   cv::Size padrao, double alcance, std::vector<cv::Point2d>& semOPonto)
{
    const cv::Size grade((padrao.width + 2 * kMargem) / kPasso + 1,
                         (padrao.height + 2 * kMargem) / kPasso + 1);
    const auto celula = [](cv::Point p) {
        return cv::Point((p.x + kMargem) / kPasso, (p.y + kMargem) / kPasso);
    };
    alcance /= kPasso;
    cv::Mat soma = cv::Mat::zeros(grade, CV_32FC2), pesos = cv::Mat::zeros(grade, CV_32F);
    for (std::size_t i = 0; i < pontos.size(); ++i)
        if (usar[i]) {
            const cv::Point g = celula(pontos[i]);
            soma.at<cv::Vec2f>(g) +=
                cv::Vec2f(static_cast<float>(valores[i].x), static_cast<float>(valores[i].y));
            pesos.at<float>(g) += 1;
        }
    cv::GaussianBlur(soma, soma, cv::Size(0, 0), alcance, 0, cv::BORDER_CONSTANT);
    cv::GaussianBlur(pesos, pesos, cv::Size(0, 0), alcance, 0, cv::BORDER_CONSTANT);
    // The weight one point gives at an offset (dx, dy): the blur's own kernel. A twentieth of
    // a point's weight where it lies holds the mean where points are near and lets it fade to
    // none where they are not.
    const cv::Mat nucleo = cv::getGaussianKernel(2 * cvCeil(3 * alcance) + 1, alcance, CV_64F);
    const int meio = nucleo.rows / 2;
    const auto peso = [&](cv::Point d) {
        if (std::abs(d.x) > meio || std::abs(d.y) > meio) return 0.0;
        return nucleo.at<double>(meio + d.x) * nucleo.at<double>(meio + d.y);
    };
    const double desvanecer = 0.05 * peso({0, 0});
    pesos += desvanecer;
    semOPonto.assign(pontos.size(), cv::Point2d(0, 0));
    for (std::size_t i = 0; i < pontos.size(); ++i)
        if (usar[i]) {
            const cv::Point g = celula(pontos[i]);
            cv::Point2d s(soma.at<cv::Vec2f>(g));
            double w = pesos.at<float>(g);
            for (std::size_t j : vizinhos[i]) {
                const cv::Point d = celula(pontos[j]) - g;
                if (usar[j]) {
                    s -= peso(d) * valores[j];
                    w -= peso(d);
                }
            }
            semOPonto[i] = s / std::max(w, desvanecer);
        }
    std::vector<cv::Mat> canais;
    cv::split(soma, canais);
    for (cv::Mat& c : canais)
        c /= pesos;
    cv::Mat media;
    cv::merge(canais, media);
    return media;
}

struct Campo
{
    cv::Mat grade; // Mapa::campo
    // At each support point, its residual less what the field makes of the others there: how
    // far a single match strays from what its neighbours say, capture pixels.
    std::vector<cv::Point2d> semOPonto;
    double erro = 0;   // the median length of those
    double pontos = 1; // about how many support points the field averages at each place
};

// The local displacement through the residuals `residuos` at the support points. The smoothing
// that best predicts each point from the others is taken: wide where the residuals are noise
// about the lens, narrow (and followed up twice with the local mean of what it leaves at the
// points, so that a bump a few support points wide is not flattened) where the capture bends
// locally.
Campo campoDe(const std::vector<cv::Point>& pontos,
              const std::vector<std::vector<std::size_t>>& vizinhos,
              const std::vector<cv::Point2d>& residuos, const std::vector<bool>& usar,
              cv::Size padrao)
{
    struct Jeito
    {
        double alcance;
        int vezes;
    };
    const Jeito jeitos[] = {{12, 3}, {12, 1}, {20, 3}, {20, 1}, {30, 3}, {40, 1}};
    Campo melhor;
    melhor.erro = -1;
    for (const Jeito& j : jeitos) {
        std::vector<cv::Point2d> resto = residuos, previsto(pontos.size(), cv::Point2d(0, 0));
        Campo c;
        for (int vez = 0; vez < j.vezes; ++vez) {
            std::vector<cv::Point2d> semOPonto;
            const cv::Mat parte =
                mediaLocal(pontos, vizinhos, resto, usar, padrao, j.alcance, semOPonto);
            c.grade = vez == 0 ? parte : c.grade + parte;
            const Mapa so{ModeloDaLente{}, parte};
            for (std::size_t i = 0; i < pontos.size(); ++i)
                if (usar[i]) {
                    previsto[i] += semOPonto[i];
                    resto[i] -= so.local(cv::Point2d(pontos[i]));
                }
        }
        std::vector<double> erros;
        c.semOPonto.assign(pontos.size(), cv::Point2d(0, 0));
        for (std::size_t i = 0; i < pontos.size(); ++i)
            if (usar[i]) {
                c.semOPonto[i] = residuos[i] - previsto[i];
                erros.push_back(cv::norm(c.semOPonto[i]));
            }
        c.erro = mediana(erros);
        // A Gaussian mean of width s over points one grid step apart weighs about
        // 4 pi s^2 / step^2 of them; each following pass follows the points more closely.
        c.pontos = 4 * kPi * j.alcance * j.alcance / (kEspacoDeApoio * kEspacoDeApoio) / j.vezes;
        if (melhor.erro < 0 || c.erro < melhor.erro) melhor = c;
    }
    return melhor;
}

// Which corrections agree with their neighbours': a correction farther than half a unit (and
// than the usual disagreement several times) from the median of the support points about it is
// a false match, to be left out of the local displacement.
std::vector<bool> concordantes(const std::vector<std::vector<std::size_t>>& vizinhos,
                               const std::vector<cv::Point2d>& correcoes,
                               const std::vector<bool>& achado, double unidade)
{
    const std::size_t n = vizinhos.size();
    std::vector<double> afastamento(n, 0);
    std::vector<bool> avaliado(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        if (!achado[i]) continue;
        std::vector<double> xs, ys;
        for (std::size_t j : vizinhos[i])
            if (j != i && achado[j]) {
                xs.push_back(correcoes[j].x);
                ys.push_back(correcoes[j].y);
            }
        if (xs.size() < 3) continue;
        afastamento[i] = cv::norm(correcoes[i] - cv::Point2d(mediana(xs), mediana(ys)));
        avaliado[i] = true;
    }
    std::vector<double> todos;
    for (std::size_t i = 0; i < n; ++i)
        if (avaliado[i]) todos.push_back(afastamento[i]);
    const double limite = std::max(0.5 * unidade, 4 * 1.4826 * mediana(todos));
    std::vector<bool> usar(n, false);
    for (std::size_t i = 0; i < n; ++i)
        usar[i] = achado[i] && (!avaliado[i] || afastamento[i] <= limite);
    return usar;
}

// Warnings where the capture still disagrees with the map after the last measurement: the
// median of the support points' corrections in a region far above the usual.
std::vector<std::string> regioesSemAjuste(const std::vector<cv::Point>& pontos,
                                          const std::vector<cv::Point2d>& correcoes,
                                          const std::vector<bool>& usar, double unidade,
                                          int reducao)
{
    std::vector<std::string> avisos, nomes;
    std::vector<std::vector<double>> porRegiao;
    std::vector<double> todas;
    for (std::size_t i = 0; i < pontos.size(); ++i) {
        if (!usar[i]) continue;
        const std::string r = regiaoDoCampo(pontos[i]);
        const auto onde = std::find(nomes.begin(), nomes.end(), r) - nomes.begin();
        if (onde == static_cast<long>(nomes.size())) {
            nomes.push_back(r);
            porRegiao.emplace_back();
        }
        porRegiao[onde].push_back(cv::norm(correcoes[i]));
        todas.push_back(cv::norm(correcoes[i]));
    }
    const double usual = mediana(todas);
    for (std::size_t k = 0; k < nomes.size(); ++k) {
        if (porRegiao[k].size() < 4) continue;
        const double m = mediana(porRegiao[k]);
        if (m > std::max(0.5 * unidade, 4 * usual))
            avisos.push_back("a captura não acompanha o modelo " + nomes[k] +
                             ": desacordo mediano de " + numero(m * reducao) +
                             " pixel da captura, onde o usual é " + numero(usual * reducao) +
                             "; confira a malha ali");
    }
    return avisos;
}

// Steps 3 and 4 (calibration/calibration.h) from `modelo`: the support points matched
// kRodadas times, the first within `raioInicial` pattern pixels, the lens refitted after the
// first and the local displacement measured after each; then the nodes, judged against the
// map. `modelo` becomes the final lens model. Capture points are the working capture's.
bool acharNos(Imagens& im, const std::string& nome, const std::vector<cv::Point>& destino,
              int raioInicial, ModeloDaLente& modelo, std::vector<NoCalibrado>& nos,
              RelatorioDeCalibracao& relatorio, const AoTerminarEtapa& etapa)
{
    const std::vector<cv::Point> apoio = pontosDeApoio(im.padrao.size());
    const std::vector<std::vector<std::size_t>> vizinhos = vizinhosNaGrade(apoio);
    Mapa mapa{modelo, {}};
    // Per support point: the last measurement's capture point, how far it moved the point from
    // the map it was measured through, and its covariance in capture pixels.
    std::vector<cv::Point2d> medidos(apoio.size()), correcoes(apoio.size());
    std::vector<cv::Matx22d> covariancias(apoio.size());
    std::vector<bool> achado(apoio.size()), usar(apoio.size());
    Campo campo;
    constexpr int kRaioFinal = 3;
    for (int rodada = 0; rodada < kRodadas; ++rodada) {
        const int raio =
            limitarRaio(im, rodada == 0 ? std::max(kRaioFinal, raioInicial) : kRaioFinal);
        const CapturaEndireitada e = endireitarPor(im, mapa);
        const auto casamentos = medir(im, e, apoio, raio, false);
        int noCampo = 0, casadosNoCampo = 0;
        for (std::size_t i = 0; i < apoio.size(); ++i) {
            const cv::Point2d p(apoio[i]);
            achado[i] = casamentos[i].achado;
            if (achado[i]) {
                medidos[i] = mapa.aplicar(p + casamentos[i].deslocamento);
                correcoes[i] = medidos[i] - mapa.aplicar(p);
                const cv::Matx22d j = jacobiana([&](cv::Point2d x) { return mapa.aplicar(x); }, p);
                covariancias[i] = j * casamentos[i].covariancia * j.t();
            }
            if (dentro(p)) {
                ++noCampo;
                casadosNoCampo += achado[i];
            }
        }
        if (!mostraOPadrao(nome, casadosNoCampo, noCampo)) return false;
        // The lens refitted to all the matches, robustly; what it leaves, where neighbours
        // agree on it, is the local displacement.
        Pares pares = paresDe(apoio, casamentos, mapa);
        if (!ajustar(modelo, pares, Liberdade::Completa, 1.0 * im.unidade)) {
            falhar("a captura \"" + nome +
                   "\" não parece mostrar o padrão: os trechos achados "
                   "não seguem nenhuma lente");
            return false;
        }
        std::vector<double> distancias;
        for (std::size_t i = 0; i < pares.padrao.size(); ++i)
            distancias.push_back(cv::norm(modelo.aplicar(pares.padrao[i]) - pares.captura[i]));
        relatorio.residuoMediano = mediana(distancias) * im.reducao;
        relatorio.pontosCasados = static_cast<int>(pares.padrao.size());
        std::vector<cv::Point2d> residuos(apoio.size());
        for (std::size_t i = 0; i < apoio.size(); ++i)
            if (achado[i]) residuos[i] = medidos[i] - modelo.aplicar(cv::Point2d(apoio[i]));
        usar = concordantes(vizinhos, residuos, achado, im.unidade);
        campo = campoDe(apoio, vizinhos, residuos, usar, im.padrao.size());
        mapa = Mapa{modelo, campo.grade};
        // Once the map is right, the pattern is matched as blurred as the capture shows it.
        if (rodada == 0) igualarDesfoque(im, modelo);
    }
    relatorio.modelo = modelo;
    relatorio.pontosDeApoio = static_cast<int>(apoio.size());
    double maiorLocal = 0;
    for (const cv::Point& p : apoio)
        if (dentro(p)) maiorLocal = std::max(maiorLocal, cv::norm(mapa.local(p)));
    relatorio.maiorLocal = maiorLocal * im.reducao;
    etapa("modelo da lente: " + std::to_string(relatorio.pontosCasados) + " de " +
          std::to_string(relatorio.pontosDeApoio) + " pontos de apoio casados; resíduo mediano " +
          numero(relatorio.residuoMediano) + " pixel da captura" +
          (maiorLocal >= 0.5 * im.unidade
               ? "; deslocamentos locais de até " + numero(relatorio.maiorLocal, 1) +
                     " pixel da captura, além da lente, seguidos ponto a ponto"
               : ""));
    if (!cobreOCampo(mapa, im.captura.size(), im.reducao, nome)) return false;
    relatorio.avisos = regioesSemAjuste(apoio, correcoes, usar, im.unidade, im.reducao);

    // The nodes, against the capture straightened by the final map. How far a single match
    // strays: the support points' residuals against what their neighbours say, which also
    // scales the matches' covariances (fatorDeIncerteza). The map averages about
    // campo.pontos such matches at each place, so it is known that much better, though never
    // to better than a twentieth of a unit.
    std::vector<cv::Point2d> desacordos;
    std::vector<cv::Matx22d> covUsadas;
    std::vector<double> quadrados;
    for (std::size_t i = 0; i < apoio.size(); ++i)
        if (usar[i]) {
            desacordos.push_back(campo.semOPonto[i]);
            covUsadas.push_back(covariancias[i]);
            quadrados.push_back(campo.semOPonto[i].dot(campo.semOPonto[i]));
        }
    const double desvioDeUmPonto = std::sqrt(mediana(quadrados) / 1.386);
    const double incerteza =
        std::max(0.05 * im.unidade, desvioDeUmPonto / std::sqrt(std::max(1.0, campo.pontos)));
    const double fator = fatorDeIncerteza(desacordos, covUsadas, kIncertezaDoModelo * im.unidade);
    const CapturaEndireitada e = endireitarPor(im, mapa);
    const auto casamentos = medir(im, e, destino, kRaioFinal, true);
    nos.assign(destino.size(), NoCalibrado{});
    int nosNoCampo = 0, medidosNoCampo = 0;
    relatorio.maiorDesacordo = 0;
    for (std::size_t k = 0; k < destino.size(); ++k) {
        NoCalibrado& no = nos[k];
        no.destino = destino[k];
        const cv::Point2d p(destino[k]);
        const cv::Point2d previsto = mapa.aplicar(p);
        no.captura = previsto;
        if (casamentos[k].achado) {
            const cv::Point2d medido = mapa.aplicar(p + casamentos[k].deslocamento);
            const cv::Point2d d = medido - previsto;
            // The match's covariance in capture pixels, through the map's local Jacobian, and
            // the map's own; their sum weighs the disagreement.
            const cv::Matx22d j = jacobiana([&](cv::Point2d x) { return mapa.aplicar(x); }, p);
            const cv::Matx22d cm = j * casamentos[k].covariancia * j.t() * fator;
            const cv::Matx22d cs = cv::Matx22d::eye() * (incerteza * incerteza);
            const cv::Matx22d soma = cm + cs;
            const cv::Vec2d dv(d.x, d.y);
            const double mahalanobis = (dv.t() * soma.inv() * dv)(0);
            no.confianca = casamentos[k].confianca;
            no.desacordo = cv::norm(d) * im.reducao;
            const bool discorda =
                cv::norm(d) > kDesacordoMinimo * im.unidade && mahalanobis > kMahalanobisMaxima;
            no.origem = discorda ? NoCalibrado::Origem::Trocado : NoCalibrado::Origem::Medido;
            if (no.origem == NoCalibrado::Origem::Medido) {
                // Each estimate weighed by how well it is known in each direction: where the
                // neighbourhood fixes the node only across an edge, the map fixes it along.
                const cv::Vec2d ajuste = cs * soma.inv() * dv;
                no.captura = previsto + cv::Point2d(ajuste(0), ajuste(1));
                if (no.desacordo >= relatorio.maiorDesacordo) {
                    relatorio.maiorDesacordo = no.desacordo;
                    relatorio.noDoMaiorDesacordo = static_cast<int>(k) + 1;
                }
            }
        }
        if (dentro(p)) {
            ++nosNoCampo;
            medidosNoCampo += no.origem == NoCalibrado::Origem::Medido;
        }
    }
    if (medidosNoCampo < kNosMinimos * nosNoCampo) {
        falhar("só " + std::to_string(medidosNoCampo) + " dos " + std::to_string(nosNoCampo) +
               " nós dentro do campo foram achados com segurança na captura \"" + nome +
               "\" (são precisos " +
               std::to_string(static_cast<int>(std::ceil(kNosMinimos * nosNoCampo))) +
               "); a malha não seria confiável");
        return false;
    }
    return true;
}

// The model grown from `afim`, then the twin the capture shows (calibration/symmetry.h): when it
// is not the one grown, the model is grown again from that twin's place.
bool crescerEEscolher(const cv::Mat& padrao, Imagens& im, const std::string& nome,
                      const std::vector<cv::Point2d>& periodos, const OpcoesDeCalibracao& opcoes,
                      const cv::Matx23d& afim, ModeloDaLente& modelo, const AoTerminarEtapa& etapa)
{
    const std::vector<cv::Point> apoio = pontosDeApoio(im.padrao.size());
    modelo = ModeloDaLente::deAfim(afim);
    im.suave = suavizarParaEndireitar(im.captura, modelo);
    if (!crescerModelo(im, nome, apoio, modelo)) return false;
    const std::vector<Gemeo> gemeos = gemeosDoPadrao(padrao, periodos);
    if (gemeos.size() <= 1) return true;
    const EscolhaDoGemeo escolha =
        escolherGemeo(padrao, im.cor, modelo, gemeos, opcoes.comGiro, opcoes.giro);
    if (!escolha.simetria.empty()) {
        const bool giro = escolha.simetria.find("girado") != std::string::npos;
        falhar("o padrão é simétrico: " + escolha.simetria +
               ", ele parece o mesmo, e a captura \"" + nome +
               "\" não mostra o que os distingue; " +
               (giro ? "diga o giro aproximado da captura com --giro GRAUS (no sentido horário)"
                     : "fotografe o padrão inteiro, com a borda à vista"));
        return false;
    }
    if (escolha.soEspelho)
        etapa("o padrão é igual ao seu espelho: a malha supõe que o aparelho não espelha a imagem");
    const Gemeo& g = escolha.gemeo;
    const bool identidade = cv::norm(g.mapa - cv::Matx23d(1, 0, 0, 0, 1, 0)) < 1e-9;
    if (escolha.giroDecidiu)
        etapa("giro dado: " + numero(opcoes.giro, 0) +
              " graus; dos giros que o padrão não distingue, foi tomado o de " +
              numero(escolha.giro, 0) + " graus");
    if (identidade) return true;
    // The model through the twin, as an affine map about the field centre, and grown again.
    const cv::Point2d c = kCentro;
    const cv::Point2d tc(g.mapa(0, 0) * c.x + g.mapa(0, 1) * c.y + g.mapa(0, 2),
                         g.mapa(1, 0) * c.x + g.mapa(1, 1) * c.y + g.mapa(1, 2));
    const cv::Matx22d l(g.mapa(0, 0), g.mapa(0, 1), g.mapa(1, 0), g.mapa(1, 1));
    const cv::Matx22d j = jacobiana([&](cv::Point2d x) { return modelo.aplicar(x); }, tc) * l;
    const cv::Point2d q = modelo.aplicar(tc);
    const cv::Matx23d novo(j(0, 0), j(0, 1), q.x - j(0, 0) * c.x - j(0, 1) * c.y, j(1, 0), j(1, 1),
                           q.y - j(1, 0) * c.x - j(1, 1) * c.y);
    modelo = ModeloDaLente::deAfim(novo);
    return crescerModelo(im, nome, apoio, modelo);
}

} // namespace

bool calibrarCaptura(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                     const std::vector<cv::Point>& destino, const OpcoesDeCalibracao& opcoes,
                     std::vector<NoCalibrado>& nos, RelatorioDeCalibracao& relatorio,
                     const AoTerminarEtapa& etapa)
{
    Imagens im;
    if (!prepararImagens(padrao, captura, nome, im)) return false;

    // 1. Global estimate.
    const std::vector<cv::Point2d> periodos = periodosDoPadrao(im.padrao8);
    im.periodo = menorPeriodo(periodos);
    EstimativaGlobal global{};
    if (!estimarGlobal(padrao, im.cor, periodos, nome, global)) return false;
    relatorio.global = global;
    const cv::Matx33d volta(im.reducao, 0, (im.reducao - 1) / 2.0, 0, im.reducao,
                            (im.reducao - 1) / 2.0, 0, 0, 1);
    const cv::Matx33d a(global.afim(0, 0), global.afim(0, 1), global.afim(0, 2), global.afim(1, 0),
                        global.afim(1, 1), global.afim(1, 2), 0, 0, 1);
    const cv::Matx33d v = volta * a;
    relatorio.global.afim = cv::Matx23d(v(0, 0), v(0, 1), v(0, 2), v(1, 0), v(1, 1), v(1, 2));
    etapa("estimativa global: " + descreverAfim(relatorio.global.afim) + "; correlação " +
          numero(relatorio.global.correlacao) + " (a melhor de " +
          std::to_string(relatorio.global.candidatas) + " candidatas)");
    const double escala = ModeloDaLente::deAfim(global.afim).escalaLocal(kCentro);
    im.unidade = std::max(1.0 / im.reducao, escala);

    // 2. The lens model, grown outward, and the twin the capture shows.
    ModeloDaLente modelo;
    if (!crescerEEscolher(padrao, im, nome, periodos, opcoes, global.afim, modelo, etapa))
        return false;

    // 3 and 4.
    if (!acharNos(im, nome, destino, 0, modelo, nos, relatorio, etapa)) return false;
    for (NoCalibrado& no : nos)
        no.captura = daReduzida(no.captura, im.reducao);
    return true;
}

bool refinarNos(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                const std::vector<cv::Point>& destino, const std::vector<cv::Point2d>& origem,
                double raio, std::vector<NoRefinado>& nos, RelatorioDeCalibracao& relatorio,
                const AoTerminarEtapa& etapa)
{
    const int n = static_cast<int>(destino.size());
    if (n < kMenosNosMarcados) {
        falhar("nós marcados de menos: só " + std::to_string(n) +
               "; para refinar, marque pelo "
               "menos " +
               std::to_string(kMenosNosMarcados) + " nós espalhados pelo campo (\"malha editar\")");
        return false;
    }
    Imagens im;
    if (!prepararImagens(padrao, captura, nome, im)) return false;
    im.periodo = menorPeriodo(periodosDoPadrao(im.padrao8));

    // The lens model of the picks themselves: an affine map by RANSAC, then as much lens as
    // the number of picks carries, robustly (hand picks can be a few pixels off).
    std::vector<cv::Point2d> p(destino.begin(), destino.end()), q;
    for (const cv::Point2d& o : origem)
        q.push_back(paraReduzida(o, im.reducao));
    const double raioDeTrabalho = raio / im.reducao;
    std::vector<uchar> concordam;
    const cv::Mat afim =
        cv::estimateAffine2D(p, q, concordam, cv::RANSAC, std::max(3.0, raioDeTrabalho), 2000);
    if (afim.empty() || !cv::checkRange(afim)) {
        falhar("os nós marcados não seguem nenhum mapa afim entre o padrão e a captura \"" + nome +
               "\"; confira \"data/verticesamp4.txt\" e \"data/vertices2.txt\"");
        return false;
    }
    ModeloDaLente modelo = ModeloDaLente::deAfim(cv::Matx23d(afim));
    const Liberdade liberdade = n >= 25   ? Liberdade::Completa
                                : n >= 15 ? Liberdade::Lente
                                : n >= 8  ? Liberdade::Radial
                                          : Liberdade::Afim;
    std::vector<bool> usado;
    ajustarModeloRobusto(modelo, p, q, liberdade, std::max(2.0, raioDeTrabalho / 2), usado);
    etapa("modelo dos nós marcados: " + descreverAfim(cv::Matx23d(afim)));
    im.unidade = std::max(1.0 / im.reducao, modelo.escalaLocal(kCentro));
    im.suave = suavizarParaEndireitar(im.captura, modelo);
    // A pattern that looks alike turned or shifted lets a whole mesh picked turned or shifted
    // match node by node: the capture as a whole must agree with the picks' turn (among the
    // turns it cannot tell apart, the picks' own is taken).
    const std::vector<Gemeo> gemeos = gemeosDoPadrao(padrao, periodosDoPadrao(im.padrao8));
    if (gemeos.size() > 1) {
        const EscolhaDoGemeo escolha =
            escolherGemeo(padrao, im.cor, modelo, gemeos, true, giroDoModelo(modelo));
        if (cv::norm(escolha.gemeo.mapa - cv::Matx23d(1, 0, 0, 0, 1, 0)) > 1e-9) {
            falhar("os nós marcados não concordam com a captura \"" + nome +
                   "\": ela mostra o padrão " + descreverGemeo(escolha.gemeo) +
                   " em relação a eles; marque-os de novo com \"malha editar\"");
            return false;
        }
    }

    // The support points are sought as far from the model's prediction as a pick may be off,
    // then the nodes as calibrarCaptura seeks them; a node moves to what was found there when
    // its match agrees with the smooth model and lies within `raio` of its pick.
    const int raioInicial = std::clamp(
        static_cast<int>(std::ceil(raioDeTrabalho / modelo.escalaLocal(kCentro))) + 1, 3, 12);
    std::vector<NoCalibrado> achados;
    if (!acharNos(im, nome, destino, raioInicial, modelo, achados, relatorio, etapa)) return false;
    nos.assign(n, NoRefinado{});
    int movidos = 0;
    for (int k = 0; k < n; ++k) {
        nos[k].antes = nos[k].depois = origem[k];
        nos[k].fora = !(origem[k].x >= 0 && origem[k].y >= 0 && origem[k].x <= captura.cols - 1 &&
                        origem[k].y <= captura.rows - 1);
        nos[k].discorda = k < static_cast<int>(usado.size()) && !usado[k];
        const NoCalibrado& a = achados[k];
        const cv::Point2d achou = daReduzida(a.captura, im.reducao);
        const bool suspeito = nos[k].fora || nos[k].discorda;
        if (a.origem != NoCalibrado::Origem::Medido ||
            (!suspeito && cv::norm(achou - origem[k]) > raio))
            continue;
        nos[k].depois = achou;
        nos[k].movido = true;
        nos[k].confianca = a.confianca;
        ++movidos;
    }
    etapa("casamento local: " + std::to_string(movidos) + " de " + std::to_string(n) +
          " nós achados a até " + numero(raio, 1) + " pixels da captura de onde estavam");
    return true;
}

} // namespace corretor
