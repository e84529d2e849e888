#include "authoring/global_estimate.h"

#include "utilities/field.h"
#include "utilities/report.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <vector>
#include <cstdio>
#include <cstdlib>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);

// The capture's features are sought with its longer side brought down to this many pixels.
constexpr double kLadoDasFeicoes = 720;

// RANSAC rounds over the matches the earlier rounds left, and the least agreeing matches that
// make a candidate.
constexpr int kRodadas = 4;
constexpr int kConcordantesMinimas = 8;

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

// Candidates from features: similarities fitted by RANSAC, round after round.
std::vector<Candidata> candidatasDasFeicoes(const cv::Mat& padrao, const cv::Mat& captura)
{
    const double fator = std::max(1.0, std::max(captura.cols, captura.rows) / kLadoDasFeicoes);
    cv::Mat menor = captura;
    if (fator > 1) cv::resize(captura, menor, cv::Size(), 1 / fator, 1 / fator, cv::INTER_AREA);

    auto orb = cv::ORB::create(2000, 1.2f, 8, 15, 0, 2, cv::ORB::HARRIS_SCORE, 31, 8);
    std::vector<cv::KeyPoint> pontosP, pontosC;
    cv::Mat descP, descC;
    orb->detectAndCompute(padrao, cv::noArray(), pontosP, descP);
    orb->detectAndCompute(menor, cv::noArray(), pontosC, descC);
    if (pontosP.size() < 10 || pontosC.size() < 10) return {};

    std::vector<std::vector<cv::DMatch>> pares;
    cv::BFMatcher(cv::NORM_HAMMING).knnMatch(descP, descC, pares, 2);
    // The second best match is kept too where it is nearly as good: on a repeated pattern the
    // right one is often not the best.
    std::vector<cv::Point2f> noPadrao, naCaptura;
    const cv::Matx33d volta = deReduzida(fator);
    for (const auto& par : pares)
        for (std::size_t k = 0; k < par.size(); ++k) {
            if (k == 1 && par[1].distance > 1.1f * par[0].distance) break;
            const cv::Point2f c = pontosC[par[k].trainIdx].pt;
            noPadrao.push_back(pontosP[par[k].queryIdx].pt);
            naCaptura.emplace_back(static_cast<float>(volta(0, 0) * c.x + volta(0, 2)),
                                   static_cast<float>(volta(1, 1) * c.y + volta(1, 2)));
        }

    std::vector<Candidata> candidatas;
    const double limiar = std::max(3.0, 0.015 * std::max(captura.cols, captura.rows));
    for (int rodada = 0; rodada < kRodadas && noPadrao.size() >= kConcordantesMinimas; ++rodada) {
        std::vector<uchar> concordam;
        const cv::Mat a = cv::estimateAffinePartial2D(noPadrao, naCaptura, concordam, cv::RANSAC,
                                                      limiar, 4000, 0.995, 10);
        const int n = cv::countNonZero(concordam);
        if (a.empty() || n < kConcordantesMinimas) break;
        candidatas.push_back({cv::Matx23d(a), n});
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
// colour (where the pattern's colours tell its quarters apart) and in grey (for ECC). Only the
// inner part of the field is compared, where an affine map follows even a strong lens.
struct Nivel
{
    double fatorPadrao, fatorCaptura;
    cv::Mat padrao, captura, padraoCinza, capturaCinza, disco;

    Nivel(const cv::Mat& p, const cv::Mat& c, double fator, double escala, double suavizar)
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
                   cvRound(kAlcanceDoJulgamento * kRaioDoCampo / fatorPadrao * 16),
                   cv::Scalar(255), cv::FILLED, cv::LINE_8, 4);
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
        return paraMatx23(deReduzida(fatorCaptura) * paraMatx33(m) *
                          deReduzida(fatorPadrao).inv());
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
        double soma = 0;
        for (std::size_t k = 0; k < a.size(); ++k)
            soma += cv::computeECC(a[k], b[k], tem);
        return soma / static_cast<double>(a.size());
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
        if (!(final > inicial)) return inicial;
        afim = paraAfim(w);
        return final;
    }
};

} // namespace

bool estimarGlobal(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nomeDaCaptura,
                   EstimativaGlobal& estimativa)
{
    cv::Mat padraoCinza, capturaCinza;
    cv::cvtColor(padrao, padraoCinza, cv::COLOR_BGR2GRAY);
    cv::cvtColor(captura, capturaCinza, cv::COLOR_BGR2GRAY);
    const int64 t0 = cv::getTickCount();
    std::vector<Candidata> candidatas = candidatasDasFeicoes(padraoCinza, capturaCinza);
    if (std::getenv("DEPURAR")) std::fprintf(stderr, "G feicoes %.0f ms\n", (cv::getTickCount() - t0) * 1000.0 / cv::getTickFrequency());
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

    // Every candidate judged on coarse pictures, at the scale of the one with most features;
    // the best few then aligned by ECC on coarse and on finer pictures and judged again there.
    const double escala = escalaDe(candidatas.front().afim);
    const Nivel grosso(padrao, captura, 4, escala, 2.0), fino(padrao, captura, 2, escala, 1.0);
    std::vector<std::pair<double, std::size_t>> notas;
    for (std::size_t i = 0; i < candidatas.size(); ++i)
        if (escalaDe(candidatas[i].afim) > 0.5 * escala &&
            escalaDe(candidatas[i].afim) < 2 * escala)
            notas.emplace_back(grosso.correlacao(grosso.reduzido(candidatas[i].afim)), i);
    std::sort(notas.rbegin(), notas.rend());
    if (std::getenv("DEPURAR")) std::fprintf(stderr, "G notas %.0f ms\n", (cv::getTickCount() - t0) * 1000.0 / cv::getTickFrequency());
    double melhor = -2;
    for (std::size_t k = 0; k < notas.size() && k < kFinalistas; ++k) {
        const Candidata& c = candidatas[notas[k].second];
        cv::Matx23d a = c.afim;
        grosso.alinhar(a);
        const double correlacao = fino.alinhar(a);
        if (correlacao > melhor) {
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
