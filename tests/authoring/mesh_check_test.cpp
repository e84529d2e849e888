#include "authoring/affine_maps.h"
#include "authoring/malha_cli.h"
#include "authoring/mesh_check.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

using namespace corretor;

namespace {

// A sound workspace: a square with its centre in the pattern, the source four times as large
// and shifted, four triangles wound counter-clockwise on screen, maps from gerarMatriz. Each
// case then spoils one thing.
class Authoring_Verificar : public ::testing::Test
{
protected:
    Authoring_Verificar() : here_(ws.dir()) {}

    void build(const std::string& extraSource = "", const std::string& extraTarget = "",
               const std::string& triangles = "1 5 2\n2 5 3\n3 5 4\n4 5 1\n")
    {
        ws.write("data/verticesamp4.txt",
                 "410 420\n1210 420\n1210 1220\n410 1220\n810 820\n" + extraSource);
        ws.write("data/vertices2.txt",
                 "100 100\n300 100\n300 300\n100 300\n200 200\n" + extraTarget);
        ws.write("data/quelvarina.txt", triangles);
        std::filesystem::create_directory(ws / "matrix");
        limparMalha();
        limparFalha();
        ASSERT_TRUE(carregarVertices());
        ASSERT_GE(carregarTriangulos(), 0);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        gerarMatriz(true);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        ASSERT_FALSE(houveFalha()) << motivoFalha();
    }

    static std::multiset<Problema> kinds(const Verificacao& v)
    {
        std::multiset<Problema> found;
        for (const auto& a : v.achados)
            found.insert(a.tipo);
        return found;
    }

    static std::string texts(const Verificacao& v)
    {
        std::string all;
        for (const auto& a : v.achados)
            all += a.texto + "\n";
        return all;
    }

    teste::Workspace ws;
    teste::InDirectory here_;
};

} // namespace

TEST_F(Authoring_Verificar, sound_workspace_has_no_finding)
{
    build();
    const Verificacao v = verificarMalha();
    EXPECT_TRUE(v.achados.empty()) << texts(v);
    EXPECT_EQ(5, v.nosOrigem);
    EXPECT_EQ(5, v.nosDestino);
    EXPECT_EQ(4, v.triangulos);
    ASSERT_EQ(4u, v.desvios.size());
    for (const auto& d : v.desvios) {
        EXPECT_TRUE(d.falta.empty()) << d.falta;
        EXPECT_LE(d.desvio, kDesvioTolerado);
    }
}

TEST_F(Authoring_Verificar, reports_each_problem_class_on_a_workspace_that_has_it)
{
    const std::string fan = "1 5 2\n2 5 3\n3 5 4\n4 5 1\n";
    struct Case
    {
        const char* name;
        std::function<void()> spoil;
        std::multiset<Problema> expected;
        const char* mentions;
    };
    const Case cases[] = {
        {"token that is not a number",
         [&] { ws.write("data/quelvarina.txt", "1 5 x\n"); },
         {Problema::Leitura},
         "data/quelvarina.txt\", linha 1"},
        {"vertex files of different length",
         [&] { build("", "7 7\n", fan); },
         {Problema::Nos},
         "tem 5 nós e \"data/vertices2.txt\" tem 6"},
        {"node 0 and a node beyond the files",
         [&] { build("", "", fan + "0 1 2\n1 2 6\n"); },
         {Problema::Indice, Problema::Indice},
         "o nó 6 não existe"},
        {"source vertices on one line",
         [&] { build("810 420\n", "200 50\n", fan + "1 2 6\n"); },
         {Problema::Degenerado},
         "triângulo 4 (nós 1 2 6): os vértices de origem"},
        {"target vertices on one line",
         [&] { build("810 220\n", "200 100\n", fan + "1 2 6\n"); },
         {Problema::Degenerado},
         "os vértices de destino"},
        {"fold-over",
         [&] { build("810 220\n", "200 350\n", fan + "1 2 6\n"); },
         {Problema::Dobra},
         "triângulo 4 (nós 1 2 6): o sentido"},
        {"overlap in the source mesh",
         [&] { build("", "", fan + "1 3 2\n"); },
         {Problema::Sobreposicao, Problema::Sobreposicao},
         "triângulos 1 e 4 se sobrepõem"},
        {"matrix file missing",
         [&] { build(), std::filesystem::remove(ws / "matrix/7.txt"); },
         {Problema::MatrizAusente},
         "triângulos 7"},
        {"matrix file short",
         [&] { build(), ws.write("matrix/50.txt", "1 0 0\n0 1"); },
         {Problema::MatrizCurta},
         "\"matrix/50.txt\" tem só 5 dos 6"},
        {"matrix file with maps appended",
         [&] { build(), ws.write("matrix/60.txt", ws.read("matrix/60.txt") + "1 0 0\n0 1 0\n"); },
         {Problema::MatrizLonga},
         "triângulos 60"},
        {"map not finite",
         [&] { build(), ws.write("matrix/0.txt", "nan 1 2\n3 4 5\n"); },
         {Problema::NaoFinito},
         "triângulo 0 (nós 1 5 2)"},
        {"map that misses its vertices",
         [&] { build(), ws.write("matrix/1.txt", "1 0 0\n0 1 0\n"); },
         {Problema::Desvio},
         "triângulo 1 (nós 2 5 3)"},
        {"clockwise corners: a remark only",
         [&] { build("", "", "1 2 5\n2 5 3\n3 5 4\n4 5 1\n"); },
         {Problema::Sentido},
         "triângulo 0 (nós 1 2 5): cantos em sentido horário"},
    };
    for (const auto& c : cases) {
        build();
        c.spoil();
        const Verificacao v = verificarMalha();
        EXPECT_EQ(c.expected, kinds(v)) << c.name << ":\n" << texts(v);
        EXPECT_NE(std::string::npos, texts(v).find(c.mentions)) << c.name << ":\n" << texts(v);
        const int faults = c.expected.count(Problema::Sentido) ? 0 : int(c.expected.size());
        EXPECT_EQ(faults, v.problemas()) << c.name;
    }
}

TEST_F(Authoring_Verificar, report_tells_whether_the_prompt_will_show_and_sets_the_status)
{
    build();
    testing::internal::CaptureStdout();
    EXPECT_EQ(kSaidaOk, malhaVerificar({}));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("mostrará o pedido do nome")) << out;
    EXPECT_NE(std::string::npos, out.find("  triângulo 3 (nós 4 5 1): 0.0000")) << out;
    EXPECT_NE(std::string::npos, out.find("\nnenhum problema encontrado\n")) << out;

    std::string sixtyFour;
    for (int t = 0; t < 16; ++t)
        sixtyFour += "1 5 2\n2 5 3\n3 5 4\n4 5 1\n";
    build("", "", sixtyFour);
    testing::internal::CaptureStdout();
    EXPECT_EQ(kSaidaFalha, malhaVerificar({})) << "the repeated triangles overlap";
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("triângulos: 64 ")) << out;
    EXPECT_NE(std::string::npos, out.find("não mostra o pedido")) << out;
    EXPECT_NE(std::string::npos, out.find("problema: triângulos 0 e 4 se sobrepõem")) << out;
}
