// Checking a workspace's mesh: one row per problem class, on a sound workspace spoilt once.
#include "authoring/affine_maps.h"
#include "authoring/mesh_check.h"
#include "authoring/mesh_value.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace corretor;

namespace {

const std::string kFan = "1 5 2\n2 5 3\n3 5 4\n4 5 1\n";

// A sound workspace in `ws`, the working directory: a square with its centre in the pattern,
// the source four times as large and shifted, triangles wound counter-clockwise on screen, maps
// from gerarMatriz. A node may be added to each mesh and the triangles replaced.
void build(const teste::Workspace& ws, const std::string& source = "",
           const std::string& target = "", const std::string& triangles = kFan)
{
    teste::estadoInicial();
    ws.write("data/verticesamp4.txt", "410 420\n1210 420\n1210 1220\n410 1220\n810 820\n" + source);
    ws.write("data/vertices2.txt", "100 100\n300 100\n300 300\n100 300\n200 200\n" + target);
    ws.write("data/quelvarina.txt", triangles);
    fs::remove_all(ws / "matrix"), fs::create_directory(ws / "matrix");
    ASSERT_TRUE(carregarVertices() && carregarTriangulos() >= 0);
    testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
    gerarMatriz();
    testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr();
}

} // namespace

TEST(Authoring_Verificar, each_problem_class_on_a_workspace_that_has_it)
{
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    using P = Problema;
    const auto put = [&](const std::string& f, const std::string& text) {
        return [=, &ws] { ws.write(f, text); };
    };
    const std::tuple<std::function<void()>, std::multiset<P>, std::string> casos[] = {
        {[] {}, {}, ""},
        {put("data/quelvarina.txt", "1 5 x\n"), {P::Leitura}, "quelvarina.txt\", linha 1"},
        {[&] { build(ws, "", "7 7\n", kFan); },
         {P::Nos},
         "tem 5 nós e \"data/vertices2.txt\" tem 6"},
        {[&] { build(ws, "", "", kFan + "0 1 2\n1 2 6\n"); },
         {P::Indice, P::Indice},
         "triângulo 5 (nós 1 2 6): o nó 6 não existe"},
        {[&] { build(ws, "810 420\n", "200 50\n", kFan + "1 2 6\n"); },
         {P::Degenerado},
         "triângulo 4 (nós 1 2 6): os vértices de origem estão numa reta"},
        {[&] { build(ws, "810 220\n", "200 100\n", kFan + "1 2 6\n"); },
         {P::Degenerado},
         "os vértices de destino"},
        {[&] { build(ws, "810 220\n", "200 350\n", kFan + "1 2 6\n"); },
         {P::Dobra},
         "triângulo 4 (nós 1 2 6): o sentido"},
        {[&] { build(ws, "", "", kFan + "1 3 2\n"); },
         {P::Sobreposicao, P::Sobreposicao},
         "triângulos 1 e 4 se sobrepõem"},
        {[&] { fs::remove(ws / "matrix/7.txt"); }, {P::MatrizAusente}, "dos triângulos 7"},
        {put("matrix/50.txt", "1 0 0\n0 1"), {P::MatrizCurta}, "\"matrix/50.txt\" tem só 5 dos 6"},
        {put("matrix/60.txt", "1 0 0\n0 1 0\n1\n"),
         {P::MatrizLonga},
         "duas primeiras; use \"malha matrizes --substituir\"): triângulos 60"},
        {put("matrix/0.txt", "nan 1 2\n3 4 5\n"), {P::NaoFinito}, "triângulo 0 (nós 1 5 2)"},
        {put("matrix/1.txt", "1 0 0\n0 1 0\n"), {P::Desvio}, "triângulo 1 (nós 2 5 3): o mapa"},
        {[&] { build(ws, "", "", "1 2 5\n2 5 3\n3 5 4\n4 5 1\n"); },
         {P::Sentido}, // a remark only
         "triângulo 0 (nós 1 2 5): cantos em sentido horário"}};
    for (const auto& [spoil, kinds, mentions] : casos) {
        SCOPED_TRACE(mentions);
        build(ws);
        spoil();
        const Verificacao v = verificarMalha();
        std::multiset<P> found;
        std::string texts;
        for (const auto& a : v.achados)
            found.insert(a.tipo), texts += a.texto + "\n";
        EXPECT_EQ(kinds, found) << texts;
        EXPECT_NE(std::string::npos, texts.find(mentions)) << texts;
        EXPECT_EQ(int(kinds.size() - kinds.count(P::Sentido)), v.problemas());
    }
}

// A mesh being built is checked in memory as its files would be checked, and written whole or
// not at all, into a folder given by name: the working folder is never used.
TEST(Authoring_MalhaNova, checked_in_memory_as_its_files_and_written_whole_or_not_at_all)
{
    teste::Workspace ws, trabalho;
    const teste::InDirectory here(trabalho.dir());
    MalhaNova malha;
    malha.origem = {{410, 420}, {1210, 420}, {1210, 1220}, {410, 1220}, {810, 820}};
    malha.destino = {{100, 100}, {300, 100}, {300, 300}, {100, 300}, {200, 200}};
    ASSERT_TRUE(triangular(malha)) << motivoFalha();
    gerarMapas(malha);
    MalhaNova dobrada = malha; // node 5 moved across the square's corner in the source mesh
    dobrada.origem[4] = {1400, 1400};
    gerarMapas(dobrada);
    const auto tipos = [](const Verificacao& v) {
        std::multiset<Problema> t;
        for (const auto& a : v.achados)
            t.insert(a.tipo);
        return t;
    };
    for (const MalhaNova* m : {&malha, &dobrada}) {
        const std::string pasta = (ws / "m").string();
        fs::remove_all(pasta);
        ASSERT_TRUE(gravarMalha(*m, kTodaAMalha, pasta)) << motivoFalha();
        const teste::InDirectory dentro(pasta);
        EXPECT_EQ(tipos(verificarMalha()), tipos(verificarMalha(*m)));
    }
    EXPECT_EQ(0, verificarMalha(malha).problemas());
    EXPECT_LT(0, verificarMalha(dobrada).problemas());

    fs::remove_all(ws / "m");
    const auto antes = teste::conteudo(ws.dir());
    Verificacao v;
    limparFalha();
    EXPECT_FALSE(verificarEGravar(dobrada, kTodaAMalha, v, ws.dir().string()));
    EXPECT_NE(std::string::npos,
              motivoFalha().find("não passou na verificação, e nada foi gravado"));
    EXPECT_TRUE(antes == teste::conteudo(ws.dir())) << "nothing written";
    ASSERT_TRUE(verificarEGravar(malha, kVerticesDeOrigem | kMapas, v, ws.dir().string()));
    EXPECT_EQ((std::vector<std::string>{"data", "matrix"}), ws.list());
    EXPECT_EQ((std::vector<std::string>{"verticesamp4.txt"}), ws.list("data"));
    EXPECT_EQ(99u, ws.list("matrix").size());
    EXPECT_TRUE(trabalho.list().empty()) << "the working folder is not used";
}

// The maps of the mesh of a large capture (its enlargement some 24000 pixels wide) pass: their
// files' six decimals miss the vertices there by a few hundredths. A map one unit off in its
// fifth decimal is still caught.
TEST(Authoring_MalhaNova, large_coordinates_pass_and_a_wrong_map_is_still_caught)
{
    MalhaNova malha;
    malha.destino = {{100, 100}, {300, 100}, {300, 300}, {100, 300}, {200, 200}};
    malha.origem = {{8143, 8301}, {23157, 7989}, {23302, 23913}, {7977, 22859}, {15131, 15427}};
    ASSERT_TRUE(triangular(malha)) << motivoFalha();
    testing::internal::CaptureStderr();
    gerarMapas(malha);
    testing::internal::GetCapturedStderr();
    const auto desvios = [](const Verificacao& v) {
        int n = 0;
        for (const auto& a : v.achados)
            n += a.tipo == Problema::Desvio;
        return n;
    };
    const Verificacao certa = verificarMalha(malha);
    EXPECT_EQ(0, certa.problemas());
    double maior = 0;
    for (const auto& d : certa.desvios)
        maior = std::max(maior, d.desvio);
    EXPECT_GT(maior, kDesvioTolerado) << "beyond the fixed tolerance, allowed by the coordinates";
    // Triangle 0's first coefficient one unit off in the fifth decimal: 0.08 pixel at x 8000.
    MalhaNova errada = malha;
    std::istringstream linhas(errada.mapas.at(0));
    double a = 0, b = 0, c = 0;
    linhas >> a >> b >> c;
    std::string resto;
    std::getline(linhas, resto), std::getline(linhas, resto, '\0');
    char primeira[128];
    std::snprintf(primeira, sizeof primeira, "%f %f %f\n", a + 1e-5, b, c);
    errada.mapas[0] = primeira + resto;
    EXPECT_EQ(1, desvios(verificarMalha(errada)));
}
