// Affine map generation: exact maps digit for digit, every map against one solved apart, the
// triangles the elimination fails, the slots without a map, and the files.
#include "authoring/affine_maps.h"
#include "authoring/affine_solve.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>

using namespace corretor;

namespace {

// How far `mapa`, applied in double, carries a source vertex from its target; NaN when it is not
// finite.
double missBy(const st_mat& mapa, const Ponto o[3], const Ponto d[3])
{
    const auto& m = mapa.mat;
    double worst = 0;
    for (int k = 0; k < 3; ++k) {
        const double x = o[k].x, y = o[k].y;
        const double h = std::hypot(double(m[0][0]) * x + double(m[0][1]) * y + m[0][2] - d[k].x,
                                    double(m[1][0]) * x + double(m[1][1]) * y + m[1][2] - d[k].y);
        worst = h <= worst ? worst : h;
    }
    return worst;
}

// Three source vertices on one line, or coinciding: no map. Plain 64-bit arithmetic.
bool degenerado(const Ponto o[3])
{
    return int64_t(o[1].x - o[0].x) * (o[2].y - o[0].y) ==
           int64_t(o[1].y - o[0].y) * (o[2].x - o[0].x);
}

void node(int no, Ponto source, Ponto target)
{
    vert[no][0] = source.x, vert[no][1] = source.y, vert2[no][0] = target.x,
    vert2[no][1] = target.y;
}

// gerarMatriz in the working directory: what it printed on standard output and error.
std::pair<std::string, std::string> generate()
{
    testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
    gerarMatriz();
    const std::string out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
}

} // namespace

// Maps worked out by hand, whose every step is exact in floats, give these texts digit for
// digit: a shift by (10, 20), the example of the file format; a scale by 2 with a shift; a
// quarter turn.
TEST(Authoring_GerarMatriz, exact_maps_are_written_digit_for_digit)
{
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    fs::create_directory("matrix");
    const Ponto o[3] = {{1, 0}, {1, 1}, {2, 0}};
    const std::pair<std::array<Ponto, 3>, std::string> casos[] = {
        {{{{11, 20}, {11, 21}, {12, 20}}},
         "1.000000 0.000000 10.000000\n0.000000 1.000000 20.000000\n"},
        {{{{5, 5}, {5, 7}, {7, 5}}}, "2.000000 0.000000 3.000000\n0.000000 2.000000 5.000000\n"},
        {{{{100, 51}, {99, 51}, {100, 52}}},
         "0.000000 -1.000000 100.000000\n1.000000 0.000000 50.000000\n"}};
    for (int t = 0; t < 3; ++t)
        for (int k = 0; k < 3; ++k) {
            node(3 * t + k + 1, o[k], casos[t].first[k]);
            trg[t][k] = 3 * t + k + 1;
        }
    generate();
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(casos[t].second, ws.read("matrix/" + std::to_string(t) + ".txt")) << t;
}

// Random triangles over random nodes, with three sound triangles first that the elimination
// gets wrong (second pivot zero, first pivot zero, pivot nearly zero): every file holds a map
// that carries its vertices within 1e-3 as the loader reads it back, but for what six decimals
// cut off and for slivers stretched a hundredfold (which are said), or "nan" with a warning for a
// degenerate triangle. (The files, the appending, the "ttt" lines and the files that cannot be
// written are those of the malha matrizes rows.)
TEST(Authoring_GerarMatriz, files_hold_maps_that_carry_their_vertices)
{
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    const Ponto semPivo[3][2][3] = {{{{10, 20}, {20, 40}, {30, 10}}, {{5, 7}, {40, 9}, {22, 51}}},
                                    {{{0, 5}, {3, 1}, {4, 7}}, {{100, 100}, {130, 90}, {141, 160}}},
                                    {{{49, 98}, {1, 2}, {5, 3}}, {{10, 10}, {50, 12}, {30, 40}}}};
    std::mt19937 random(5);
    int carried = 0;
    for (int round = 0; round < 6; ++round) {
        teste::estadoInicial();
        fs::remove_all("matrix"), fs::create_directory("matrix");
        for (int no = 1; no < kNos; ++no) // small ranges: zero and tiny pivots
            node(no,
                 {int(random() % (round % 2 ? 60 : 2000)), int(random() % (round % 2 ? 60 : 2000))},
                 {int(random() % 440), int(random() % 440)});
        for (int t = 0; t < kTriangulos; ++t)
            for (int k = 0; k < 3; ++k)
                trg[t][k] = t < 4 && round == 0 ? 3 * t + k + 1 : 1 + int(random() % (kNos - 1));
        for (int k = 0; k < 9 && round == 0; ++k)
            node(k + 1, semPivo[k / 3][0][k % 3], semPivo[k / 3][1][k % 3]);
        const std::string err = generate().second;
        ASSERT_FALSE(houveFalha()) << motivoFalha();
        ASSERT_TRUE(carregarMatrizes());
        for (int t = 0; t < kTriangulos; ++t) {
            SCOPED_TRACE("round " + std::to_string(round) + ", triangle " + std::to_string(t));
            Ponto o[3], d[3];
            for (int k = 0; k < 3; ++k)
                o[k] = pontoDe(vert, trg[t][k]), d[k] = pontoDe(vert2, trg[t][k]);
            const std::string file = ws.read("matrix/" + std::to_string(t) + ".txt");
            const std::string nome = "triângulo " + std::to_string(t) + " ";
            if (degenerado(o)) { // no map: "nan" lines and a warning naming it
                EXPECT_EQ("nan nan nan\nnan nan nan\n", file);
                EXPECT_NE(std::string::npos, err.find("aviso: " + nome));
                continue;
            }
            // As read back, a map misses by what the solve left (1e-3 at most, unless the
            // triangle is a sliver, which is said) and what six decimals cut off.
            double seis = 0;
            for (const Ponto& p : o)
                seis = std::max(seis, 0.5e-6 * (std::abs(p.x) + std::abs(p.y) + 1) * std::sqrt(2));
            const double erro = missBy(matrix[t], o, d);
            const bool avisado = err.find("aviso: " + nome) != std::string::npos;
            EXPECT_LE(erro, 0.25);
            EXPECT_TRUE(avisado || erro <= kDesvioAceito + seis) << erro;
            carried += !avisado;
        }
    }
    EXPECT_GT(carried, 500);
}

TEST(Authoring_MapaDoTriangulo, keeps_the_elimination_where_it_works_and_always_carries_vertices)
{
    std::mt19937 random(21);
    int comTrocas = 0, beyond = 0, sound = 0;
    for (int caso = 0; caso < 20000; ++caso) {
        Ponto source[3], target[3]; // small ranges: zero and tiny pivots; large ones: precision
        for (int k = 0; k < 3; ++k)
            source[k] = {int(random() % (caso % 2 ? 60 : 2000)),
                         int(random() % (caso % 2 ? 60 : 2000))},
            target[k] = {int(random() % 440), int(random() % 440)};
        if (orientacao(source[0], source[1], source[2]) == 0) continue;
        ++sound;
        st_mat direct{}, map{};
        const bool directWorks = eliminarSemTrocas(source, target, direct) &&
                                 missBy(direct, source, target) <= kDesvioAceito;
        double error = 0;
        const Solucao s = mapaDoTriangulo(source, target, map, error);
        ASSERT_EQ(error, desvio(map, source, target)) << caso;
        // Slivers stretched a hundredfold need coefficients finer than a float holds; they get
        // within a quarter of a pixel (0.104 at worst here).
        ASSERT_LE(error, 0.25) << caso;
        beyond += error > kDesvioAceito;
        // The elimination stays where it works, and otherwise only when the other solve did no
        // better.
        ASSERT_TRUE(directWorks
                        ? s == Solucao::Eliminacao && !std::memcmp(&direct, &map, sizeof map)
                        : s == Solucao::ComTrocas || error > kDesvioAceito)
            << caso;
        comTrocas += s == Solucao::ComTrocas;
    }
    EXPECT_GT(comTrocas, 100) << "the cases should include many solved with row exchanges";
    EXPECT_GT(sound - comTrocas - beyond, sound * 9 / 10) << "the elimination itself works on most";
    EXPECT_LT(beyond, sound / 100) << "only slivers may miss by more than 1e-3";
}
