// The lens model's fit (calibration/lens_model.h): each term recovered from exact pairs, and a
// fit refused, with the model untouched, when the pairs are too few for the terms it frees.
#include "calibration/lens_model.h"
#include "utilities/field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace corretor;

namespace {

using M = ModeloDaLente;

// The pattern points of a 21-pixel grid out to 1.15 field radii, and their capture points.
void pares(const ModeloDaLente& m, std::vector<cv::Point2d>& padrao,
           std::vector<cv::Point2d>& captura)
{
    for (int y = 0; y < 436; y += 21)
        for (int x = 0; x < 436; x += 21) {
            const cv::Point2d p(x, y);
            if (cv::norm(p - cv::Point2d(kCentroDoCampo, kCentroDoCampo)) > 1.15 * kRaioDoCampo)
                continue;
            padrao.push_back(p);
            captura.push_back(m.aplicar(p));
        }
}

} // namespace

TEST(Calibration_LensModel, recovers_every_term_from_exact_pairs)
{
    struct Linha
    {
        const char* nome;
        int termo;
        double valor;
    };
    const Linha linhas[] = {{"k1", M::K1, -0.18}, {"k2", M::K2, 0.06},  {"k3", M::K3, -0.03},
                            {"p1", M::P1, 0.008}, {"p2", M::P2, -0.01}, {"g", M::G, 0.04},
                            {"h", M::H, -0.05},   {"c0", M::C0, -0.03}, {"c1", M::C1, 0.02}};
    // A turned, shifted model with every term at once, then each term alone.
    ModeloDaLente todos = ModeloDaLente::deAfim(cv::Matx23d(1.2, -0.1, 40, 0.1, 1.2, 30));
    for (const Linha& l : linhas)
        todos.p[l.termo] += l.valor;
    std::vector<ModeloDaLente> verdadeiros = {todos};
    for (const Linha& l : linhas) {
        ModeloDaLente m = ModeloDaLente::deAfim(cv::Matx23d(0.8, 0, 15, 0, 0.8, -20));
        m.p[l.termo] += l.valor;
        verdadeiros.push_back(m);
    }
    for (std::size_t i = 0; i < verdadeiros.size(); ++i) {
        SCOPED_TRACE(i == 0 ? "todos" : linhas[i - 1].nome);
        const ModeloDaLente& certo = verdadeiros[i];
        std::vector<cv::Point2d> padrao, captura;
        pares(certo, padrao, captura);
        // From the affine map alone, as the calibration starts.
        ModeloDaLente m = certo;
        for (int k = M::G; k < M::kParametros; ++k)
            m.p[k] = 0;
        m.p[M::C0] = m.p[M::C1] = 0;
        ASSERT_TRUE(ajustarModelo(m, padrao, captura, {}, Liberdade::Completa));
        for (int k = 0; k < M::kParametros; ++k)
            EXPECT_NEAR(certo.p[k], m.p[k], 1e-5) << "parameter " << k;
    }
}

TEST(Calibration_LensModel, refuses_too_few_pairs_and_leaves_the_model_as_it_was)
{
    struct Linha
    {
        Liberdade liberdade;
        std::size_t minimo; // the fewest pairs it takes: half the free terms and two
    };
    const Linha linhas[] = {{Liberdade::Afim, 5},
                            {Liberdade::Radial, 6},
                            {Liberdade::Lente, 8},
                            {Liberdade::Completa, 9}};
    ModeloDaLente certo = ModeloDaLente::deAfim(cv::Matx23d(0.9, 0.05, 10, -0.05, 0.9, 5));
    certo.p[M::K1] = -0.1;
    std::vector<cv::Point2d> todosP, todosC;
    pares(certo, todosP, todosC);
    for (const Linha& l : linhas) {
        SCOPED_TRACE(static_cast<int>(l.liberdade));
        // Pairs spread over the grid, the fewest the fit takes and one fewer.
        for (std::size_t n : {l.minimo - 1, l.minimo}) {
            std::vector<cv::Point2d> p, c;
            for (std::size_t k = 0; k < n; ++k) {
                p.push_back(todosP[k * todosP.size() / n]);
                c.push_back(todosC[k * todosP.size() / n]);
            }
            ModeloDaLente m = ModeloDaLente::deAfim(cv::Matx23d(1, 0, 0, 0, 1, 0));
            const ModeloDaLente antes = m;
            std::vector<bool> usado = {true};
            const bool feito = ajustarModelo(m, p, c, {}, l.liberdade);
            ModeloDaLente r = antes;
            const bool robusto = ajustarModeloRobusto(r, p, c, l.liberdade, 1.0, usado);
            EXPECT_EQ(n >= l.minimo, feito) << n << " pairs";
            EXPECT_EQ(feito, robusto) << n << " pairs";
            if (!feito) {
                EXPECT_EQ(antes.p, m.p);
                EXPECT_EQ(antes.p, r.p);
                EXPECT_EQ(antes.centro, m.centro);
                EXPECT_EQ(antes.escala, m.escala);
                EXPECT_EQ(1u, usado.size()) << "usado untouched";
            }
        }
        // Zero weights do not count as pairs.
        std::vector<double> pesos(todosP.size(), 0.0);
        for (std::size_t k = 0; k + 1 < l.minimo; ++k)
            pesos[k * 7 % pesos.size()] = 1;
        ModeloDaLente m = ModeloDaLente::deAfim(cv::Matx23d(1, 0, 0, 0, 1, 0));
        const ModeloDaLente antes = m;
        EXPECT_FALSE(ajustarModelo(m, todosP, todosC, pesos, l.liberdade));
        EXPECT_EQ(antes.p, m.p);
    }
}
