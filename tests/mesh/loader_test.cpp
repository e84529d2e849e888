#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace corretor;

namespace {

// A workspace that is the working directory, with an empty store and no recorded failure.
class Mesh_Loader : public ::testing::Test
{
protected:
    Mesh_Loader() : here_(ws.dir())
    {
        limparMalha();
        limparFalha();
    }
    void writeMatrices(const std::string& content = "1 0 0\n0 1 0\n")
    {
        for (int t = 0; t < 99; ++t)
            ws.write("matrix/" + std::to_string(t) + ".txt", content);
    }
    void writeVertices(const std::string& source, const std::string& target)
    {
        ws.write("data/verticesamp4.txt", source);
        ws.write("data/vertices2.txt", target);
    }
    std::string lines(int n, const std::string& line)
    {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += line;
        return text;
    }

    teste::Workspace ws;
    teste::InDirectory here_;
};

} // namespace

TEST_F(Mesh_Loader, result_is_true_exactly_for_64_triangle_records)
{
    writeVertices("1 2\n", "3 4\n");
    writeMatrices();
    ws.write("data/quelvarina.txt", lines(64, "1 1 1\n"));
    EXPECT_TRUE(carregaVetorVertices());
    ws.write("data/quelvarina.txt", lines(63, "1 1 1\n") + "1 1 1");
    EXPECT_TRUE(carregaVetorVertices()) << "64 records, the last without a line end";
    ws.write("data/quelvarina.txt", lines(99, "1 1 1\n"));
    EXPECT_FALSE(carregaVetorVertices());
    ws.write("data/quelvarina.txt", lines(63, "1 1 1\n"));
    EXPECT_FALSE(carregaVetorVertices());
    EXPECT_FALSE(houveFalha());
}

TEST_F(Mesh_Loader, empty_triangle_file_leaves_every_entry_zero)
{
    writeVertices("", "");
    writeMatrices();
    ws.write("data/quelvarina.txt", "");
    EXPECT_FALSE(carregaVetorVertices());
    EXPECT_FALSE(houveFalha());
    for (const auto& t : trg)
        EXPECT_EQ(0, t[0] | t[1] | t[2]);
}

TEST_F(Mesh_Loader, vertex_pairs_go_to_entries_from_one_in_file_order)
{
    std::string text;
    for (int k = 1; k <= 10; ++k)
        text += std::to_string(10 * k) + " " + std::to_string(-k) + "\n";
    // The target file spreads the same numbers over lines in another way.
    std::string spread;
    for (int k = 1; k <= 10; ++k)
        spread += std::to_string(10 * k) + "\n" + std::to_string(-k) + " ";
    writeVertices(text, spread);
    ASSERT_TRUE(carregarVertices());
    for (int k = 0; k < 64; ++k) {
        const int x = k >= 1 && k <= 10 ? 10 * k : 0, y = k >= 1 && k <= 10 ? -k : 0;
        EXPECT_EQ(x, vert[k][0]) << k;
        EXPECT_EQ(y, vert[k][1]) << k;
        EXPECT_EQ(x, vert2[k][0]) << k;
        EXPECT_EQ(y, vert2[k][1]) << k;
    }
}

TEST_F(Mesh_Loader, short_last_record_counts_and_keeps_missing_values)
{
    writeVertices("5 6\n7", "+8 9\n");
    ASSERT_TRUE(carregarVertices());
    EXPECT_EQ(7, vert[2][0]);
    EXPECT_EQ(0, vert[2][1]);
    EXPECT_EQ(8, vert2[1][0]);
    ws.write("data/quelvarina.txt", lines(63, "1 2 3\n") + "4 5");
    EXPECT_EQ(64, carregarTriangulos());
    EXPECT_EQ(4, trg[63][0]);
    EXPECT_EQ(5, trg[63][1]);
    EXPECT_EQ(0, trg[63][2]);
}

TEST_F(Mesh_Loader, full_tables_load_and_one_record_more_is_refused)
{
    writeVertices(lines(63, "1 1\n"), lines(63, "2 2\n"));
    EXPECT_TRUE(carregarVertices());
    ws.write("data/quelvarina.txt", lines(99, "63 0 1\n"));
    EXPECT_EQ(99, carregarTriangulos());
    EXPECT_FALSE(houveFalha());

    ws.write("data/quelvarina.txt", lines(99, "1 2 3\n") + "1 2 3\n");
    EXPECT_EQ(-1, carregarTriangulos());
    EXPECT_NE(std::string::npos, motivoFalha().find("linha 100")) << motivoFalha();
    EXPECT_NE(std::string::npos, motivoFalha().find("mais de 99")) << motivoFalha();

    limparFalha();
    writeVertices(lines(64, "1 1\n"), "");
    EXPECT_FALSE(carregarVertices());
    EXPECT_NE(std::string::npos, motivoFalha().find("data/verticesamp4.txt")) << motivoFalha();
    EXPECT_NE(std::string::npos, motivoFalha().find("mais de 63")) << motivoFalha();
}

TEST_F(Mesh_Loader, bad_tokens_and_indices_name_file_and_line)
{
    struct Case
    {
        std::string triangles, line, problem;
    };
    const Case cases[] = {
        {"1 2 3\n4 x 6\n", "linha 2", "não é um número"},
        {"1 2 3\n4 5 6abc\n", "linha 2", "não é um número"},
        {"1 2 3\n\n\n1 2 64\n", "linha 4", "64"},
        {"-1 2 3\n", "linha 1", "-1"},
        {"1 2 3\n1 2 99999999999\n", "linha 2", "32 bits"},
        {"1 2 -2147483649\n", "linha 1", "32 bits"},
        {"1 - 2\n", "linha 1", "não é um número"},
    };
    for (const auto& c : cases) {
        limparFalha();
        ws.write("data/quelvarina.txt", c.triangles);
        EXPECT_EQ(-1, carregarTriangulos()) << c.triangles;
        EXPECT_NE(std::string::npos, motivoFalha().find("data/quelvarina.txt")) << motivoFalha();
        EXPECT_NE(std::string::npos, motivoFalha().find(c.line)) << motivoFalha();
        EXPECT_NE(std::string::npos, motivoFalha().find(c.problem)) << motivoFalha();
    }
}

TEST_F(Mesh_Loader, vertex_coordinates_take_the_whole_32_bit_range)
{
    writeVertices("-2147483648 2147483647\n", "0 -0\n");
    ASSERT_TRUE(carregarVertices());
    EXPECT_EQ(INT_MIN, vert[1][0]);
    EXPECT_EQ(INT_MAX, vert[1][1]);
}

TEST_F(Mesh_Loader, missing_files_and_folders_are_reported)
{
    EXPECT_FALSE(carregaVetorVertices());
    EXPECT_NE(std::string::npos, motivoFalha().find("data/verticesamp4.txt")) << motivoFalha();

    limparFalha();
    writeVertices("1 1\n", "2 2\n");
    writeMatrices();
    std::filesystem::remove(ws / "matrix/57.txt");
    EXPECT_FALSE(carregaVetorVertices());
    EXPECT_NE(std::string::npos, motivoFalha().find("matrix/57.txt")) << motivoFalha();

    limparFalha();
    std::filesystem::create_directory(ws / "matrix/57.txt");
    EXPECT_FALSE(carregaVetorVertices());
    EXPECT_NE(std::string::npos, motivoFalha().find("matrix/57.txt")) << motivoFalha();

    limparFalha();
    std::filesystem::create_directories(ws / "data/quelvarina.txt");
    EXPECT_EQ(-1, carregarTriangulos());
    EXPECT_NE(std::string::npos, motivoFalha().find("data/quelvarina.txt")) << motivoFalha();
}

TEST_F(Mesh_Loader, matrix_file_gives_its_first_two_lines)
{
    writeMatrices("1.5 -2 3e2\n4 5 6\n7 8 9\n10 11 12\n");
    ASSERT_TRUE(carregarMatrizes());
    const float expected[2][3] = {{1.5f, -2.f, 300.f}, {4.f, 5.f, 6.f}};
    for (const auto& m : matrix)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(expected[r][c], m.mat[r][c]);
}

TEST_F(Mesh_Loader, short_or_garbled_matrix_file_warns_and_keeps_values_before_the_fault)
{
    writeMatrices();
    ws.write("matrix/3.txt", "1 2 3\n4");
    ws.write("matrix/4.txt", "1 2 3\n4 5,5 6\n");
    ws.write("matrix/5.txt", "");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(carregarMatrizes());
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, warnings.find("matrix/3.txt")) << warnings;
    EXPECT_NE(std::string::npos, warnings.find("matrix/4.txt")) << warnings;
    EXPECT_NE(std::string::npos, warnings.find("matrix/5.txt")) << warnings;
    EXPECT_EQ(std::string::npos, warnings.find("matrix/6.txt")) << warnings;
    EXPECT_EQ(4.f, matrix[3].mat[1][0]);
    EXPECT_EQ(0.f, matrix[3].mat[1][1]);
    EXPECT_EQ(5.f, matrix[4].mat[1][1]) << "the longest stretch that forms a number";
    EXPECT_EQ(0.f, matrix[4].mat[1][2]);
    EXPECT_EQ(0.f, matrix[5].mat[0][0]);
    EXPECT_EQ(1.f, matrix[6].mat[0][0]);
}

TEST_F(Mesh_Loader, non_finite_matrix_values_load_as_non_finite)
{
    writeMatrices("nan -nan inf\n-inf 1e39 -1e-50\n");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(carregarMatrizes());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    const auto& m = matrix[98].mat;
    EXPECT_TRUE(std::isnan(m[0][0]));
    EXPECT_TRUE(std::isnan(m[0][1]));
    EXPECT_EQ(INFINITY, m[0][2]);
    EXPECT_EQ(-INFINITY, m[1][0]);
    EXPECT_EQ(INFINITY, m[1][1]);
    EXPECT_EQ(0.f, m[1][2]);
}

TEST_F(Mesh_Loader, vertex_files_tell_how_many_pairs_they_held)
{
    int source = 0, target = 0;
    writeVertices(lines(10, "1 2\n"), lines(9, "3 4\n") + "5");
    ASSERT_TRUE(carregarVertices(source, target));
    EXPECT_EQ(10, source);
    EXPECT_EQ(10, target) << "a pair cut short counts";

    writeVertices("", lines(63, "3 4\n"));
    ASSERT_TRUE(carregarVertices(source, target));
    EXPECT_EQ(0, source);
    EXPECT_EQ(63, target);

    writeVertices("1 2\n", lines(64, "3 4\n"));
    EXPECT_FALSE(carregarVertices(source, target));
    EXPECT_EQ(1, source);
    EXPECT_EQ(-1, target);
}
