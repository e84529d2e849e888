#include "calibration/symmetry.h"

#include "utilities/angles.h"
#include "utilities/field.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);

// A turn or mirror is a twin when the middle of the field correlates with itself through it by
// at least this much, shifted by at most kAlcance pixels.
constexpr double kSemelhancaDoGemeo = 0.6;
constexpr int kAlcance = 90;

// Twins the pattern itself tells apart, over what the capture shows, by less than this (one
// less their correlation) look the same: no capture can be trusted to tell them apart (a sheet
// lit unevenly differs from itself by more).
constexpr double kDistinguivel = 0.05;
// A channel of sinais varying less than this (Lab units) has no contrast.
constexpr double kContraste = 0.5;
// The blur, pattern pixels, whose leftover is the lightness detail of sinais.
constexpr double kDetalhe = 16;
// Twins are compared on a grid this many times coarser than the pattern's: a sheet's edge or a
// faint colour is as clear there, and two hundred twins cost little.
constexpr int kReducao = 4;

// The turn by `quartos` quarter turns after the mirror, as a linear map.
cv::Matx22d linearDe(int quartos, bool espelho)
{
    const int c[] = {1, 0, -1, 0}, s[] = {0, 1, 0, -1};
    const cv::Matx22d giro(c[quartos], -s[quartos], s[quartos], c[quartos]);
    return espelho ? giro * cv::Matx22d(-1, 0, 0, 1) : giro;
}

// t(x) = c + L (x - c) + d.
cv::Matx23d mapaDe(const cv::Matx22d& l, cv::Point2d d)
{
    const cv::Point2d lc(l(0, 0) * kCentro.x + l(0, 1) * kCentro.y,
                         l(1, 0) * kCentro.x + l(1, 1) * kCentro.y);
    return {l(0, 0), l(0, 1), kCentro.x - lc.x + d.x, l(1, 0), l(1, 1), kCentro.y - lc.y + d.y};
}

cv::Point2d aplicar(const cv::Matx23d& a, cv::Point2d p)
{
    return {a(0, 0) * p.x + a(0, 1) * p.y + a(0, 2), a(1, 0) * p.x + a(1, 1) * p.y + a(1, 2)};
}

// The turn of the Jacobian `j`, degrees clockwise on screen; mirrored (det < 0), the turn that
// follows the mirror about a column.
double giroDaJacobiana(const cv::Matx22d& j)
{
    const bool espelho = j(0, 0) * j(1, 1) - j(0, 1) * j(1, 0) < 0;
    const double t = espelho ? std::atan2(-j(0, 1) - j(1, 0), j(1, 1) - j(0, 0))
                             : std::atan2(j(1, 0) - j(0, 1), j(0, 0) + j(1, 1));
    return emGraus(t);
}

cv::Matx22d jacobianaDe(const ModeloDaLente& m, cv::Point2d p, const cv::Matx22d& depois)
{
    const cv::Point2d dx = m.aplicar(p + cv::Point2d(depois(0, 0), depois(1, 0))) -
                           m.aplicar(p - cv::Point2d(depois(0, 0), depois(1, 0)));
    const cv::Point2d dy = m.aplicar(p + cv::Point2d(depois(0, 1), depois(1, 1))) -
                           m.aplicar(p - cv::Point2d(depois(0, 1), depois(1, 1)));
    return cv::Matx22d(dx.x, dy.x, dx.y, dy.y) * 0.5;
}

double diferencaDeGiro(double a, double b)
{
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360 - d);
}

// What twins are told apart by, from a colour picture (CV_32FC3, 0 to 255): the detail of its
// lightness (what a blur of `detalhe` pixels takes off: outlines, lines, the sheet's edge) and
// its hue (the a and b of CIE Lab, which a brightness change leaves alone). A slow change of
// brightness (a sheet lit unevenly) shows in neither, so it cannot pick a twin; a grey picture
// has no hue, and its twins are told apart by detail alone.
// Where `valida` is given (8-bit), only its pixels count towards the blur.
cv::Mat sinais(const cv::Mat& bgr, double detalhe, const cv::Mat& valida)
{
    cv::Mat lab;
    cv::cvtColor(bgr * (1.0 / 255), lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> c;
    cv::split(lab, c);
    cv::Mat liso;
    if (valida.empty()) {
        cv::GaussianBlur(c[0], liso, cv::Size(0, 0), detalhe, 0, cv::BORDER_REPLICATE);
    } else {
        cv::Mat peso, soma;
        valida.convertTo(peso, CV_32F, 1.0 / 255);
        cv::GaussianBlur(c[0].mul(peso), soma, cv::Size(0, 0), detalhe);
        cv::GaussianBlur(peso, peso, cv::Size(0, 0), detalhe);
        liso = soma / (peso + 1e-6);
    }
    c[0] -= liso;
    cv::Mat s;
    cv::merge(c, s);
    return s;
}

// The normalized correlation of two pictures of sinais over `mascara`: the mean over the
// channels where both have contrast (a standard deviation of at least kContraste there, in Lab
// units: a grey picture's hue is flat, but not exactly nought); -2 when none has.
double correlacaoEmCor(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mascara)
{
    if (cv::countNonZero(mascara) < 100) return -2;
    std::vector<cv::Mat> ca, cb;
    cv::split(a, ca);
    cv::split(b, cb);
    double soma = 0;
    int canais = 0;
    for (std::size_t k = 0; k < ca.size(); ++k) {
        cv::Scalar ma, da, mb, db;
        cv::meanStdDev(ca[k], ma, da, mascara);
        cv::meanStdDev(cb[k], mb, db, mascara);
        if (!(da[0] >= kContraste && db[0] >= kContraste)) continue;
        const double c = cv::computeECC(ca[k], cb[k], mascara);
        if (std::isfinite(c)) {
            soma += c;
            ++canais;
        }
    }
    return canais > 0 ? soma / canais : -2;
}

// The map that takes b's view to a's: a^-1 b, both as 3 x 3.
cv::Matx23d relativo(const cv::Matx23d& a, const cv::Matx23d& b)
{
    const cv::Matx33d a3(a(0, 0), a(0, 1), a(0, 2), a(1, 0), a(1, 1), a(1, 2), 0, 0, 1);
    const cv::Matx33d b3(b(0, 0), b(0, 1), b(0, 2), b(1, 0), b(1, 1), b(1, 2), 0, 0, 1);
    const cv::Matx33d r = a3.inv() * b3;
    return {r(0, 0), r(0, 1), r(0, 2), r(1, 0), r(1, 1), r(1, 2)};
}

// A twin map in words: "girado de 180 graus", "espelhado", "deslocado de 44 pixels".
std::string descreverMapa(const cv::Matx23d& t)
{
    int quartos = 0;
    bool espelho = false;
    for (int q = 0; q < 4; ++q)
        for (bool e : {false, true}) {
            const cv::Matx22d l = linearDe(q, e);
            if (cv::norm(l - cv::Matx22d(t(0, 0), t(0, 1), t(1, 0), t(1, 1))) < 0.1) {
                quartos = q;
                espelho = e;
            }
        }
    std::string texto;
    if (quartos != 0) texto = "girado de " + std::to_string(90 * quartos) + " graus";
    if (espelho) texto += std::string(texto.empty() ? "" : " e ") + "espelhado";
    const double d = cv::norm(aplicar(t, kCentro) - kCentro);
    if (d > 3) {
        char texto2[64];
        std::snprintf(texto2, sizeof texto2, "deslocado de %.0f pixels", d);
        texto += std::string(texto.empty() ? "" : " e ") + texto2;
    }
    return texto.empty() ? "deslocado de menos de 3 pixels" : texto;
}

} // namespace

std::vector<Gemeo> gemeosDoPadrao(const cv::Mat& padrao, const std::vector<cv::Point2d>& periodos)
{
    // The lattice of the periods: the two shortest that are not parallel.
    std::vector<cv::Point2d> rede;
    for (const cv::Point2d& a : periodos)
        if (rede.empty() || (rede.size() == 1 &&
                             std::abs(rede[0].cross(a)) > 0.2 * cv::norm(rede[0]) * cv::norm(a)))
            rede.push_back(a);
    std::vector<cv::Point2d> passos = {cv::Point2d(0, 0)};
    if (!rede.empty()) {
        passos.clear();
        const int n = rede.size() == 2 ? 1 : 0;
        for (int i = -1; i <= 1; ++i)
            for (int j = -n; j <= n; ++j)
                passos.push_back(i * rede[0] + (rede.size() == 2 ? j * rede[1] : cv::Point2d()));
    }

    // The pattern in grey at half size, and the middle of its field as the template.
    cv::Mat cinza, menor;
    cv::cvtColor(padrao, cinza, cv::COLOR_BGR2GRAY);
    cv::resize(cinza, menor, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    menor.convertTo(menor, CV_32F);
    const int meio = static_cast<int>(0.45 * kRaioDoCampo / 2), busca = kAlcance / 2;
    const cv::Point c(kCentroDoCampo / 2, kCentroDoCampo / 2);
    const cv::Rect modelo(c.x - meio, c.y - meio, 2 * meio + 1, 2 * meio + 1);
    const cv::Rect area(modelo.x - busca, modelo.y - busca, modelo.width + 2 * busca,
                        modelo.height + 2 * busca);
    if ((area & cv::Rect(0, 0, menor.cols, menor.rows)) != area)
        return {Gemeo{mapaDe(cv::Matx22d::eye(), {}), 0, false, {}}};

    std::vector<Gemeo> gemeos;
    for (int quartos = 0; quartos < 4; ++quartos)
        for (bool espelho : {false, true}) {
            const cv::Matx22d l = linearDe(quartos, espelho);
            cv::Point2d w(0, 0);
            if (quartos != 0 || espelho) {
                // P_D(y) = P(D y) on the half-size grid (pixel y of it is 2 y + 0.5 of the
                // pattern's), then where the middle of P lies in it.
                const cv::Matx23d d = mapaDe(l, {});
                const cv::Matx23d meiaD(d(0, 0), d(0, 1),
                                        (d(0, 2) + 0.5 * (d(0, 0) + d(0, 1)) - 0.5) / 2, d(1, 0),
                                        d(1, 1), (d(1, 2) + 0.5 * (d(1, 0) + d(1, 1)) - 0.5) / 2);
                cv::Mat girada, mapa;
                cv::warpAffine(menor, girada, meiaD, menor.size(),
                               cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                               cv::Scalar(255));
                cv::matchTemplate(girada(area), menor(modelo), mapa, cv::TM_CCOEFF_NORMED);
                cv::patchNaNs(mapa, -1);
                double melhor = 0;
                cv::minMaxLoc(mapa, nullptr, &melhor);
                if (!(melhor >= kSemelhancaDoGemeo)) continue;
                // A repeated pattern matches as well one period away: the shift nearest to
                // none among those that match about as well as the best.
                double menor = 1e9;
                for (int y = 0; y < mapa.rows; ++y)
                    for (int x = 0; x < mapa.cols; ++x) {
                        const cv::Point2d d(x - busca, y - busca);
                        if (mapa.at<float>(y, x) >= melhor - 0.03 && cv::norm(d) < menor) {
                            menor = cv::norm(d);
                            w = 2.0 * d;
                        }
                    }
            }
            // t(x) = D(x + w + v): the pattern at t(x) looks like the pattern at x.
            for (const cv::Point2d& v : passos) {
                const cv::Point2d u = w + v;
                const cv::Point2d d(l(0, 0) * u.x + l(0, 1) * u.y, l(1, 0) * u.x + l(1, 1) * u.y);
                gemeos.push_back({mapaDe(l, d), quartos, espelho, d});
            }
        }
    return gemeos;
}

std::string descreverGemeo(const Gemeo& g)
{
    return descreverMapa(g.mapa);
}

double giroDoModelo(const ModeloDaLente& modelo)
{
    return giroDaJacobiana(jacobianaDe(modelo, kCentro, cv::Matx22d::eye()));
}

EscolhaDoGemeo escolherGemeo(const cv::Mat& padrao, const cv::Mat& captura,
                             const ModeloDaLente& modelo, const std::vector<Gemeo>& gemeos,
                             bool comGiro, double giro)
{
    EscolhaDoGemeo escolha;
    escolha.gemeo = {mapaDe(cv::Matx22d::eye(), {}), 0, false, {}};
    if (gemeos.size() <= 1) return escolha;

    // The capture through the model on a grid kReducao times coarser than the pattern's, with
    // a margin wide enough for every twin to map the pattern into it; the pattern likewise,
    // white (its paper) beyond its edge. Grid pixel (i, j) is the pattern point
    // (r (i - m) + (r - 1) / 2, ...), r = kReducao.
    constexpr int r = kReducao;
    double alem = 0;
    for (const Gemeo& g : gemeos)
        for (const cv::Point2d p :
             {cv::Point2d(0, 0), cv::Point2d(435, 0), cv::Point2d(0, 435), cv::Point2d(435, 435)}) {
            const cv::Point2d q = aplicar(g.mapa, p);
            alem = std::max({alem, -q.x, -q.y, q.x - 435, q.y - 435});
        }
    const int m = static_cast<int>(std::ceil(alem / r)) + 2;
    const cv::Size tamanho(padrao.cols / r, padrao.rows / r);
    const int largura = tamanho.width + 2 * m, altura = tamanho.height + 2 * m;
    cv::Mat mapaX(altura, largura, CV_32F), mapaY(altura, largura, CV_32F);
    const double meio = (r - 1) / 2.0;
    for (int j = 0; j < altura; ++j)
        for (int i = 0; i < largura; ++i) {
            const cv::Point2d q =
                modelo.aplicar(cv::Point2d(r * (i - m) + meio, r * (j - m) + meio));
            mapaX.at<float>(j, i) = static_cast<float>(q.x);
            mapaY.at<float>(j, i) = static_cast<float>(q.y);
        }
    cv::Mat fonte;
    captura.convertTo(fonte, CV_32FC3);
    const double escala = modelo.escalaLocal(kCentro);
    cv::GaussianBlur(fonte, fonte, cv::Size(0, 0), std::max(0.5, 0.4 * r * escala));
    cv::Mat vista, valida;
    cv::remap(fonte, vista, mapaX, mapaY, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    cv::remap(cv::Mat(captura.size(), CV_8U, cv::Scalar(255)), valida, mapaX, mapaY,
              cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    vista = sinais(vista, kDetalhe / r, valida);
    cv::Mat papel, pequeno;
    cv::resize(padrao, pequeno, tamanho, 0, 0, cv::INTER_AREA);
    pequeno.convertTo(pequeno, CV_32FC3);
    cv::copyMakeBorder(pequeno, papel, m, m, m, m, cv::BORDER_CONSTANT, cv::Scalar::all(255));
    papel = sinais(papel, kDetalhe / r, cv::Mat());
    pequeno = papel(cv::Rect(m, m, tamanho.width, tamanho.height)).clone();

    // Each twin: the capture and the pattern at t(x), for x over the pattern.
    struct Vista
    {
        cv::Mat captura, padrao, valida;
        double correlacao = -2;
    };
    std::vector<Vista> vistas(gemeos.size());
    for (std::size_t k = 0; k < gemeos.size(); ++k) {
        // x_g -> x = r x_g + meio -> t(x) -> (t(x) - meio) / r + m on the grid.
        const cv::Matx23d& t = gemeos[k].mapa;
        const cv::Matx23d g(t(0, 0), t(0, 1), (t(0, 2) + meio * (t(0, 0) + t(0, 1)) - meio) / r + m,
                            t(1, 0), t(1, 1),
                            (t(1, 2) + meio * (t(1, 0) + t(1, 1)) - meio) / r + m);
        Vista& v = vistas[k];
        cv::warpAffine(vista, v.captura, g, tamanho, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
        cv::warpAffine(papel, v.padrao, g, tamanho, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_CONSTANT);
        cv::warpAffine(valida, v.valida, g, tamanho, cv::INTER_NEAREST | cv::WARP_INVERSE_MAP);
        v.correlacao = correlacaoEmCor(pequeno, v.captura, v.valida);
    }
    std::size_t melhor = 0;
    for (std::size_t k = 1; k < vistas.size(); ++k)
        if (vistas[k].correlacao > vistas[melhor].correlacao) melhor = k;
    escolha.gemeo = gemeos[melhor];
    escolha.correlacao = vistas[melhor].correlacao;

    // The twins the capture cannot tell from the best: over what the capture shows, the pattern
    // itself tells them apart by d (one less the correlation of the pattern through each); the
    // capture should then show about that much less for the other.
    std::vector<std::size_t> iguais = {melhor};
    for (std::size_t k = 0; k < vistas.size(); ++k) {
        if (k == melhor) continue;
        cv::Mat ambas = vistas[melhor].valida & vistas[k].valida;
        const double d = 1 - correlacaoEmCor(vistas[melhor].padrao, vistas[k].padrao, ambas);
        const double queda = escolha.correlacao - vistas[k].correlacao;
        if (d < kDistinguivel || queda < 0.5 * std::max(0.0, escolha.correlacao) * d)
            iguais.push_back(k);
    }
    if (iguais.size() == 1) return escolha;

    // Each candidate's turn and mirror, as the calibrated model would have them.
    const auto giroDe = [&](std::size_t k) {
        const cv::Matx23d& t = gemeos[k].mapa;
        return giroDaJacobiana(jacobianaDe(modelo, aplicar(t, kCentro),
                                           cv::Matx22d(t(0, 0), t(0, 1), t(1, 0), t(1, 1))));
    };
    const auto espelhado = [&](std::size_t k) {
        const cv::Matx23d& t = gemeos[k].mapa;
        const cv::Matx22d j = jacobianaDe(modelo, aplicar(t, kCentro),
                                          cv::Matx22d(t(0, 0), t(0, 1), t(1, 0), t(1, 1)));
        return j(0, 0) * j(1, 1) - j(0, 1) * j(1, 0) < 0;
    };
    const auto mesmoLugar = [&](std::size_t a, std::size_t b) {
        return cv::norm(aplicar(gemeos[a].mapa, kCentro) - aplicar(gemeos[b].mapa, kCentro)) < 4;
    };
    // The one taken: with --giro, among those at about the turn nearest to the user's; then one
    // that mirrors nothing (the usual device) before one that mirrors; then the capture's best.
    const auto distanciaAoGiro = [&](std::size_t k) {
        return comGiro ? std::floor(diferencaDeGiro(giroDe(k), giro) / 5) : 0.0;
    };
    std::size_t escolhido = melhor;
    for (std::size_t k : iguais) {
        const auto chave = [&](std::size_t i) {
            return std::make_tuple(-distanciaAoGiro(i), !espelhado(i), vistas[i].correlacao);
        };
        if (chave(k) > chave(escolhido)) escolhido = k;
    }
    escolha.giroDecidiu = comGiro;
    bool mesmoEspelhoNomeado = false;
    // What is left that the capture cannot tell from it: a mirror image at the same turn and
    // place is left to the usual device; with --giro, other turns are left to the user's turn;
    // anything else (the pattern repeating itself, a turn without --giro) stays unresolved.
    for (std::size_t k : iguais) {
        if (k == escolhido) continue;
        const bool mesmoGiro = diferencaDeGiro(giroDe(k), giroDe(escolhido)) < 5;
        if (mesmoGiro && mesmoLugar(k, escolhido) && espelhado(k) != espelhado(escolhido)) {
            escolha.soEspelho = true;
            continue;
        }
        if (comGiro && !mesmoGiro) continue;
        // Named by the plainest such twin: one that keeps the mirror as it is, if any.
        const std::string esta = descreverMapa(relativo(gemeos[escolhido].mapa, gemeos[k].mapa));
        if (escolha.simetria.empty() ||
            (espelhado(k) == espelhado(escolhido) && !mesmoEspelhoNomeado)) {
            escolha.simetria = esta;
            mesmoEspelhoNomeado = espelhado(k) == espelhado(escolhido);
        }
    }
    escolha.giro = giroDe(escolhido);
    escolha.gemeo = gemeos[escolhido];
    escolha.correlacao = vistas[escolhido].correlacao;
    return escolha;
}

} // namespace corretor
