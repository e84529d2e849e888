#include "calibration/lens_model.h"

#include "utilities/field.h"

#include <algorithm>
#include <cmath>

namespace corretor {

namespace {

const cv::Point2d kCentro(kCentroDoCampo, kCentroDoCampo);
constexpr double kRaio = kRaioDoCampo;

std::vector<int> livres(Liberdade liberdade)
{
    using M = ModeloDaLente;
    std::vector<int> l = {M::A, M::B, M::C0, M::D, M::F, M::C1};
    if (liberdade >= Liberdade::Radial) l.push_back(M::K1);
    if (liberdade >= Liberdade::Lente) l.insert(l.end(), {M::K2, M::P1, M::P2, M::G, M::H});
    if (liberdade >= Liberdade::Completa) l.push_back(M::K3);
    return l;
}

double custo(const ModeloDaLente& m, const std::vector<cv::Point2d>& padrao,
             const std::vector<cv::Point2d>& captura, const std::vector<double>& pesos)
{
    double soma = 0;
    for (std::size_t i = 0; i < padrao.size(); ++i) {
        const cv::Point2d d = m.aplicar(padrao[i]) - captura[i];
        soma += (pesos.empty() ? 1.0 : pesos[i]) * d.dot(d);
    }
    return soma;
}

} // namespace

ModeloDaLente ModeloDaLente::deAfim(const cv::Matx23d& afim)
{
    // q = L p + t = (L c + t) + R L w, since p = c + R w with no lens.
    ModeloDaLente m;
    const double det = afim(0, 0) * afim(1, 1) - afim(0, 1) * afim(1, 0);
    m.centro = cv::Point2d(afim(0, 0) * kCentro.x + afim(0, 1) * kCentro.y + afim(0, 2),
                           afim(1, 0) * kCentro.x + afim(1, 1) * kCentro.y + afim(1, 2));
    m.escala = kRaio * std::sqrt(std::max(std::abs(det), 1e-12));
    const double f = kRaio / m.escala;
    m.p[A] = afim(0, 0) * f, m.p[B] = afim(0, 1) * f;
    m.p[D] = afim(1, 0) * f, m.p[F] = afim(1, 1) * f;
    return m;
}

cv::Point2d ModeloDaLente::aplicar(cv::Point2d padrao) const
{
    const cv::Point2d u = (padrao - kCentro) / kRaio;
    const double r2 = u.dot(u);
    const double radial = 1 + r2 * (p[K1] + r2 * (p[K2] + r2 * p[K3]));
    const cv::Point2d w(u.x * radial + 2 * p[P1] * u.x * u.y + p[P2] * (r2 + 2 * u.x * u.x),
                        u.y * radial + p[P1] * (r2 + 2 * u.y * u.y) + 2 * p[P2] * u.x * u.y);
    const double den = 1 + p[G] * w.x + p[H] * w.y;
    return centro + escala * cv::Point2d((p[A] * w.x + p[B] * w.y + p[C0]) / den,
                                         (p[D] * w.x + p[F] * w.y + p[C1]) / den);
}

double ModeloDaLente::escalaLocal(cv::Point2d padrao) const
{
    const double h = 0.5;
    const cv::Point2d dx =
        (aplicar(padrao + cv::Point2d(h, 0)) - aplicar(padrao - cv::Point2d(h, 0)));
    const cv::Point2d dy =
        (aplicar(padrao + cv::Point2d(0, h)) - aplicar(padrao - cv::Point2d(0, h)));
    return std::sqrt(std::abs(dx.x * dy.y - dx.y * dy.x)) / (2 * h);
}

bool ajustarModelo(ModeloDaLente& modelo, const std::vector<cv::Point2d>& padrao,
                   const std::vector<cv::Point2d>& captura, const std::vector<double>& pesos,
                   Liberdade liberdade)
{
    const std::vector<int> quais = livres(liberdade);
    const int n = static_cast<int>(quais.size());
    int usados = 0;
    for (std::size_t i = 0; i < padrao.size(); ++i)
        usados += pesos.empty() || pesos[i] > 0;
    if (2 * usados < n + 4) return false;

    ModeloDaLente m = modelo;
    double atual = custo(m, padrao, captura, pesos);
    double lambda = 1e-3;
    for (int iteracao = 0; iteracao < 50; ++iteracao) {
        // Normal equations J^T W J and J^T W r, the Jacobian by central differences.
        cv::Mat jtj = cv::Mat::zeros(n, n, CV_64F), jtr = cv::Mat::zeros(n, 1, CV_64F);
        std::vector<cv::Point2d> derivadas(n);
        for (std::size_t i = 0; i < padrao.size(); ++i) {
            const double w = pesos.empty() ? 1.0 : pesos[i];
            if (w <= 0) continue;
            for (int j = 0; j < n; ++j) {
                const double h = 1e-6;
                ModeloDaLente mais = m, menos = m;
                mais.p[quais[j]] += h;
                menos.p[quais[j]] -= h;
                derivadas[j] = (mais.aplicar(padrao[i]) - menos.aplicar(padrao[i])) / (2 * h);
            }
            const cv::Point2d r = captura[i] - m.aplicar(padrao[i]);
            for (int a = 0; a < n; ++a) {
                jtr.at<double>(a) += w * derivadas[a].dot(r);
                for (int b = a; b < n; ++b)
                    jtj.at<double>(a, b) += w * derivadas[a].dot(derivadas[b]);
            }
        }
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < a; ++b)
                jtj.at<double>(a, b) = jtj.at<double>(b, a);

        bool melhorou = false;
        for (int tentativa = 0; tentativa < 10 && !melhorou; ++tentativa) {
            cv::Mat amortecida = jtj.clone(), passo;
            for (int a = 0; a < n; ++a)
                amortecida.at<double>(a, a) *= 1 + lambda;
            if (!cv::solve(amortecida, jtr, passo, cv::DECOMP_CHOLESKY) &&
                !cv::solve(amortecida, jtr, passo, cv::DECOMP_SVD))
                return false;
            ModeloDaLente novo = m;
            for (int a = 0; a < n; ++a)
                novo.p[quais[a]] += passo.at<double>(a);
            const double c = custo(novo, padrao, captura, pesos);
            if (std::isfinite(c) && c <= atual) {
                melhorou = true;
                const bool parou = atual - c < 1e-10 * (1 + atual);
                m = novo;
                atual = c;
                lambda = std::max(lambda / 10, 1e-9);
                if (parou) {
                    modelo = m;
                    return true;
                }
            } else {
                lambda *= 10;
            }
        }
        if (!melhorou) break;
    }
    if (!std::isfinite(atual)) return false;
    modelo = m;
    return true;
}

bool ajustarModeloRobusto(ModeloDaLente& modelo, const std::vector<cv::Point2d>& padrao,
                          const std::vector<cv::Point2d>& captura, Liberdade liberdade,
                          double minimo, std::vector<bool>& usado)
{
    std::vector<double> pesos(padrao.size(), 1.0);
    ModeloDaLente m = modelo;
    if (!ajustarModelo(m, padrao, captura, pesos, liberdade)) return false;
    for (int rodada = 0; rodada < 2; ++rodada) {
        std::vector<double> distancias;
        for (std::size_t i = 0; i < padrao.size(); ++i)
            distancias.push_back(cv::norm(m.aplicar(padrao[i]) - captura[i]));
        std::vector<double> ordenadas = distancias;
        std::nth_element(ordenadas.begin(), ordenadas.begin() + ordenadas.size() / 2,
                         ordenadas.end());
        const double limite = std::max(minimo, 3 * 1.4826 * ordenadas[ordenadas.size() / 2]);
        for (std::size_t i = 0; i < padrao.size(); ++i)
            pesos[i] = distancias[i] <= limite ? 1.0 : 0.0;
        if (!ajustarModelo(m, padrao, captura, pesos, liberdade)) return false;
    }
    usado.assign(padrao.size(), false);
    for (std::size_t i = 0; i < padrao.size(); ++i)
        usado[i] = pesos[i] > 0;
    modelo = m;
    return true;
}

} // namespace corretor
