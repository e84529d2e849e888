#include "calibration/global_estimate.h"

#include "calibration/lattice.h"
#include "utilities/field.h"
#include "utilities/report.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);

// The capture's features are sought with its longer side brought down to this many pixels.
constexpr double kLadoDasFeicoes = 720;

// RANSAC rounds over the matches the earlier rounds left, and the least agreeing matches that
// make a candidate.
constexpr int kRodadas = 4;
constexpr int kConcordantesMinimas = 8;
constexpr int kTentativas = 3000;

// Candidates are judged inside this many field radii of the centre; this many of them, the
// best on coarse pictures, are aligned and judged again.
constexpr double kAlcanceDoJulgamento = 0.75;
constexpr std::size_t kFinalistas = 4;

struct Candidata
{
    cv::Matx23d afim;
    int concordantes;
};

cv::Matx33d paraMatx33(const cv::Matx23d& a)
{
    return {a(0, 0), a(0, 1), a(0, 2), a(1, 0), a(1, 1), a(1, 2), 0, 0, 1};
}

cv::Matx23d paraMatx23(const cv::Matx33d& a)
{
    return {a(0, 0), a(0, 1), a(0, 2), a(1, 0), a(1, 1), a(1, 2)};
}

// A picture reduced `fator` times: its pixel x is the original's fator * x + (fator - 1) / 2.
cv::Matx33d deReduzida(double fator)
{
    const double t = (fator - 1) / 2;
    return {fator, 0, t, 0, fator, t, 0, 0, 1};
}

double escalaDe(const cv::Matx23d& a)
{
    return std::sqrt(std::abs(a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)));
}

// Whether the field circle, through `afim`, is at least a fifth of the capture's shorter side
// across (and 60 pixels), and at most one and a half times that side: a field much smaller is
// of no use for a mesh, and one much larger does not fit.
bool plausivel(const cv::Matx23d& afim, cv::Size captura)
{
    const double diametro = 2 * kRaioDoCampo * escalaDe(afim);
    const double lado = std::min(captura.width, captura.height);
    return diametro >= std::max(60.0, 0.2 * lado) && diametro <= 1.5 * lado;
}

// The similarity (turn, scale, shift) that carries p[i] onto q[i] best in the least-squares
// sense, over the pairs marked in `usar`.
cv::Matx23d semelhancaMinima(const std::vector<cv::Point2f>& p, const std::vector<cv::Point2f>& q,
                             const std::vector<uchar>& usar)
{
    cv::Point2d mp(0, 0), mq(0, 0);
    int n = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        if (usar[i]) {
            mp += cv::Point2d(p[i]);
            mq += cv::Point2d(q[i]);
            ++n;
        }
    mp /= n;
    mq /= n;
    // q - mq = (a -b; b a) (p - mp): a and b from the sums of products.
    double sa = 0, sb = 0, spp = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        if (usar[i]) {
            const cv::Point2d u = cv::Point2d(p[i]) - mp, v = cv::Point2d(q[i]) - mq;
            sa += u.x * v.x + u.y * v.y;
            sb += u.x * v.y - u.y * v.x;
            spp += u.dot(u);
        }
    const double a = spp > 0 ? sa / spp : 0, b = spp > 0 ? sb / spp : 0;
    return {a, -b, mq.x - (a * mp.x - b * mp.y), b, a, mq.y - (b * mp.x + a * mp.y)};
}

int concordantes(const cv::Matx23d& m, const std::vector<cv::Point2f>& p,
                 const std::vector<cv::Point2f>& q, double limiar, std::vector<uchar>& concordam)
{
    concordam.assign(p.size(), 0);
    int n = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const double dx = m(0, 0) * p[i].x + m(0, 1) * p[i].y + m(0, 2) - q[i].x;
        const double dy = m(1, 0) * p[i].x + m(1, 1) * p[i].y + m(1, 2) - q[i].y;
        concordam[i] = dx * dx + dy * dy < limiar * limiar;
        n += concordam[i];
    }
    return n;
}

// RANSAC over similarities drawn from two matches each, trying only those that give the field a
// plausible size. The library's RANSAC cannot be told that: on a repeated pattern many matches
// pile up on a few capture points, and a map that shrinks everything to one point explains most
// of them. Returns false when no plausible similarity gathers kConcordantesMinimas matches.
bool ransacSemelhanca(const std::vector<cv::Point2f>& p, const std::vector<cv::Point2f>& q,
                      double limiar, cv::Size captura, cv::RNG& sorteio, cv::Matx23d& melhor,
                      std::vector<uchar>& concordam)
{
    const int n = static_cast<int>(p.size());
    int maisConcordantes = 0;
    std::vector<uchar> estes;
    for (int tentativa = 0; tentativa < kTentativas; ++tentativa) {
        const int i = sorteio.uniform(0, n), j = sorteio.uniform(0, n);
        const cv::Point2d dp = cv::Point2d(p[j]) - cv::Point2d(p[i]);
        const cv::Point2d dq = cv::Point2d(q[j]) - cv::Point2d(q[i]);
        if (dp.dot(dp) < 100) continue;
        // dq = z dp with complex numbers: z = a + ib.
        const double a = (dq.x * dp.x + dq.y * dp.y) / dp.dot(dp);
        const double b = (dq.y * dp.x - dq.x * dp.y) / dp.dot(dp);
        const cv::Matx23d m(a, -b, q[i].x - (a * p[i].x - b * p[i].y), b, a,
                            q[i].y - (b * p[i].x + a * p[i].y));
        if (!plausivel(m, captura)) continue;
        const int c = concordantes(m, p, q, limiar, estes);
        if (c > maisConcordantes) {
            maisConcordantes = c;
            melhor = m;
            concordam = estes;
        }
    }
    if (maisConcordantes < kConcordantesMinimas) return false;
    // Once more, fitted to all that agreed.
    const cv::Matx23d ajustada = semelhancaMinima(p, q, concordam);
    if (plausivel(ajustada, captura) &&
        concordantes(ajustada, p, q, limiar, estes) >= maisConcordantes) {
        melhor = ajustada;
        concordam = estes;
    }
    return true;
}

// A picture's features: ORB key points and their descriptions.
struct Feicoes
{
    std::vector<cv::KeyPoint> pontos;
    cv::Mat descricoes;

    explicit Feicoes(const cv::Mat& imagem)
    {
        auto orb = cv::ORB::create(2000, 1.2f, 8, 15, 0, 2, cv::ORB::HARRIS_SCORE, 31, 8);
        orb->detectAndCompute(imagem, cv::noArray(), pontos, descricoes);
    }
};

// Candidates from features: similarities fitted by RANSAC, round after round, between the
// pattern's features and those of the capture (`daCaptura`, found on it reduced `fator` times);
// with `espelho`, those of the pattern mirrored about the field centre's column (a device may
// mirror the image, and a feature's description is not the same mirrored), each candidate then
// mirrored back.
std::vector<Candidata> candidatasDasFeicoes(const cv::Mat& padrao, const Feicoes& daCaptura,
                                            double fator, cv::Size captura, bool espelho)
{
    cv::Mat fonte = padrao;
    const cv::Matx33d espelhar(-1, 0, 2 * kCentro.x, 0, 1, 0, 0, 0, 1);
    if (espelho) cv::warpAffine(padrao, fonte, paraMatx23(espelhar), padrao.size());
    const Feicoes doPadrao(fonte);
    if (doPadrao.pontos.size() < 10 || daCaptura.pontos.size() < 10) return {};

    std::vector<std::vector<cv::DMatch>> pares;
    cv::BFMatcher(cv::NORM_HAMMING).knnMatch(doPadrao.descricoes, daCaptura.descricoes, pares, 2);
    // The second best match is kept too where it is nearly as good: on a repeated pattern the
    // right one is often not the best.
    std::vector<cv::Point2f> noPadrao, naCaptura;
    const cv::Matx33d volta = deReduzida(fator);
    for (const auto& par : pares)
        for (std::size_t k = 0; k < par.size(); ++k) {
            if (k == 1 && par[1].distance > 1.1f * par[0].distance) break;
            const cv::Point2f c = daCaptura.pontos[par[k].trainIdx].pt;
            noPadrao.push_back(doPadrao.pontos[par[k].queryIdx].pt);
            naCaptura.emplace_back(static_cast<float>(volta(0, 0) * c.x + volta(0, 2)),
                                   static_cast<float>(volta(1, 1) * c.y + volta(1, 2)));
        }

    std::vector<Candidata> candidatas;
    const double limiar = std::max(3.0, 0.015 * std::max(captura.width, captura.height));
    cv::RNG sorteio(0x5eed); // the same candidates for the same pictures
    for (int rodada = 0; rodada < kRodadas && noPadrao.size() >= kConcordantesMinimas; ++rodada) {
        std::vector<uchar> concordam;
        cv::Matx23d a;
        if (!ransacSemelhanca(noPadrao, naCaptura, limiar, captura, sorteio, a, concordam)) break;
        if (espelho) a = paraMatx23(paraMatx33(a) * espelhar);
        candidatas.push_back({a, cv::countNonZero(concordam)});
        std::vector<cv::Point2f> restoP, restoC;
        for (std::size_t i = 0; i < concordam.size(); ++i)
            if (!concordam[i]) {
                restoP.push_back(noPadrao[i]);
                restoC.push_back(naCaptura[i]);
            }
        noPadrao.swap(restoP);
        naCaptura.swap(restoC);
    }
    return candidatas;
}

// One level of detail for judging candidates: the pattern reduced `fator` times and the
// capture brought to about the same pixel size for the candidates' scale, both smoothed, in
// colour (where the pattern's colours tell its quarters apart) and in grey (for ECC). Only a
// disc of `alcance` field radii is compared: by default the inner part of the field, where an
// affine map follows even a strong lens.
struct Nivel
{
    double fatorPadrao, fatorCaptura;
    cv::Mat padrao, captura, padraoCinza, capturaCinza, disco;

    Nivel(const cv::Mat& p, const cv::Mat& c, double fator, double escala, double suavizar,
          double alcance = kAlcanceDoJulgamento)
        : fatorPadrao(fator), fatorCaptura(std::max(1.0, fator * escala))
    {
        padrao = reduzir(p, fatorPadrao, suavizar);
        captura = reduzir(c, fatorCaptura, suavizar);
        cv::cvtColor(padrao, padraoCinza, cv::COLOR_BGR2GRAY);
        cv::cvtColor(captura, capturaCinza, cv::COLOR_BGR2GRAY);
        disco = cv::Mat::zeros(padrao.size(), CV_8U);
        const double t = (fatorPadrao - 1) / 2;
        cv::circle(disco,
                   cv::Point(cvRound((kCentro.x - t) / fatorPadrao * 16),
                             cvRound((kCentro.y - t) / fatorPadrao * 16)),
                   cvRound(alcance * kRaioDoCampo / fatorPadrao * 16), cv::Scalar(255), cv::FILLED,
                   cv::LINE_8, 4);
    }

    static cv::Mat reduzir(const cv::Mat& imagem, double fator, double suavizar)
    {
        cv::Mat menor;
        if (fator > 1)
            cv::resize(imagem, menor, cv::Size(), 1 / fator, 1 / fator, cv::INTER_AREA);
        else
            menor = imagem;
        cv::Mat f;
        menor.convertTo(f, CV_32F);
        cv::GaussianBlur(f, f, cv::Size(0, 0), suavizar);
        return f;
    }

    // `afim` (pattern to capture) between the pictures of this level.
    cv::Mat reduzido(const cv::Matx23d& afim) const
    {
        const cv::Matx33d m =
            deReduzida(fatorCaptura).inv() * paraMatx33(afim) * deReduzida(fatorPadrao);
        return cv::Mat(cv::Matx23f(paraMatx23(m)));
    }

    cv::Matx23d paraAfim(const cv::Mat& w) const
    {
        const cv::Matx23d m(w.at<float>(0, 0), w.at<float>(0, 1), w.at<float>(0, 2),
                            w.at<float>(1, 0), w.at<float>(1, 1), w.at<float>(1, 2));
        return paraMatx23(deReduzida(fatorCaptura) * paraMatx33(m) * deReduzida(fatorPadrao).inv());
    }

    // The correlation of the capture brought onto the pattern by `w`, over the disc where the
    // capture has pixels, averaged over the colour channels; -2 when less than half the disc
    // has them.
    double correlacao(const cv::Mat& w) const
    {
        cv::Mat cw, tem;
        cv::warpAffine(captura, cw, w, padrao.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
        cv::warpAffine(cv::Mat(captura.size(), CV_8U, cv::Scalar(255)), tem, w, padrao.size(),
                       cv::INTER_NEAREST | cv::WARP_INVERSE_MAP);
        tem &= disco;
        if (cv::countNonZero(tem) < 0.5 * cv::countNonZero(disco)) return -2;
        std::vector<cv::Mat> a, b;
        cv::split(padrao, a);
        cv::split(cw, b);
        // A channel without contrast there has no correlation (the library gives a
        // non-finite one): it is left out, and so is the map when no channel has any.
        double soma = 0;
        int canais = 0;
        for (std::size_t k = 0; k < a.size(); ++k) {
            const double c = cv::computeECC(a[k], b[k], tem);
            if (std::isfinite(c)) {
                soma += c;
                ++canais;
            }
        }
        return canais > 0 ? soma / canais : -2;
    }

    // ECC (affine) from `afim`, kept when it raises the correlation; returns the correlation.
    // ECC takes its mask in the picture it warps, the capture: the disc as `afim` places it.
    double alinhar(cv::Matx23d& afim) const
    {
        const cv::Mat antes = reduzido(afim);
        const double inicial = correlacao(antes);
        cv::Mat mascara;
        cv::warpAffine(disco, mascara, antes, captura.size(), cv::INTER_NEAREST);
        if (cv::countNonZero(mascara) == 0) return inicial;
        cv::Mat w = antes.clone();
        try {
            cv::findTransformECC(
                padraoCinza, capturaCinza, w, cv::MOTION_AFFINE,
                cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 1e-4),
                mascara, 1);
        } catch (const cv::Exception&) {
            return inicial; // ECC did not settle: the map stays
        }
        const double final = correlacao(w);
        if (!(final > inicial) || !cv::checkRange(w)) return inicial;
        afim = paraAfim(w);
        return final;
    }
};

// The levels of one detail for every scale asked, each made when first needed: candidates of
// scales far apart are judged on captures reduced to each one's own pixel size.
class Niveis
{
public:
    Niveis(const cv::Mat& padrao, const cv::Mat& captura, double fator, double suavizar)
        : padrao_(padrao), captura_(captura), fator_(fator), suavizar_(suavizar)
    {
    }

    const Nivel& para(double escala)
    {
        // Scales within a fifth of each other share a level.
        const int chave =
            static_cast<int>(std::lround(std::log(std::max(escala, 1e-3)) / std::log(1.2)));
        auto onde = niveis_.find(chave);
        if (onde == niveis_.end())
            onde = niveis_
                       .emplace(chave, std::make_unique<Nivel>(padrao_, captura_, fator_,
                                                               std::pow(1.2, chave), suavizar_))
                       .first;
        return *onde->second;
    }

private:
    const cv::Mat& padrao_;
    const cv::Mat& captura_;
    double fator_, suavizar_;
    std::map<int, std::unique_ptr<Nivel>> niveis_;
};

} // namespace

bool estimarGlobal(const cv::Mat& padrao, const cv::Mat& captura,
                   const std::vector<cv::Point2d>& periodos, const std::string& nomeDaCaptura,
                   EstimativaGlobal& estimativa)
{

    cv::Mat padraoCinza, capturaCinza;
    cv::cvtColor(padrao, padraoCinza, cv::COLOR_BGR2GRAY);
    cv::cvtColor(captura, capturaCinza, cv::COLOR_BGR2GRAY);
    const double fator = std::max(1.0, std::max(captura.cols, captura.rows) / kLadoDasFeicoes);
    cv::Mat menor = capturaCinza;
    if (fator > 1)
        cv::resize(capturaCinza, menor, cv::Size(), 1 / fator, 1 / fator, cv::INTER_AREA);
    // Features, unless the pattern repeats itself: its features all look alike.
    std::vector<Candidata> candidatas;
    if (periodos.empty()) {
        const Feicoes daCaptura(menor);
        for (bool espelho : {false, true}) {
            const std::vector<Candidata> estas =
                candidatasDasFeicoes(padraoCinza, daCaptura, fator, captura.size(), espelho);
            candidatas.insert(candidatas.end(), estas.begin(), estas.end());
        }
    }
    // A repeated pattern has no features to tell its parts apart: its periods and its outline.
    for (const cv::Matx23d& a :
         candidatasDoReticulado(padraoCinza, periodos, capturaCinza, &plausivel))
        candidatas.push_back({a, 0});
    // One candidate without features: the field in the middle of the capture, filling it.
    const double s = 0.45 * std::min(captura.cols, captura.rows) / kRaioDoCampo;
    const cv::Point2d meio((captura.cols - 1) / 2.0, (captura.rows - 1) / 2.0);
    candidatas.push_back(
        {cv::Matx23d(s, 0, meio.x - s * kCentro.x, 0, s, meio.y - s * kCentro.y), 0});
    // Each candidate turned by half a turn about the field centre: p -> 2c - p first.
    const cv::Matx33d meiaVolta(-1, 0, 2 * kCentro.x, 0, -1, 2 * kCentro.y, 0, 0, 1);
    const std::size_t feitas = candidatas.size();
    for (std::size_t i = 0; i < feitas; ++i)
        candidatas.push_back(
            {paraMatx23(paraMatx33(candidatas[i].afim) * meiaVolta), candidatas[i].concordantes});
    estimativa.candidatas = static_cast<int>(candidatas.size());

    // Every candidate judged on coarse pictures of about its own scale; the best few then
    // aligned by ECC on coarse and on finer pictures and judged again there. A score that is
    // not a number never wins.
    Niveis grossos(padrao, captura, 4, 2.0), finos(padrao, captura, 2, 1.0);
    std::vector<std::pair<double, std::size_t>> notas;
    for (std::size_t i = 0; i < candidatas.size(); ++i) {
        const Nivel& n = grossos.para(escalaDe(candidatas[i].afim));
        const double c = n.correlacao(n.reduzido(candidatas[i].afim));
        if (std::isfinite(c) && c > -1.5) notas.emplace_back(c, i);
    }
    std::sort(notas.rbegin(), notas.rend());
    double melhor = -2;
    for (std::size_t k = 0; k < notas.size() && k < kFinalistas; ++k) {
        const Candidata& c = candidatas[notas[k].second];
        cv::Matx23d a = c.afim;
        grossos.para(escalaDe(a)).alinhar(a);
        const double correlacao = finos.para(escalaDe(a)).alinhar(a);
        if (std::isfinite(correlacao) && correlacao > melhor) {
            melhor = correlacao;
            estimativa.afim = a;
            estimativa.concordantes = c.concordantes;
        }
    }
    estimativa.correlacao = melhor;
    if (melhor < -1) {
        falhar("a captura \"" + nomeDaCaptura +
               "\" não parece mostrar o padrão: nenhuma posição do padrão se alinha com ela");
        return false;
    }
    return true;
}

} // namespace corretor
