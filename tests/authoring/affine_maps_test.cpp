// Affine map generation: the printed digits against the elimination as defined, the mended
// triangles, the slots without a map, and the files.
#include "authoring/affine_maps.h"
#include "authoring/affine_solve.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

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

// The generator's elimination as defined, written out plainly: for the target x, then y, the
// augmented system of floats, two sweeps that each read the matrix as it stood when the sweep
// began, then back substitution; each update worked out in double and stored as float. Then
// whether it carries the vertices within 1e-3, applied in double: where it does, its "%f" text
// is what the file must hold, digit for digit.
bool eliminationWorks(const Ponto o[3], const Ponto d[3], st_mat& mapa)
{
    bool pivos = true;
    for (int ind = 0; ind < 2; ++ind) {
        float m[3][4], antes[3][4];
        for (int i = 0; i < 3; ++i) {
            const float linha[4] = {float(o[i].x), float(o[i].y), 1, float(ind ? d[i].y : d[i].x)};
            std::memcpy(m[i], linha, sizeof linha);
        }
        for (int k = 0; k < 2; ++k) {
            std::memcpy(antes, m, sizeof m);
            pivos = pivos && antes[k][k] != 0;
            for (int i = k + 1; i < 3; ++i)
                for (int j = k; j < 4; ++j)
                    m[i][j] = float(double(antes[i][j]) -
                                    double(antes[i][k]) / double(antes[k][k]) * antes[k][j]);
        }
        pivos = pivos && m[2][2] != 0;
        float* v = mapa.mat[ind];
        v[2] = float(double(m[2][3]) / m[2][2]);
        v[1] = float((double(m[1][3]) - double(m[1][2]) * v[2]) / m[1][1]);
        v[0] =
            float(((double(m[0][3]) - double(m[0][2]) * v[2]) - double(m[0][1]) * v[1]) / m[0][0]);
    }
    return pivos && missBy(mapa, o, d) <= kDesvioAceito;
}

std::string text(const st_mat& m) // "%f %f %f\n" for each row
{
    char t[256];
    std::snprintf(t, sizeof t, "%f %f %f\n%f %f %f\n", m.mat[0][0], m.mat[0][1], m.mat[0][2],
                  m.mat[1][0], m.mat[1][1], m.mat[1][2]);
    return t;
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

// Random triangles over random nodes, with three sound triangles first that the elimination
// gets wrong (second pivot zero, first pivot zero, pivot nearly zero): the files hold the
// digits of the elimination wherever it carries the vertices within 1e-3; elsewhere a map that
// does (mended), or "nan" for a degenerate triangle. (The files, the appending, the "ttt"
// lines and the files that cannot be written are those of the malha matrizes rows.)
TEST(Authoring_GerarMatriz, files_hold_the_digits_of_the_elimination_where_it_works)
{
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    const Ponto mended[3][2][3] = {{{{10, 20}, {20, 40}, {30, 10}}, {{5, 7}, {40, 9}, {22, 51}}},
                                   {{{0, 5}, {3, 1}, {4, 7}}, {{100, 100}, {130, 90}, {141, 160}}},
                                   {{{49, 98}, {1, 2}, {5, 3}}, {{10, 10}, {50, 12}, {30, 40}}}};
    std::mt19937 random(5);
    int digits = 0;
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
            node(k + 1, mended[k / 3][0][k % 3], mended[k / 3][1][k % 3]);
        if (round == 0) // and a shift by (10, 20), the example of the file format
            node(10, {1, 0}, {11, 20}), node(11, {1, 1}, {11, 21}), node(12, {2, 0}, {12, 20});
        const std::string err = generate().second;
        ASSERT_FALSE(houveFalha()) << motivoFalha();
        ASSERT_TRUE(carregarMatrizes());
        EXPECT_TRUE(round > 0 || ws.read("matrix/3.txt") ==
                                     "1.000000 0.000000 10.000000\n0.000000 1.000000 20.000000\n");
        for (int t = 0; t < kTriangulos; ++t) {
            SCOPED_TRACE("round " + std::to_string(round) + ", triangle " + std::to_string(t));
            Ponto o[3], d[3];
            for (int k = 0; k < 3; ++k)
                o[k] = pontoDe(vert, trg[t][k]), d[k] = pontoDe(vert2, trg[t][k]);
            st_mat expected{};
            const std::string file = ws.read("matrix/" + std::to_string(t) + ".txt");
            const bool works = eliminationWorks(o, d, expected);
            // No map: "nan" lines and a warning naming it. Mended: carries the vertices as read
            // back, without a warning. Otherwise, where the elimination works, its digits.
            const bool none = orientacao(o[0], o[1], o[2]) == 0,
                       mended = !none && round == 0 && t < 3;
            const std::string nome = "triângulo " + std::to_string(t) + " ";
            EXPECT_TRUE(!none || (file == "nan nan nan\nnan nan nan\n" &&
                                  err.find("aviso: " + nome) != std::string::npos));
            EXPECT_TRUE(!mended || (!works && missBy(matrix[t], o, d) <= kDesvioAceito &&
                                    err.find(nome) == std::string::npos));
            digits += !none && !mended && works;
            EXPECT_EQ(!none && !mended && works ? text(expected) : file, file);
        }
    }
    EXPECT_GT(digits, 400);
}

TEST(Authoring_MapaDoTriangulo, keeps_the_elimination_where_it_works_and_always_carries_vertices)
{
    std::mt19937 random(21);
    int mended = 0, beyond = 0, sound = 0;
    for (int caso = 0; caso < 20000; ++caso) {
        Ponto source[3], target[3]; // small ranges: zero and tiny pivots; large ones: precision
        for (int k = 0; k < 3; ++k)
            source[k] = {int(random() % (caso % 2 ? 60 : 2000)),
                         int(random() % (caso % 2 ? 60 : 2000))},
            target[k] = {int(random() % 440), int(random() % 440)};
        if (orientacao(source[0], source[1], source[2]) == 0) continue;
        ++sound;
        st_mat direct{}, map{};
        const bool directWorks = eliminationWorks(source, target, direct);
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
        mended += s == Solucao::ComTrocas;
    }
    EXPECT_GT(mended, 100) << "the cases should include many that need mending";
    EXPECT_LT(beyond, sound / 100) << "only slivers may miss by more than 1e-3";
}
