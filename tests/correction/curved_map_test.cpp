// The curved map: through every node, smooth across every edge, local, and exact for the maps
// it can represent, on random meshes.
#include "correction/curved_map.h"
#include "correction/warp_interpolado.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>

using namespace corretor;

namespace {

using Mapa = std::function<cv::Point2d(cv::Point2d)>;

// A mesh in the store over the target nodes `nos`: their Delaunay triangles (found here with
// OpenCV's, apart from the system's triangulation), as source point of each node `mapa` of its
// target point rounded to whole pixels, and each triangle's affine map from source to target.
void malhaSobre(const std::vector<cv::Point>& nos, const Mapa& mapa)
{
    teste::estadoInicial();
    cv::Subdiv2D sub(cv::Rect(-40, -40, 520, 520));
    std::map<std::pair<int, int>, int> noEm;
    for (int k = 1; k <= static_cast<int>(nos.size()); ++k) {
        const cv::Point p = nos[k - 1];
        noEm[{p.x, p.y}] = k;
        vert2[k][0] = p.x, vert2[k][1] = p.y;
        const cv::Point2d q = mapa(cv::Point2d(p));
        vert[k][0] = int(std::lround(q.x)), vert[k][1] = int(std::lround(q.y));
        sub.insert(cv::Point2f(float(p.x), float(p.y)));
    }
    std::vector<cv::Vec6f> lista;
    sub.getTriangleList(lista);
    int t = 0;
    for (const auto& v : lista) {
        int n[3];
        bool dosNos = true;
        for (int k = 0; k < 3 && dosNos; ++k) {
            const auto achado =
                noEm.find({int(std::lround(v[2 * k])), int(std::lround(v[2 * k + 1]))});
            dosNos = achado != noEm.end();
            if (dosNos) n[k] = achado->second;
        }
        if (!dosNos) continue;
        ASSERT_LT(t, kTriangulos);
        cv::Point2f origem[3], destino[3];
        for (int k = 0; k < 3; ++k) {
            trg[t][k] = n[k];
            origem[k] = cv::Point2f(float(vert[n[k]][0]), float(vert[n[k]][1]));
            destino[k] = cv::Point2f(float(vert2[n[k]][0]), float(vert2[n[k]][1]));
        }
        const cv::Mat m = cv::getAffineTransform(origem, destino);
        for (int i = 0; i < 6; ++i)
            matrix[t].mat[i / 3][i % 3] = static_cast<float>(m.at<double>(i / 3, i % 3));
        ++t;
    }
}

// `n` random target nodes in the pattern's square.
void malhaAleatoria(std::mt19937& random, int n, const Mapa& mapa)
{
    std::set<std::pair<int, int>> usados;
    std::vector<cv::Point> nos;
    while (static_cast<int>(nos.size()) < n) {
        const cv::Point p(int(random() % 437), int(random() % 437));
        if (usados.insert({p.x, p.y}).second) nos.push_back(p);
    }
    malhaSobre(nos, mapa);
}

cv::Point2d alvo(int no)
{
    return {double(vert2[no][0]), double(vert2[no][1])};
}

// A point of target triangle t at barycentric coordinates (a, b, 1 - a - b).
cv::Point2d ponto(int t, double a, double b)
{
    return a * alvo(trg[t][0]) + b * alvo(trg[t][1]) + (1 - a - b) * alvo(trg[t][2]);
}

double distancia(const cv::Matx22d& a, const cv::Matx22d& b)
{
    return cv::norm(a - b, cv::NORM_INF);
}

// A lens-like map: a barrel, a turn, a shift and a scale into the enlarged grid.
cv::Point2d lente(cv::Point2d p)
{
    const cv::Point2d u = (p - cv::Point2d(218, 218)) / 210;
    const double r2 = u.dot(u), f = 1 - 0.25 * r2;
    return cv::Point2d(400 + 420 * (u.x * f * 0.99 - u.y * f * 0.1),
                       380 + 420 * (u.x * f * 0.1 + u.y * f * 0.99));
}

} // namespace

// At every corner of every triangle the map gives the node's source point; the Jacobian matches
// finite differences of the map; an affine mesh is reproduced exactly everywhere, and a quadratic
// one wherever the three nodes got the quadratic's own gradient (whole numbers at whole pixels,
// so that the vertex files hold them exactly).
TEST(Correction_MapaSuave, passes_through_the_nodes_and_reproduces_affine_and_quadratic_maps)
{
    std::mt19937 random(7);
    struct Exato
    {
        Mapa mapa;
        std::function<cv::Matx22d(cv::Point2d)> jacobiano;
    };
    const Exato afim{
        [](cv::Point2d p) { return cv::Point2d(3 * p.x - p.y + 7, p.x + 2 * p.y - 3); },
        [](cv::Point2d) { return cv::Matx22d(3, -1, 1, 2); }};
    const Exato quadratico{
        [](cv::Point2d p) { return cv::Point2d(p.x * p.x + 3 * p.y, p.x * p.y - 2 * p.x); },
        [](cv::Point2d p) { return cv::Matx22d(2 * p.x, 3, p.y - 2, p.x); }};
    for (int caso = 0; caso < 6; ++caso) {
        SCOPED_TRACE(caso);
        const Exato& exato = caso % 2 ? quadratico : afim;
        malhaAleatoria(random, 20 + 6 * caso, exato.mapa);
        const MapaSuave suave;
        int pecas = 0, exatas = 0;
        for (int t = 0; t < kTriangulos; ++t) {
            if (!suave.temPeca(t)) continue;
            ++pecas;
            cv::Point2d f;
            cv::Matx22d J;
            bool gradientesExatos = true;
            for (int k = 0; k < 3; ++k) {
                const cv::Point2d no = alvo(trg[t][k]);
                ASSERT_TRUE(suave.avaliar(t, no.x, no.y, f, J));
                EXPECT_LT(cv::norm(f - exato.mapa(no)), 1e-9 * (1 + cv::norm(f)));
                cv::Point2d valor;
                cv::Matx22d g;
                ASSERT_TRUE(suave.no(trg[t][k], valor, g));
                const cv::Matx22d certo = exato.jacobiano(no);
                gradientesExatos &=
                    distancia(g, certo) < 1e-7 * (1 + cv::norm(certo, cv::NORM_INF));
            }
            exatas += gradientesExatos;
            for (int amostra = 0; amostra < 20; ++amostra) {
                const double a = (random() % 1000) / 1000.0;
                const double b = (random() % 1000) / 1000.0 * (1 - a);
                const cv::Point2d p = ponto(t, a, b), certo = exato.mapa(p);
                ASSERT_TRUE(suave.avaliar(t, p.x, p.y, f, J));
                if (gradientesExatos) {
                    EXPECT_LT(cv::norm(f - certo), 1e-7 * (1 + cv::norm(certo))) << p;
                }
                cv::Point2d f1, f2;
                cv::Matx22d J1;
                const double e = 1e-4;
                suave.avaliar(t, p.x + e, p.y, f1, J1), suave.avaliar(t, p.x - e, p.y, f2, J1);
                const cv::Point2d dx = (f1 - f2) / (2 * e);
                suave.avaliar(t, p.x, p.y + e, f1, J1), suave.avaliar(t, p.x, p.y - e, f2, J1);
                const cv::Point2d dy = (f1 - f2) / (2 * e);
                EXPECT_LT(distancia(J, cv::Matx22d(dx.x, dy.x, dx.y, dy.y)),
                          1e-5 * (1 + cv::norm(J, cv::NORM_INF)))
                    << p;
            }
        }
        EXPECT_GT(pecas, 20);
        EXPECT_GT(exatas, caso % 2 ? pecas / 4 : pecas - 1) << "exact gradients where they can be";
    }
}

// On random meshes with source points of a lens and then at random, two triangles that share
// an edge give the same point and the same Jacobian along it; inside a triangle the thirds join
// with the same value and Jacobian across the lines to the centroid.
TEST(Correction_MapaSuave, continuous_with_continuous_derivatives_across_every_edge)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> ruido(-6, 6);
    for (int caso = 0; caso < 8; ++caso) {
        SCOPED_TRACE(caso);
        malhaAleatoria(random, 40, [&](cv::Point2d p) {
            return lente(p) +
                   (caso % 2 ? cv::Point2d(ruido(random), ruido(random)) : cv::Point2d());
        });
        const MapaSuave suave;
        std::map<std::pair<int, int>, int> arestas; // node pair -> the first triangle with it
        int comuns = 0;
        for (int t = 0; t < kTriangulos; ++t) {
            if (!suave.temPeca(t)) continue;
            for (int e = 0; e < 3; ++e) {
                const int a = trg[t][e], b = trg[t][(e + 1) % 3];
                const auto [outro, novo] = arestas.emplace(std::minmax(a, b), t);
                if (novo) continue;
                ++comuns;
                for (double s : {0.0, 0.13, 0.5, 0.71, 1.0}) {
                    const cv::Point2d p = (1 - s) * alvo(a) + s * alvo(b);
                    cv::Point2d f1, f2;
                    cv::Matx22d J1, J2;
                    suave.avaliar(t, p.x, p.y, f1, J1);
                    suave.avaliar(outro->second, p.x, p.y, f2, J2);
                    EXPECT_LT(cv::norm(f1 - f2), 1e-8) << a << "-" << b << " at " << s;
                    EXPECT_LT(distancia(J1, J2), 1e-8 * (1 + cv::norm(J1, cv::NORM_INF)))
                        << a << "-" << b << " at " << s;
                }
            }
            // Across the line from each corner to the centroid, a step either side.
            const cv::Point2d Q = (alvo(trg[t][0]) + alvo(trg[t][1]) + alvo(trg[t][2])) / 3;
            for (int k = 0; k < 3; ++k) {
                const cv::Point2d P = alvo(trg[t][k]), m = (P + Q) / 2, d = Q - P;
                const cv::Point2d normal = cv::Point2d(-d.y, d.x) / cv::norm(d) * 1e-6;
                cv::Point2d f1, f2;
                cv::Matx22d J1, J2;
                suave.avaliar(t, m.x + normal.x, m.y + normal.y, f1, J1);
                suave.avaliar(t, m.x - normal.x, m.y - normal.y, f2, J2);
                // The step across is the Jacobian's own: a jump in value would show here.
                const cv::Matx22d J = (J1 + J2) * 0.5;
                const cv::Point2d previsto(J(0, 0) * 2 * normal.x + J(0, 1) * 2 * normal.y,
                                           J(1, 0) * 2 * normal.x + J(1, 1) * 2 * normal.y);
                EXPECT_LT(cv::norm(f1 - f2 - previsto), 1e-9 * (1 + cv::norm(f1)));
                EXPECT_LT(distancia(J1, J2), 1e-4 * (1 + cv::norm(J1, cv::NORM_INF)));
            }
        }
        EXPECT_GT(comuns, 40);
    }
}

// Moving one node changes the map only in the triangles that hold it or one of its
// neighbours; elsewhere every point keeps its bytes.
TEST(Correction_MapaSuave, moving_a_node_changes_the_map_only_near_it)
{
    std::mt19937 random(13);
    malhaAleatoria(random, 45, lente);
    const MapaSuave antes;
    const int movido = 17;
    vert[movido][0] += 5, vert[movido][1] -= 3;
    const MapaSuave depois;
    std::set<int> perto = {movido};
    for (int t = 0; t < kTriangulos; ++t)
        for (int k = 0; k < 3; ++k)
            if (trg[t][k] == movido) perto.insert({trg[t][0], trg[t][1], trg[t][2]});
    int longe = 0, mudados = 0;
    for (int t = 0; t < kTriangulos; ++t) {
        if (!antes.temPeca(t)) continue;
        bool vizinho = false;
        for (int k = 0; k < 3; ++k)
            vizinho |= perto.count(trg[t][k]) > 0;
        for (double a : {0.2, 0.6}) {
            const cv::Point2d p = ponto(t, a, 0.3);
            cv::Point2d f1, f2;
            cv::Matx22d J1, J2;
            antes.avaliar(t, p.x, p.y, f1, J1);
            depois.avaliar(t, p.x, p.y, f2, J2);
            if (vizinho) {
                mudados += f1 != f2;
                continue;
            }
            EXPECT_EQ(f1, f2) << "triangle " << t;
            ++longe;
        }
    }
    EXPECT_GT(longe, 20);
    EXPECT_GT(mudados, 4);
}

// A mesh like the demo's (rings about the field's centre) through a lens, sound, then with one
// node's source point moved far, then farther. Where the curved map would fold, its triangles
// are made flat, and the maps built with it turn the same way at every pixel of the field (their
// Jacobian, by differences over two pixels, never changes sign): everywhere for the sound mesh
// and the first bad node, where flattening keeps the map smooth; inside every triangle for the
// second, whose last folding triangles keep their stored maps, with seams along their edges.
TEST(Correction_MapaSuave, where_it_would_fold_the_map_is_made_flat)
{
    std::vector<cv::Point> nos = {{218, 218}};
    const int aneis[][2] = {{6, 58}, {12, 116}, {19, 170}, {25, 214}};
    for (const auto& [quantos, raio] : aneis)
        for (int k = 0; k < quantos; ++k) {
            const double a = 2 * CV_PI * (k + 0.5 * (quantos % 2 == 0)) / quantos;
            nos.emplace_back(int(std::lround(218 + raio * std::cos(a))),
                             int(std::lround(218 + raio * std::sin(a))));
        }
    struct Caso
    {
        cv::Point movido; // node 12's source point moved by this
        bool planos, costuras;
    };
    for (const Caso& caso : {Caso{{0, 0}, false, false}, Caso{{100, -80}, true, false},
                             Caso{{150, -120}, true, true}}) {
        SCOPED_TRACE(caso.movido);
        malhaSobre(nos, [](cv::Point2d p) { return 2 * lente(p); });
        vert[12][0] += caso.movido.x, vert[12][1] += caso.movido.y;
        const auto mapas = montarMapas(cv::Size(400, 400), cv::Size(436, 436), true);
        ASSERT_NE(nullptr, mapas);
        EXPECT_EQ(caso.planos, !mapas->planos.empty());
        cv::Mat arestas(436, 436, CV_8U, cv::Scalar(0));
        for (int t = 0; t < kTriangulos && trg[t][0] != 0; ++t) {
            const std::vector<cv::Point> canto = {alvo(trg[t][0]), alvo(trg[t][1]),
                                                  alvo(trg[t][2])};
            cv::polylines(arestas, canto, true, cv::Scalar(255), 7);
        }
        cv::Mat pontos;
        cv::convertMaps(mapas->inteiros, mapas->fracoes, pontos, cv::noArray(), CV_32FC2);
        int dentro = 0, naCostura = 0;
        for (int r = 12; r + 2 < 424; r += 2)
            for (int c = 12; c + 2 < 424; c += 2) {
                if ((c - 218) * (c - 218) + (r - 218) * (r - 218) > 200 * 200) continue;
                const cv::Vec2f a = pontos.at<cv::Vec2f>(r, c), b = pontos.at<cv::Vec2f>(r, c + 2),
                                d = pontos.at<cv::Vec2f>(r + 2, c);
                if ((b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]) > 0) continue;
                (arestas.at<uchar>(r + 1, c + 1) ? naCostura : dentro) += 1;
            }
        EXPECT_EQ(0, dentro);
        EXPECT_EQ(caso.costuras, naCostura > 0) << naCostura;
    }
}
