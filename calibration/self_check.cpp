#include "calibration/self_check.h"

#include "calibration/pattern_matching.h"
#include "calibration/regions.h"
#include "utilities/field.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);

constexpr int kMeiaJanela = 16;           // the matched neighbourhood, as the calibration's
constexpr int kRaio = 5;                  // the search, pattern pixels
constexpr int kEspaco = 8;                // the grid of points, pattern pixels
constexpr double kCorrelacaoMinima = 0.5; // a match below it is no match
constexpr double kTexturaMinima = 4.0;    // grey levels: a flatter neighbourhood shows nothing
constexpr int kLadoDeTrabalho = 1600;     // a capture finer than this is brought down first
// A node's place in the capture is judged from the points within about this many pattern
// pixels of it, when they weigh this much (a dozen points near it).
constexpr double kAlcanceDoNo = 20;
constexpr double kPesoMinimo = 12;
// A node's estimate holds the noise of the matches about it: a node is named in a warning when
// it seems off by more than kAviso units, and the mesh refused when one inside the field seems
// off by more than kLimite (a mesh whose nodes are right seems off by up to about 1 at most).
constexpr double kAviso = 0.75, kLimite = 1.5; // units

std::string numero(double v)
{
    char texto[32];
    std::snprintf(texto, sizeof texto, "%.2f", v);
    return texto;
}

double mediana(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

ConferenciaDaMalha conferirMalha(const cv::Mat& padrao, const cv::Mat& captura,
                                 const std::string& nome, const std::vector<cv::Point>& destino,
                                 const std::vector<cv::Point2d>& origem,
                                 const std::vector<std::array<int, 3>>& triangulos)
{
    ConferenciaDaMalha c;
    const int n = static_cast<int>(destino.size());
    c.erroDosNos.assign(n, -1);

    // The capture in grey, brought down as the calibration brings it down.
    const int reducao = std::max(1, std::min(captura.cols, captura.rows) / kLadoDeTrabalho);
    cv::Mat cinza, menor;
    cv::cvtColor(captura, cinza, cv::COLOR_BGR2GRAY);
    menor = cinza;
    if (reducao > 1)
        cv::resize(cinza, menor, cv::Size(captura.cols / reducao, captura.rows / reducao), 0, 0,
                   cv::INTER_AREA);
    menor.convertTo(menor, CV_32F);
    cv::Mat padraoCinza, padraoF;
    cv::cvtColor(padrao, padraoCinza, cv::COLOR_BGR2GRAY);
    padraoCinza.convertTo(padraoF, CV_32F);

    // Each triangle's affine map from its target corners to its source corners (in the
    // working capture), and which triangle holds each pixel of the pattern's grid with a margin.
    const int margem = kMeiaJanela + kRaio + 6;
    const cv::Size grade(padrao.cols + 2 * margem, padrao.rows + 2 * margem);
    cv::Mat dono(grade, CV_32S, cv::Scalar(-1));
    std::vector<cv::Matx23d> mapas;
    std::vector<double> escalas;
    const auto fonte = [&](int no) {
        const cv::Point2d t(reducao - 1, reducao - 1);
        return (origem[no - 1] - t / 2) / reducao;
    };
    for (std::size_t t = 0; t < triangulos.size(); ++t) {
        const auto& tri = triangulos[t];
        cv::Point2f de[3], para[3];
        cv::Point canto[3];
        bool valido = true;
        for (int k = 0; k < 3; ++k) {
            if (tri[k] < 1 || tri[k] > n) valido = false;
            if (!valido) break;
            de[k] = cv::Point2f(destino[tri[k] - 1]);
            para[k] = cv::Point2f(fonte(tri[k]));
            canto[k] = destino[tri[k] - 1] + cv::Point(margem, margem);
        }
        const cv::Mat a = valido ? cv::getAffineTransform(de, para) : cv::Mat();
        mapas.push_back(a.empty() ? cv::Matx23d() : cv::Matx23d(a));
        escalas.push_back(a.empty() ? 0 : std::sqrt(std::abs(cv::determinant(a.colRange(0, 2)))));
        if (valido && cv::checkRange(a))
            cv::fillConvexPoly(dono, canto, 3, cv::Scalar(static_cast<int>(t)));
    }
    // A unit in working capture pixels: one capture pixel, or one pattern pixel where the
    // capture shows the field larger.
    const double escala = std::max(1e-6, mediana(escalas));
    const double unidade = std::max(1.0, escala * reducao) / reducao;

    CapturaEndireitada e;
    e.margem = margem;
    cv::Mat mapaX(grade, CV_32F, cv::Scalar(-1e6)), mapaY(grade, CV_32F, cv::Scalar(-1e6));
    for (int y = 0; y < grade.height; ++y)
        for (int x = 0; x < grade.width; ++x) {
            const int t = dono.at<int>(y, x);
            if (t < 0) continue;
            const cv::Matx23d& a = mapas[t];
            const double px = x - margem, py = y - margem;
            mapaX.at<float>(y, x) = static_cast<float>(a(0, 0) * px + a(0, 1) * py + a(0, 2));
            mapaY.at<float>(y, x) = static_cast<float>(a(1, 0) * px + a(1, 1) * py + a(1, 2));
        }
    cv::Mat suave = menor;
    if (escala > 1.3) {
        suave = cv::Mat();
        cv::GaussianBlur(menor, suave, cv::Size(0, 0), 0.5 * escala);
    }
    cv::remap(suave, e.imagem, mapaX, mapaY, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    e.valida = (mapaX >= 0) & (mapaY >= 0) & (mapaX <= menor.cols - 1) & (mapaY <= menor.rows - 1);
    const double sigma = desfoqueDaCaptura(padraoF, e);
    cv::Mat comoACaptura = padraoF;
    if (sigma > 0) {
        comoACaptura = cv::Mat();
        cv::GaussianBlur(padraoF, comoACaptura, cv::Size(0, 0), sigma);
    }

    // The points of the grid in the field whose neighbourhood has detail, matched.
    struct Ponto
    {
        cv::Point2d p, erro; // erro: the mesh's error there, working capture pixels
        int triangulo;
        cv::Point2d naCaptura; // where the capture shows the pattern point p
    };
    std::vector<cv::Point> grelha;
    for (int y = kCentroDoCampo % kEspaco; y < padrao.rows; y += kEspaco)
        for (int x = kCentroDoCampo % kEspaco; x < padrao.cols; x += kEspaco) {
            const cv::Point p(x, y);
            if (cv::norm(cv::Point2d(p) - kCentro) >= kRaioDoCampo - 4) continue;
            if (dono.at<int>(p + cv::Point(margem, margem)) < 0) continue;
            cv::Scalar media, desvio;
            const cv::Rect janela = cv::Rect(x - kMeiaJanela, y - kMeiaJanela, 2 * kMeiaJanela + 1,
                                             2 * kMeiaJanela + 1) &
                                    cv::Rect(0, 0, padrao.cols, padrao.rows);
            cv::meanStdDev(padraoF(janela), media, desvio);
            if (desvio[0] >= kTexturaMinima) grelha.push_back(p);
        }
    std::vector<Casamento> casamentos(grelha.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(grelha.size())), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i)
            casamentos[i] = casar(comoACaptura, e, grelha[i], kMeiaJanela, kRaio, kCorrelacaoMinima,
                                  true, padraoF);
    });
    std::vector<Ponto> pontos;
    for (std::size_t i = 0; i < grelha.size(); ++i) {
        if (!casamentos[i].achado) continue;
        const int t = dono.at<int>(grelha[i] + cv::Point(margem, margem));
        const cv::Matx23d& a = mapas[t];
        const cv::Point2d d = casamentos[i].deslocamento;
        const cv::Point2d p(grelha[i]);
        const cv::Point2d erro(a(0, 0) * d.x + a(0, 1) * d.y, a(1, 0) * d.x + a(1, 1) * d.y);
        const cv::Point2d naMalha(a(0, 0) * p.x + a(0, 1) * p.y + a(0, 2),
                                  a(1, 0) * p.x + a(1, 1) * p.y + a(1, 2));
        pontos.push_back({p, erro, t, naMalha + erro});
    }
    c.trechos = static_cast<int>(grelha.size());
    c.achados = static_cast<int>(pontos.size());
    if (c.trechos >= 20 && 2 * c.achados < c.trechos) {
        c.motivo = "a malha não confere com a captura \"" + nome + "\": corrigida por ela, a " +
                   "captura mostra só " + std::to_string(c.achados) + " de " +
                   std::to_string(c.trechos) +
                   " trechos do padrão no lugar (a malha parece girada, espelhada ou deslocada)";
        return c;
    }

    // Each node's error: where the capture shows the node's pattern point, from the points
    // about it (a quadratic in the pattern point, fitted with Gaussian weights, which follows a
    // curved lens over a few tens of pixels), against where the mesh puts the node. What the
    // capture shows at the points does not depend on the mesh's triangles, so a flat triangle's
    // bend between its corners is no node's fault.
    std::string avisados, recusados;
    std::map<std::string, std::vector<double>> porRegiao;
    const double alcance = kAlcanceDoNo, alcance2 = 2 * alcance * alcance;
    for (int k = 0; k < n; ++k) {
        const cv::Point2d no(destino[k]);
        cv::Mat ata = cv::Mat::zeros(6, 6, CV_64F), atb = cv::Mat::zeros(6, 2, CV_64F);
        double peso = 0;
        int quadrantes = 0;
        for (const Ponto& p : pontos) {
            const cv::Point2d u = (p.p - no) / alcance;
            const double w = std::exp(-(p.p - no).dot(p.p - no) / alcance2);
            if (w < 0.01) continue;
            quadrantes |= (u.x >= 0 ? 1 : 2) << (u.y >= 0 ? 0 : 2);
            const double f[6] = {1, u.x, u.y, u.x * u.x, u.x * u.y, u.y * u.y};
            for (int i = 0; i < 6; ++i) {
                atb.at<double>(i, 0) += w * f[i] * p.naCaptura.x;
                atb.at<double>(i, 1) += w * f[i] * p.naCaptura.y;
                for (int j = 0; j < 6; ++j)
                    ata.at<double>(i, j) += w * f[i] * f[j];
            }
            peso += w;
        }
        // Judged only where points stand on every side of the node: beyond the last points a
        // quadratic says little.
        if (peso < kPesoMinimo || quadrantes != 15) continue;
        cv::Mat coeficientes;
        if (!cv::solve(ata, atb, coeficientes, cv::DECOMP_SVD)) continue;
        const cv::Point2d visto(coeficientes.at<double>(0, 0), coeficientes.at<double>(0, 1));
        const double erro = cv::norm(fonte(k + 1) - visto) / unidade;
        if (!std::isfinite(erro)) continue;
        c.erroDosNos[k] = erro;
        const bool noCampo = cv::norm(no - kCentro) < kRaioDoCampo;
        if (noCampo) porRegiao[regiaoDoCampo(no)].push_back(erro);
        const std::string item = std::to_string(k + 1) + " (" + numero(erro) + ")";
        if (noCampo && erro > kLimite)
            recusados += (recusados.empty() ? "" : ", ") + item;
        else if (erro > kAviso)
            avisados += (avisados.empty() ? "" : ", ") + item;
    }
    for (const auto& [regiao, lista] : porRegiao) {
        const double m = mediana(lista);
        if (lista.size() >= 3 && m > kAviso)
            c.avisos.push_back("a malha discorda da captura " + regiao + ": desvio mediano de " +
                               numero(m) + " pixel nos seus nós");
    }
    if (!avisados.empty())
        c.avisos.push_back("nós que discordam da captura em mais de " + numero(kAviso) +
                           " pixel: " + avisados);
    if (!recusados.empty()) {
        c.motivo = "a malha não confere com a captura \"" + nome + "\": os nós " + recusados +
                   " ficam a mais de " + numero(kLimite) + " pixel de onde a captura os mostra";
        return c;
    }
    c.confere = true;
    return c;
}

} // namespace corretor
