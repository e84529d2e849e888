#include "authoring/affine_maps.h"
#include "authoring/affine_solve.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

using namespace corretor;

namespace {

// An empty store, no recorded failure, and a workspace with a "matrix" folder as the working
// directory.
class Authoring_GerarMatriz : public ::testing::Test
{
protected:
    Authoring_GerarMatriz() : here_(ws.dir())
    {
        limparMalha();
        limparFalha();
        std::filesystem::create_directory(ws / "matrix");
    }
    // Node `no` at `source` in the source mesh and `target` in the target mesh.
    static void node(int no, Ponto source, Ponto target)
    {
        vert[no][0] = source.x;
        vert[no][1] = source.y;
        vert2[no][0] = target.x;
        vert2[no][1] = target.y;
    }
    static void triangle(int t, int a, int b, int c)
    {
        trg[t][0] = a;
        trg[t][1] = b;
        trg[t][2] = c;
    }
    // Runs gerarMatriz, keeping what it printed on each stream.
    void generate(bool substituir = false)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        gerarMatriz(substituir);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
    }
    std::string fileOf(int t) const { return ws.read("matrix/" + std::to_string(t) + ".txt"); }
    static std::string progress()
    {
        std::string text;
        for (int t = 0; t < 99; ++t)
            text += "ttt = " + std::to_string(t) + "\n";
        return text;
    }

    teste::Workspace ws;
    teste::InDirectory here_;
    std::string out, err;
};

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(Authoring_GerarMatriz, translation_gives_exact_lines)
{
    node(1, {1, 0}, {11, 20});
    node(2, {1, 1}, {11, 21});
    node(3, {2, 0}, {12, 20});
    triangle(0, 1, 2, 3);
    generate();
    EXPECT_EQ("1.000000 0.000000 10.000000\n0.000000 1.000000 20.000000\n", fileOf(0));
    EXPECT_EQ(progress(), out);
    EXPECT_FALSE(houveFalha());

    std::vector<std::string> expected;
    for (int t = 0; t < 99; ++t)
        expected.push_back(std::to_string(t) + ".txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ws.list("matrix")) << "every slot, loaded or not, and nothing else";
}

TEST_F(Authoring_GerarMatriz, identity_gives_unit_coefficients_within_rounding)
{
    node(1, {100, 53}, {100, 53});
    node(2, {331, 67}, {331, 67});
    node(3, {127, 409}, {127, 409});
    triangle(0, 1, 2, 3);
    generate();
    float m[6];
    ASSERT_EQ(6, std::sscanf(fileOf(0).c_str(), "%f %f %f %f %f %f", m, m + 1, m + 2, m + 3, m + 4,
                             m + 5));
    const float identity[6] = {1, 0, 0, 0, 1, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(identity[i], m[i], 1e-4) << i;
}

TEST_F(Authoring_GerarMatriz, mended_sound_triangles_carry_their_vertices)
{
    struct Case
    {
        Ponto source[3], target[3];
        const char* fault;
    };
    const Case cases[] = {
        {{{10, 20}, {20, 40}, {30, 10}}, {{5, 7}, {40, 9}, {22, 51}}, "second pivot zero"},
        {{{0, 5}, {3, 1}, {4, 7}}, {{100, 100}, {130, 90}, {141, 160}}, "first pivot zero"},
        {{{49, 98}, {1, 2}, {5, 3}}, {{10, 10}, {50, 12}, {30, 40}}, "pivot nearly zero"},
    };
    for (int t = 0; t < 3; ++t) {
        const Case& c = cases[t];
        st_mat direct;
        const bool pivots = eliminarSemTrocas(c.source, c.target, direct);
        EXPECT_FALSE(pivots && desvio(direct, c.source, c.target) <= kDesvioAceito)
            << c.fault << ": the elimination alone should fail here";

        st_mat map;
        double error = 0;
        EXPECT_EQ(Solucao::ComTrocas, mapaDoTriangulo(c.source, c.target, map, error)) << c.fault;
        EXPECT_LE(error, kDesvioAceito) << c.fault;

        for (int k = 0; k < 3; ++k)
            node(3 * t + k + 1, c.source[k], c.target[k]);
        triangle(t, 3 * t + 1, 3 * t + 2, 3 * t + 3);
    }
    generate();
    EXPECT_EQ(std::string::npos, err.find("triângulo 0")) << err;
    ASSERT_TRUE(carregarMatrizes());
    for (int t = 0; t < 3; ++t)
        EXPECT_LE(desvio(matrix[t], cases[t].source, cases[t].target), kDesvioAceito)
            << cases[t].fault << ", as written to the file";
}

TEST_F(Authoring_GerarMatriz, degenerate_and_empty_slots_get_non_finite_lines_and_warnings)
{
    node(1, {10, 10}, {5, 5});
    node(2, {20, 20}, {9, 1});
    node(3, {40, 40}, {3, 8}); // on the line through nodes 1 and 2 in the source mesh
    node(4, {70, 10}, {2, 2});
    triangle(0, 1, 2, 3);
    triangle(1, 1, 4, 4);  // two corners coincide
    triangle(2, 1, 2, 4);  // sound
    triangle(40, 2, 4, 1); // sound, after a run of empty slots
    generate();

    const std::string none = "nan nan nan\nnan nan nan\n";
    EXPECT_EQ(none, fileOf(0));
    EXPECT_EQ(none, fileOf(1));
    EXPECT_NE(none, fileOf(2));
    EXPECT_EQ(none, fileOf(3));
    EXPECT_NE(none, fileOf(40));
    EXPECT_EQ(none, fileOf(98));

    EXPECT_EQ(3, count(err, "aviso: ")) << err;
    EXPECT_EQ(1, count(err, "triângulo 0 (nós 1 2 3)")) << err;
    EXPECT_EQ(1, count(err, "triângulo 1 (nós 1 4 4)")) << err;
    EXPECT_EQ(1, count(err, "vazios (0 0 0)")) << err;
    EXPECT_NE(std::string::npos, err.find(": 3 a 39, 41 a 98\n")) << err;
    EXPECT_FALSE(houveFalha()) << "a triangle without a map is not a failure";

    ASSERT_TRUE(carregarMatrizes());
    for (int t : {0, 1, 3, 98})
        for (const auto& row : matrix[t].mat)
            for (float v : row)
                EXPECT_TRUE(std::isnan(v)) << t;
}

TEST_F(Authoring_GerarMatriz, second_run_appends_unless_files_start_empty)
{
    node(1, {1, 0}, {11, 20});
    node(2, {1, 1}, {11, 21});
    node(3, {2, 0}, {12, 20});
    triangle(0, 1, 2, 3);
    generate();
    node(3, {2, 0}, {13, 20});
    generate();
    const std::string first = "1.000000 0.000000 10.000000\n0.000000 1.000000 20.000000\n";
    EXPECT_EQ(first + "2.000000 0.000000 9.000000\n0.000000 1.000000 20.000000\n", fileOf(0));
    ASSERT_TRUE(carregarMatrizes());
    EXPECT_EQ(1.f, matrix[0].mat[0][0]) << "the loader keeps the first run's map";

    generate(true);
    EXPECT_EQ("2.000000 0.000000 9.000000\n0.000000 1.000000 20.000000\n", fileOf(0));
    EXPECT_EQ("nan nan nan\nnan nan nan\n", fileOf(98));
}

TEST_F(Authoring_GerarMatriz, files_that_cannot_be_written_are_reported_and_skipped)
{
    node(1, {1, 0}, {11, 20});
    node(2, {1, 1}, {11, 21});
    node(3, {2, 0}, {12, 20});
    triangle(6, 1, 2, 3);
    std::filesystem::create_directory(ws / "matrix/5.txt");
    generate();
    EXPECT_EQ(progress(), out);
    ASSERT_TRUE(houveFalha());
    EXPECT_NE(std::string::npos, motivoFalha().find("1 de 99")) << motivoFalha();
    EXPECT_NE(std::string::npos, motivoFalha().find("\"matrix/5.txt\"")) << motivoFalha();
    EXPECT_EQ("1.000000 0.000000 10.000000\n0.000000 1.000000 20.000000\n", fileOf(6))
        << "the slot after the one that failed is written";

    limparFalha();
    std::filesystem::remove_all(ws / "matrix");
    generate();
    EXPECT_EQ(progress(), out) << "every slot is still visited";
    EXPECT_NE(std::string::npos, motivoFalha().find("99 de 99")) << motivoFalha();
    EXPECT_NE(std::string::npos, motivoFalha().find("\"matrix/0.txt\"")) << motivoFalha();
    EXPECT_FALSE(ws.exists("matrix"));
}

// How far a map may miss because its coefficients are floats: half an ulp of each coefficient
// times the largest coordinate it multiplies, for both rows.
double floatLimit(const st_mat& map, const Ponto source[3])
{
    double largest[3] = {0, 0, 1};
    for (int k = 0; k < 3; ++k) {
        largest[0] = std::max(largest[0], std::fabs(double(source[k].x)));
        largest[1] = std::max(largest[1], std::fabs(double(source[k].y)));
    }
    double row[2] = {0, 0};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) {
            const float v = std::fabs(map.mat[r][c]);
            row[r] += 0.5 * double(std::nextafter(v, INFINITY) - v) * largest[c];
        }
    return std::hypot(row[0], row[1]);
}

TEST(Authoring_MapaDoTriangulo, keeps_the_elimination_where_it_works_and_always_carries_vertices)
{
    std::mt19937 random(21);
    int mended = 0, beyond = 0, sound = 0;
    for (int caso = 0; caso < 20000; ++caso) {
        Ponto source[3], target[3];
        for (int k = 0; k < 3; ++k) {
            // Small ranges make zero and tiny pivots frequent; large ones test precision.
            const int range = caso % 2 ? 60 : 2000;
            source[k] = {int(random() % range), int(random() % range)};
            target[k] = {int(random() % 440), int(random() % 440)};
        }
        if (orientacao(source[0], source[1], source[2]) == 0) continue;
        ++sound;
        st_mat direct, map;
        const bool pivots = eliminarSemTrocas(source, target, direct);
        const bool directWorks = pivots && desvio(direct, source, target) <= kDesvioAceito;
        double error = 0;
        const Solucao s = mapaDoTriangulo(source, target, map, error);
        ASSERT_EQ(error, desvio(map, source, target)) << caso;
        // Slivers stretched a hundredfold need coefficients beyond float precision; they get
        // as close as floats allow.
        ASSERT_LE(error, std::max(kDesvioAceito, 2 * floatLimit(map, source))) << caso;
        beyond += error > kDesvioAceito;
        if (directWorks) {
            ASSERT_EQ(Solucao::Eliminacao, s) << caso;
            ASSERT_EQ(0, std::memcmp(&direct, &map, sizeof map)) << caso;
        } else {
            // The elimination stays only when the other solve did no better.
            ASSERT_TRUE(s == Solucao::ComTrocas || error > kDesvioAceito) << caso;
            mended += s == Solucao::ComTrocas;
        }
    }
    EXPECT_GT(mended, 100) << "the cases should include many that need mending";
    EXPECT_LT(beyond, sound / 100) << "only slivers may miss by more than 1e-3";
}
