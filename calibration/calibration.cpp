#include "calibration/calibration.h"

#include "calibration/pattern_matching.h"
#include "utilities/field.h"
#include "utilities/report.h"
#include "utilities/angles.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

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
// The smooth model's own uncertainty, capture pixels (one standard deviation in each
// direction). A node whose match disagrees with the model by more than kDesacordoMinimo
// capture pixels and by more than sqrt(kMahalanobisMaxima) standard deviations of the two
// together is replaced by the model's prediction.
constexpr double kIncertezaDoModelo = 0.1;
constexpr double kDesacordoMinimo = 0.5;
constexpr double kMahalanobisMaxima = 25;
// The local mean of the residuals: Gaussian weights of this width, pattern pixels.
constexpr double kAlcanceDosResiduos = 40;

struct Imagens
{
    cv::Mat padrao, captura;   // grey, CV_32F
    cv::Mat padrao8, captura8; // grey, 8-bit
};

std::string numero(double v, int casas = 2)
{
    char texto[64];
    std::snprintf(texto, sizeof texto, "%.*f", casas, v);
    return texto;
}

bool prepararImagens(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                     Imagens& im)
{
    cv::cvtColor(padrao, im.padrao8, cv::COLOR_BGR2GRAY);
    cv::cvtColor(captura, im.captura8, cv::COLOR_BGR2GRAY);
    im.padrao8.convertTo(im.padrao, CV_32F);
    im.captura8.convertTo(im.captura, CV_32F);
    if (captura.cols < 2 * kMeiaJanela || captura.rows < 2 * kMeiaJanela) {
        falhar("a captura \"" + nome + "\" tem só " + std::to_string(captura.cols) + " x " +
               std::to_string(captura.rows) + " pixels; pequena demais para mostrar o padrão");
        return false;
    }
    cv::Scalar media, desvio;
    cv::meanStdDev(im.captura8, media, desvio);
    if (desvio[0] < kDesvioMinimo) {
        falhar("a captura \"" + nome + "\" é uniforme ou quase (desvio padrão de " +
               numero(desvio[0], 1) + " níveis de cinza); não mostra o padrão");
        return false;
    }
    cv::meanStdDev(im.padrao8, media, desvio);
    if (desvio[0] < kDesvioMinimo) {
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

double raioDe(cv::Point2d p)
{
    return cv::norm(p - kCentro) / kRaio;
}

bool dentro(cv::Point2d p)
{
    return raioDe(p) < 1;
}

std::vector<Casamento> medir(const Imagens& im, const CapturaEndireitada& e,
                             const std::vector<cv::Point>& pontos, const std::vector<int>& raios,
                             bool fino)
{
    std::vector<Casamento> casamentos(pontos.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(pontos.size())), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i)
            casamentos[i] =
                casar(im.padrao, e, pontos[i], kMeiaJanela, raios[i], kCorrelacaoMinima, fino);
    });
    return casamentos;
}

// The capture straightened through `modelo`, with room for searches up to `raio`.
CapturaEndireitada endireitarPara(const Imagens& im, const ModeloDaLente& modelo, int raio)
{
    return endireitar(im.captura, modelo, im.padrao.size(), kMeiaJanela + raio + 6);
}

struct Pares
{
    std::vector<cv::Point2d> padrao, captura;
    std::vector<cv::Matx22d> covariancia; // of each match, pattern pixels squared
};

Pares paresDe(const std::vector<cv::Point>& pontos, const std::vector<Casamento>& casamentos,
              const ModeloDaLente& modelo)
{
    Pares pares;
    for (std::size_t i = 0; i < pontos.size(); ++i)
        if (casamentos[i].achado) {
            pares.padrao.emplace_back(pontos[i]);
            pares.captura.push_back(
                modelo.aplicar(cv::Point2d(pontos[i]) + casamentos[i].deslocamento));
            pares.covariancia.push_back(casamentos[i].covariancia);
        }
    return pares;
}

// Where in the field a pattern point lies, for the user: the centre, or one of eight sides.
std::string regiao(cv::Point2d p)
{
    const cv::Point2d d = p - kCentro;
    if (cv::norm(d) < 0.4 * kRaio) return "no centro do campo";
    static const char* const kLados[] = {
        "à direita",  "embaixo à direita",  "embaixo", "embaixo à esquerda",
        "à esquerda", "em cima à esquerda", "em cima", "em cima à direita"};
    const double angulo = std::atan2(d.y, d.x); // y down: pi / 2 is "embaixo"
    const int setor = static_cast<int>(std::lround(angulo / (kPi / 4)) + 8) % 8;
    return std::string(kLados[setor]) + " no campo";
}

// The smooth model of the field: the lens model plus the Gaussian-weighted local mean of the
// support points' residuals.
struct ModeloSuave
{
    ModeloDaLente lente;
    std::vector<cv::Point2d> pontos, residuos;

    cv::Point2d prever(cv::Point2d p) const
    {
        cv::Point2d soma(0, 0);
        double pesos = 0;
        for (std::size_t i = 0; i < pontos.size(); ++i) {
            const cv::Point2d d = pontos[i] - p;
            const double w = std::exp(-d.dot(d) / (2 * kAlcanceDosResiduos * kAlcanceDosResiduos));
            soma += w * residuos[i];
            pesos += w;
        }
        // Far from every support point the residual fades to the lens model alone.
        return lente.aplicar(p) + soma / (pesos + 0.05);
    }
};

// The lens model's Jacobian at the pattern point `p`, by central differences.
cv::Matx22d jacobiana(const ModeloDaLente& modelo, cv::Point2d p)
{
    const cv::Point2d dx =
        (modelo.aplicar(p + cv::Point2d(0.5, 0)) - modelo.aplicar(p - cv::Point2d(0.5, 0)));
    const cv::Point2d dy =
        (modelo.aplicar(p + cv::Point2d(0, 0.5)) - modelo.aplicar(p - cv::Point2d(0, 0.5)));
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
// with the smooth model, weighed as d^T (F Cm + Cs)^-1 d, have the median of a chi-square of
// two degrees of freedom (1.386), as they would if the covariances were right. At least 1.
double fatorDeIncerteza(const ModeloDaLente& modelo, const ModeloSuave& suave, const Pares& pares)
{
    std::vector<cv::Vec2d> d;
    std::vector<cv::Matx22d> cm;
    for (std::size_t i = 0; i < pares.padrao.size(); ++i) {
        const cv::Point2d e = pares.captura[i] - suave.prever(pares.padrao[i]);
        const cv::Matx22d j = jacobiana(modelo, pares.padrao[i]);
        d.emplace_back(e.x, e.y);
        cm.push_back(j * pares.covariancia[i] * j.t());
    }
    if (d.empty()) return 1;
    const cv::Matx22d cs = cv::Matx22d::eye() * (kIncertezaDoModelo * kIncertezaDoModelo);
    const auto medianaPara = [&](double f) {
        std::vector<double> m;
        for (std::size_t i = 0; i < d.size(); ++i)
            m.push_back((d[i].t() * (cm[i] * f + cs).inv() * d[i])(0));
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
bool cobreOCampo(const ModeloDaLente& modelo, cv::Size captura, const std::string& nome)
{
    for (int k = 0; k < 360; ++k) {
        const double t = 2 * kPi * k / 360;
        const cv::Point2d p = kCentro + kRaio * cv::Point2d(std::cos(t), std::sin(t));
        const cv::Point2d q = modelo.aplicar(p);
        // Beyond the last support points the model extrapolates: a field that touches the
        // border is given the benefit of a few pixels.
        const double folga = 0.02 * modelo.escala;
        if (q.x < -folga || q.y < -folga || q.x > captura.width - 1 + folga ||
            q.y > captura.height - 1 + folga) {
            falhar("o padrão não cobre o círculo do campo na captura \"" + nome +
                   "\": a borda do campo (" + regiao(p) + ") cai fora da imagem, em (" +
                   numero(q.x, 0) + ", " + numero(q.y, 0) +
                   "); fotografe de modo que o campo inteiro apareça");
            return false;
        }
    }
    return true;
}

// Warnings where the lens model leaves residuals far above the usual.
std::vector<std::string> regioesSemAjuste(const ModeloDaLente& modelo, const Pares& pares,
                                          double usual)
{
    std::vector<std::string> avisos;
    std::vector<std::string> nomes;
    std::vector<std::vector<double>> residuos;
    for (std::size_t i = 0; i < pares.padrao.size(); ++i) {
        const std::string r = regiao(pares.padrao[i]);
        const auto onde = std::find(nomes.begin(), nomes.end(), r) - nomes.begin();
        if (onde == static_cast<long>(nomes.size())) {
            nomes.push_back(r);
            residuos.emplace_back();
        }
        residuos[onde].push_back(cv::norm(modelo.aplicar(pares.padrao[i]) - pares.captura[i]));
    }
    for (std::size_t k = 0; k < nomes.size(); ++k) {
        if (residuos[k].size() < 4) continue;
        const double m = mediana(residuos[k]);
        if (m > std::max(0.5, 4 * usual))
            avisos.push_back("o modelo suave não acompanha a distorção " + nomes[k] +
                             ": resíduo mediano de " + numero(m) +
                             " pixel da captura, onde o "
                             "usual é " +
                             numero(usual) + "; confira a malha ali");
    }
    return avisos;
}

ModeloSuave modeloSuave(const ModeloDaLente& lente, const Pares& pares)
{
    ModeloSuave s{lente, pares.padrao, {}};
    for (std::size_t i = 0; i < pares.padrao.size(); ++i)
        s.residuos.push_back(pares.captura[i] - lente.aplicar(pares.padrao[i]));
    return s;
}

std::string descreverAfim(const cv::Matx23d& a)
{
    const double escala = std::sqrt(std::abs(a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)));
    const double giro = std::atan2(a(1, 0) - a(0, 1), a(0, 0) + a(1, 1)) * 180 / kPi;
    return "escala " + numero(escala) + ", giro " + numero(giro, 1) + " graus";
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
        const CapturaEndireitada e = endireitarPara(im, modelo, faixa.raio);
        const auto casamentos =
            medir(im, e, pontos, std::vector<int>(pontos.size(), faixa.raio), false);
        const Pares novos = paresDe(pontos, casamentos, modelo);
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
        if (ajustar(novo, mantidos, faixa.liberdade, 1.5)) modelo = novo;
    }
    return true;
}

// Steps 3 and 4 (calibration/calibration.h) from `modelo`: the support points matched three
// times, the first within `raioInicial` pattern pixels, then the nodes, judged against the
// smooth model. `modelo` becomes the final lens model.
bool acharNos(const Imagens& im, cv::Size captura, const std::string& nome,
              const std::vector<cv::Point>& destino, int raioInicial, ModeloDaLente& modelo,
              std::vector<NoCalibrado>& nos, RelatorioDeCalibracao& relatorio,
              const AoTerminarEtapa& etapa)
{
    const std::vector<cv::Point> apoio = pontosDeApoio(im.padrao.size());
    // 3. Final matches, three times, each against the capture straightened by the model fitted
    // to the one before: the shifts left shrink towards nothing, where the parabola through
    // the correlation peak is most exact.
    Pares pares;
    int noCampo = 0, casadosNoCampo = 0;
    constexpr int kRaioFinal = 3;
    for (int rodada = 0; rodada < 3; ++rodada) {
        const int raio = rodada == 0 ? std::max(kRaioFinal, raioInicial) : kRaioFinal;
        const CapturaEndireitada e = endireitarPara(im, modelo, raio);
        const auto casamentos = medir(im, e, apoio, std::vector<int>(apoio.size(), raio), false);
        pares = paresDe(apoio, casamentos, modelo);
        noCampo = casadosNoCampo = 0;
        for (std::size_t i = 0; i < apoio.size(); ++i)
            if (dentro(apoio[i])) {
                ++noCampo;
                casadosNoCampo += casamentos[i].achado;
            }
        if (!mostraOPadrao(nome, casadosNoCampo, noCampo)) return false;
        if (!ajustar(modelo, pares, Liberdade::Completa, 1.0)) {
            falhar("a captura \"" + nome +
                   "\" não parece mostrar o padrão: os trechos achados "
                   "não seguem nenhuma lente");
            return false;
        }
    }
    relatorio.modelo = modelo;
    relatorio.pontosDeApoio = static_cast<int>(apoio.size());
    relatorio.pontosCasados = static_cast<int>(pares.padrao.size());
    std::vector<double> distancias;
    for (std::size_t i = 0; i < pares.padrao.size(); ++i)
        distancias.push_back(cv::norm(modelo.aplicar(pares.padrao[i]) - pares.captura[i]));
    relatorio.residuoMediano = mediana(distancias);
    etapa("modelo da lente: " + std::to_string(relatorio.pontosCasados) + " de " +
          std::to_string(relatorio.pontosDeApoio) + " pontos de apoio casados; resíduo mediano " +
          numero(relatorio.residuoMediano) + " pixel da captura");
    if (!cobreOCampo(modelo, captura, nome)) return false;
    relatorio.avisos = regioesSemAjuste(modelo, pares, relatorio.residuoMediano);

    // The nodes, against the last straightened capture.
    const CapturaEndireitada e = endireitarPara(im, modelo, kRaioFinal);
    const auto casamentos =
        medir(im, e, destino, std::vector<int>(destino.size(), kRaioFinal), true);
    const ModeloSuave suave = modeloSuave(modelo, pares);
    const double fator = fatorDeIncerteza(modelo, suave, pares);

    nos.assign(destino.size(), NoCalibrado{});
    int nosNoCampo = 0, medidosNoCampo = 0;
    relatorio.maiorDesacordo = 0;
    for (std::size_t k = 0; k < destino.size(); ++k) {
        NoCalibrado& no = nos[k];
        no.destino = destino[k];
        const cv::Point2d p(destino[k]);
        const cv::Point2d previsto = suave.prever(p);
        no.captura = previsto;
        if (casamentos[k].achado) {
            const cv::Point2d medido = modelo.aplicar(p + casamentos[k].deslocamento);
            const cv::Point2d d = medido - previsto;
            // The match's covariance in capture pixels, through the model's local Jacobian,
            // and the smooth model's; their sum weighs the disagreement.
            const cv::Matx22d j = jacobiana(modelo, p);
            const cv::Matx22d cm = j * casamentos[k].covariancia * j.t() * fator;
            const cv::Matx22d cs = cv::Matx22d::eye() * (kIncertezaDoModelo * kIncertezaDoModelo);
            const cv::Matx22d soma = cm + cs;
            const cv::Vec2d dv(d.x, d.y);
            const double mahalanobis = (dv.t() * soma.inv() * dv)(0);
            no.confianca = casamentos[k].confianca;
            no.desacordo = cv::norm(d);
            const bool discorda =
                no.desacordo > kDesacordoMinimo && mahalanobis > kMahalanobisMaxima;
            no.origem = discorda ? NoCalibrado::Origem::Trocado : NoCalibrado::Origem::Medido;
            if (no.origem == NoCalibrado::Origem::Medido) {
                // Each estimate weighed by how well it is known in each direction: where the
                // neighbourhood fixes the node only across an edge, the model fixes it along.
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

} // namespace

bool calibrarCaptura(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                     const std::vector<cv::Point>& destino, std::vector<NoCalibrado>& nos,
                     RelatorioDeCalibracao& relatorio, const AoTerminarEtapa& etapa)
{
    Imagens im;
    if (!prepararImagens(padrao, captura, nome, im)) return false;

    // 1. Global estimate.
    if (!estimarGlobal(padrao, captura, nome, relatorio.global)) return false;
    etapa("estimativa global: " + descreverAfim(relatorio.global.afim) + "; correlação " +
          numero(relatorio.global.correlacao) + " (a melhor de " +
          std::to_string(relatorio.global.candidatas) + " candidatas)");

    // 2. The lens model, grown outward.
    ModeloDaLente modelo = ModeloDaLente::deAfim(relatorio.global.afim);
    if (!crescerModelo(im, nome, pontosDeApoio(padrao.size()), modelo)) return false;

    // 3 and 4.
    return acharNos(im, captura.size(), nome, destino, 0, modelo, nos, relatorio, etapa);
}

bool refinarNos(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                const std::vector<cv::Point>& destino, const std::vector<cv::Point2d>& origem,
                double raio, std::vector<NoRefinado>& nos, RelatorioDeCalibracao& relatorio,
                const AoTerminarEtapa& etapa)
{
    Imagens im;
    if (!prepararImagens(padrao, captura, nome, im)) return false;
    const int n = static_cast<int>(destino.size());

    // The lens model of the picks themselves: an affine map by RANSAC, then as much lens as
    // the number of picks carries, robustly (hand picks can be a few pixels off).
    std::vector<cv::Point2d> p(destino.begin(), destino.end());
    const std::vector<cv::Point2d>& q = origem;
    std::vector<uchar> concordam;
    const cv::Mat afim =
        cv::estimateAffine2D(p, q, concordam, cv::RANSAC, std::max(3.0, raio), 2000);
    if (afim.empty()) {
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
    ajustarModeloRobusto(modelo, p, q, liberdade, std::max(2.0, raio / 2), usado);
    etapa("modelo dos nós marcados: " + descreverAfim(cv::Matx23d(afim)));

    // The support points are sought as far from the model's prediction as a pick may be off,
    // then the nodes as calibrarCaptura seeks them; a node moves to what was found there when
    // its match agrees with the smooth model and lies within `raio` of its pick.
    const int raioInicial =
        std::clamp(static_cast<int>(std::ceil(raio / modelo.escalaLocal(kCentro))) + 1, 3, 12);
    std::vector<NoCalibrado> achados;
    if (!acharNos(im, captura.size(), nome, destino, raioInicial, modelo, achados, relatorio,
                  etapa))
        return false;
    nos.assign(n, NoRefinado{});
    int movidos = 0;
    for (int k = 0; k < n; ++k) {
        nos[k].antes = nos[k].depois = origem[k];
        const NoCalibrado& a = achados[k];
        if (a.origem != NoCalibrado::Origem::Medido || cv::norm(a.captura - origem[k]) > raio)
            continue;
        nos[k].depois = a.captura;
        nos[k].movido = true;
        nos[k].confianca = a.confianca;
        ++movidos;
    }
    etapa("casamento local: " + std::to_string(movidos) + " de " + std::to_string(n) +
          " nós achados a até " + numero(raio, 1) + " pixels da captura de onde estavam");
    return true;
}

} // namespace corretor
