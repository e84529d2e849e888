// The check of a mesh against its capture (calibration/self_check.h): the mesh of the true nodes
// agrees; a mesh turned, or with nodes off by a few pixels, does not, and the check says why.
#include "calibration/node_layout.h"
#include "calibration/self_check.h"
#include "calibration/sintetica/captura_sintetica.h"
#include "mesh/ampliacao.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace corretor;

namespace {

// Delaunay triangles of the target nodes, numbered from 1 (the library's, for the test alone).
std::vector<std::array<int, 3>> triangulos(const std::vector<cv::Point>& nos)
{
    cv::Subdiv2D s(cv::Rect(-200, -200, 900, 900));
    for (const auto& p : nos)
        s.insert(cv::Point2f(p));
    std::vector<cv::Vec6f> lista;
    s.getTriangleList(lista);
    std::vector<std::array<int, 3>> t;
    for (const auto& v : lista) {
        std::array<int, 3> a{};
        bool dentro = true;
        for (int k = 0; k < 3; ++k) {
            const cv::Point p(cvRound(v[2 * k]), cvRound(v[2 * k + 1]));
            const auto onde = std::find(nos.begin(), nos.end(), p);
            dentro = dentro && onde != nos.end();
            a[k] = static_cast<int>(onde - nos.begin()) + 1;
        }
        if (dentro) t.push_back(a);
    }
    return t;
}

} // namespace

TEST(Calibration_SelfCheck, agrees_with_the_true_mesh_and_refuses_a_turned_or_displaced_one)
{
    Caso c;
    c.lente.k1 = -0.08;
    c.lente.angulo = 0.04;
    c.lente.escala = 0.8;
    c.tamanho = cv::Size(400, 390);
    c.lente.centro = cv::Point2d(200, 195);
    c.ruido = 2;
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Natural, 4);
    const cv::Mat captura = fotografar(padrao, c);
    const std::vector<cv::Point> destino = escolherNosDeDestino(kMaisNos);
    const auto tri = triangulos(destino);
    ASSERT_GE(tri.size(), 90u);
    std::vector<cv::Point2d> certa;
    for (const auto& p : destino)
        certa.push_back(daAmpliada(paraAmpliada(aplicarLente(c.lente, cv::Point2d(p)))));
    std::vector<cv::Point2d> girada = certa, deslocada = certa;
    for (auto& q : girada)
        q = c.lente.centro + cv::Point2d(-(q - c.lente.centro).y, (q - c.lente.centro).x);
    deslocada[10] += cv::Point2d(3, 1);  // node 11, inside the field
    deslocada[30] += cv::Point2d(-2, 3); // node 31
    struct Linha
    {
        const char* caso;
        const std::vector<cv::Point2d>& origem;
        const char* motivo; // null: it agrees
    };
    const Linha linhas[] = {{"true nodes", certa, nullptr},
                            {"turned by a quarter turn", girada, "girada, espelhada ou deslocada"},
                            {"two nodes 3 pixels off", deslocada, "os nós 11 ("}};
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        const ConferenciaDaMalha r = conferirMalha(padrao, captura, "c", destino, l.origem, tri);
        EXPECT_EQ(l.motivo == nullptr, r.confere) << r.motivo;
        EXPECT_GT(r.trechos, 500);
        if (l.motivo != nullptr)
            EXPECT_NE(std::string::npos, r.motivo.find(l.motivo)) << r.motivo;
        else
            EXPECT_LT(*std::max_element(r.erroDosNos.begin(), r.erroDosNos.end()), 1.5);
    }
}
