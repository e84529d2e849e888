#include "calibration/global_estimate.h"

#include "utilities/field.h"
#include "utilities/report.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
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

// A repeated pattern's periods are sought up to this many pixels, and a shift counts as one
// when the pattern correlates with itself shifted by at least this much.
constexpr int kAlcanceDoPeriodo = 90;
constexpr float kSemelhancaDoPeriodo = 0.6f;
// The copies of a repeated pattern are told apart over this many field radii about the centre:
// farther out the lens moves the pattern away from any affine map by more than the slow
// changes that tell the copies apart.
constexpr double kAlcanceDosPeriodos = 0.45;

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

// The shifts, in pattern pixels, by which the pattern looks nearly like itself: the peaks of
// its autocorrelation (the middle of its field against the pattern, on pictures reduced twice)
// within kAlcanceDoPeriodo pixels, other than no shift, with a correlation of at least
// kSemelhancaDoPeriodo. None for a pattern that repeats nothing.
std::vector<cv::Point2d> periodosDoPadrao(const cv::Mat& padrao)
{
    cv::Mat cinza, menor;
    cv::cvtColor(padrao, cinza, cv::COLOR_BGR2GRAY);
    cv::resize(cinza, menor, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    menor.convertTo(menor, CV_32F);
    const int meio = static_cast<int>(0.45 * kRaioDoCampo / 2), busca = kAlcanceDoPeriodo / 2;
    const cv::Point c(static_cast<int>(kCentro.x / 2), static_cast<int>(kCentro.y / 2));
    const cv::Rect modelo(c.x - meio, c.y - meio, 2 * meio + 1, 2 * meio + 1);
    const cv::Rect area = cv::Rect(modelo.x - busca, modelo.y - busca, modelo.width + 2 * busca,
                                   modelo.height + 2 * busca) &
                          cv::Rect(0, 0, menor.cols, menor.rows);
    if ((modelo & area) != modelo) return {};
    cv::Mat mapa, vizinhos;
    cv::matchTemplate(menor(area), menor(modelo), mapa, cv::TM_CCOEFF_NORMED);
    cv::dilate(mapa, vizinhos, cv::Mat());
    std::vector<std::pair<float, cv::Point2d>> picos;
    for (int y = 1; y + 1 < mapa.rows; ++y)
        for (int x = 1; x + 1 < mapa.cols; ++x) {
            const float v = mapa.at<float>(y, x);
            const cv::Point d(area.x + x - modelo.x, area.y + y - modelo.y);
            if (v < kSemelhancaDoPeriodo || v < vizinhos.at<float>(y, x) || d.dot(d) < 9) continue;
            picos.emplace_back(v, cv::Point2d(2.0 * d.x, 2.0 * d.y));
        }
    std::sort(picos.begin(), picos.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<cv::Point2d> periodos;
    for (std::size_t k = 0; k < picos.size() && k < 8; ++k)
        periodos.push_back(picos[k].second);
    return periodos;
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
    cv::RNG sorteio(0x5eed); // the same candidates for the same pictures
    for (int rodada = 0; rodada < kRodadas && noPadrao.size() >= kConcordantesMinimas; ++rodada) {
        std::vector<uchar> concordam;
        cv::Matx23d a;
        if (!ransacSemelhanca(noPadrao, naCaptura, limiar, captura.size(), sorteio, a, concordam))
            break;
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
        double soma = 0;
        for (std::size_t k = 0; k < a.size(); ++k)
            soma += cv::computeECC(a[k], b[k], tem);
        return soma / static_cast<double>(a.size());
    }

    // The correlations of the pattern brought onto the capture by each map in `mapas`, all
    // over the same capture pixels: those of the first map's disc where every map has pattern
    // pixels, so that no map is judged on a part of the capture the others leave out.
    std::vector<double> correlacoesNaCaptura(const std::vector<cv::Matx23d>& mapas) const
    {
        std::vector<cv::Mat> padroes;
        cv::Mat comum;
        cv::warpAffine(disco, comum, reduzido(mapas.front()), captura.size(), cv::INTER_NEAREST);
        for (const auto& a : mapas) {
            cv::Mat pw, tem;
            cv::warpAffine(padrao, pw, reduzido(a), captura.size(), cv::INTER_LINEAR);
            cv::warpAffine(cv::Mat(padrao.size(), CV_8U, cv::Scalar(255)), tem, reduzido(a),
                           captura.size(), cv::INTER_NEAREST);
            comum &= tem;
            padroes.push_back(pw);
        }
        std::vector<cv::Mat> c;
        cv::split(captura, c);
        std::vector<double> correlacoes;
        for (const auto& pw : padroes) {
            std::vector<cv::Mat> p;
            cv::split(pw, p);
            double soma = 0;
            for (std::size_t k = 0; k < c.size(); ++k)
                soma += cv::countNonZero(comum) > 0 ? cv::computeECC(p[k], c[k], comum) : -1;
            correlacoes.push_back(soma / static_cast<double>(c.size()));
        }
        return correlacoes;
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
    std::vector<Candidata> candidatas = candidatasDasFeicoes(padraoCinza, capturaCinza);
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
    // The winner shifted by each of the pattern's periods, judged without further alignment: a
    // repeated pattern tells its copies apart only by what it has beyond one period (slow
    // changes across the sheet, a mark), which the correlation over many periods weighs.
    const std::vector<cv::Point2d> periodos = periodosDoPadrao(padrao);
    if (melhor > -1 && !periodos.empty()) {
        const Nivel perto(padrao, captura, 2, escala, 1.0, kAlcanceDosPeriodos);
        std::vector<cv::Matx23d> mapas = {estimativa.afim};
        for (const cv::Point2d& v : periodos)
            mapas.push_back(paraMatx23(paraMatx33(estimativa.afim) *
                                       cv::Matx33d(1, 0, v.x, 0, 1, v.y, 0, 0, 1)));
        const std::vector<double> correlacoes = perto.correlacoesNaCaptura(mapas);
        estimativa.afim =
            mapas[std::max_element(correlacoes.begin(), correlacoes.end()) - correlacoes.begin()];
        estimativa.candidatas += static_cast<int>(periodos.size());
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
