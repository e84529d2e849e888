// The mesh loader, one table per kind of file: what each file loads as, and how it is refused.
// "<pasta>" in a table puts a folder where the file goes, "<falta>" no file at all.
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <sys/stat.h>

using namespace corretor;
using teste::repetir;

namespace {

// Puts `content` at `rel` in the working directory, or what "<pasta>", "<falta>", "<fifo>" or
// "<zero>" (a link to /dev/zero) name.
void put(const std::string& rel, const std::string& content)
{
    fs::remove_all(rel), fs::create_directories(fs::path(rel).parent_path());
    if (content == "<pasta>") fs::create_directory(rel);
    if (content == "<fifo>") mkfifo(rel.c_str(), 0600);
    if (content == "<zero>") fs::create_symlink("/dev/zero", rel);
    if (content.empty() || content.front() != '<') std::ofstream(rel) << content;
}

void expectReason(const std::string& motivo)
{
    EXPECT_EQ(!motivo.empty(), houveFalha());
    EXPECT_NE(std::string::npos, motivoFalha().find(motivo)) << motivoFalha();
}

} // namespace

// carregaVetorVertices is true exactly for 64 records; a short last record counts.
TEST(Mesh_Loader, triangle_file)
{
    // Content; records read (-1: refused) and the reason; an entry t and the nodes it holds.
    const std::tuple<std::string, int, std::string, std::array<int, 4>> casos[] = {
        {repetir(64, "1 1 1\n"), 64, "", {63, 1, 1, 1}},
        {repetir(63, "1 2 3\n") + "4 5", 64, "", {63, 4, 5, 0}},
        {repetir(63, "1 1 1\n"), 63, "", {63, 0, 0, 0}},
        {repetir(99, "63 0 +1\n"), 99, "", {98, 63, 0, 1}},
        {"", 0, "", {0, 0, 0, 0}},
        {repetir(100, "1 2 3\n"), -1, "quelvarina.txt\", linha 100: mais de 99 triângulos", {}},
        {"1 2 3\n4 x 6\n", -1, "linha 2: encontrado texto que não é um número", {}},
        {"4 5 6abc\n", -1, "linha 1: encontrado texto que não é um número", {}},
        {"1 - 2\n", -1, "linha 1: encontrado texto que não é um número", {}},
        {"1 2 3\n\n\n1 2 64\n", -1, "linha 4: 64: número de nó fora do intervalo de 0 a 63", {}},
        {"-1 2 3\n", -1, "linha 1: -1: número de nó fora", {}},
        {"1 2 3\n1 2 99999999999\n", -1, "linha 2: número fora do intervalo de 32 bits", {}},
        {"1 2 -2147483649\n", -1, "linha 1: número fora do intervalo de 32 bits", {}},
        {"<pasta>", -1, "não foi possível ler \"data/quelvarina.txt\"", {}},
        {"<falta>", -1, "não foi possível abrir \"data/quelvarina.txt\"", {}},
        {"\xEF\xBB\xBF"
         "1 2 3\n",
         1,
         "",
         {0, 1, 2, 3}}, // a byte order mark is passed over
        {"<fifo>", -1, "\"data/quelvarina.txt\": é um FIFO, não um arquivo comum", {}}};
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    ws.write("data/verticesamp4.txt", "1 2\n");
    ws.write("data/vertices2.txt", "3 4\n");
    for (int t = 0; t < 99; ++t)
        ws.write("matrix/" + std::to_string(t) + ".txt", "1 0 0\n0 1 0\n");
    for (const auto& [texto, registros, motivo, entrada] : casos) {
        SCOPED_TRACE(texto.substr(0, 40));
        teste::estadoInicial();
        put("data/quelvarina.txt", texto);
        EXPECT_EQ(registros == 64, carregaVetorVertices());
        limparFalha();
        EXPECT_EQ(registros, carregarTriangulos());
        expectReason(motivo);
        for (int k = 0; k < 3 && registros >= 0; ++k)
            EXPECT_EQ(entrada[k + 1], trg[entrada[0]][k]) << k;
    }
}

// Pairs go to entries 1, 2, ... in file order however they are spread over lines; a pair cut
// short counts; the target file is not read after the source file failed.
TEST(Mesh_Loader, vertex_files)
{
    const int m = INT_MIN, M = INT_MAX;
    // Both files; pairs read from each (-1: refused) and the reason; then an entry of vert and
    // one of vert2 with the values they must hold: the node, x, y.
    const std::tuple<std::string, std::string, int, int, std::string, std::array<int, 6>> casos[] =
        {{"1 -1\n2 -2\n3 -3\n", "1\n-1 2\n-2 3 -3", 3, 3, "", {3, 3, -3, 3, 3, -3}},
         {"5 6\n7", "+8 9\n", 2, 1, "", {2, 7, 0, 1, 8, 9}},
         {"-2147483648 2147483647\n", "0 -0\n", 1, 1, "", {1, m, M, 2, 0, 0}},
         {"", repetir(63, "3 4\n"), 0, 63, "", {1, 0, 0, 63, 3, 4}},
         {"1 2\n", repetir(64, "3 4\n"), 1, -1, "\"data/vertices2.txt\", linha 64: mais de 63", {}},
         {repetir(64, "1 1\n"), "", -1, 0, "\"data/verticesamp4.txt\", linha 64: mais de 63", {}},
         {"<falta>", "", -1, 0, "não foi possível abrir \"data/verticesamp4.txt\"", {}},
         {"1 2\n", "<pasta>", 1, -1, "não foi possível ler \"data/vertices2.txt\"", {}},
         {"\xEF\xBB\xBF"
          "5 6\n",
          "<zero>",
          1,
          -1,
          "\"data/vertices2.txt\": é um dispositivo",
          {1, 5, 6, 0, 0, 0}}};
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    for (const auto& [origem, destino, nosOrigem, nosDestino, motivo, nos] : casos) {
        SCOPED_TRACE(origem.substr(0, 30) + " | " + destino.substr(0, 30));
        teste::estadoInicial();
        put("data/verticesamp4.txt", origem), put("data/vertices2.txt", destino);
        int lidos[2] = {0, 0};
        EXPECT_EQ(motivo.empty(), carregarVertices(lidos[0], lidos[1]));
        EXPECT_TRUE(lidos[0] == nosOrigem && lidos[1] == (nosOrigem >= 0 ? nosDestino : 0));
        expectReason(motivo);
        EXPECT_TRUE(vert[nos[0]][0] == nos[1] && vert[nos[0]][1] == nos[2] && vert[0][0] == 0);
        EXPECT_TRUE(vert2[nos[3]][0] == nos[4] && vert2[nos[3]][1] == nos[5]);
    }
}

// A short or garbled matrix file gives its values up to the fault (the longest stretch of a
// token that forms a number), zeros after it, and a warning naming file and line.
TEST(Mesh_Loader, matrix_files)
{
    // The last file's content; its map as loaded (NAN where not a number); the warning, or the
    // reason it is refused for.
    const std::tuple<std::string, std::array<float, 6>, std::string, std::string> casos[] = {
        {"1.5 -2 3e2\n4 5 6\n7 8 9\n10 11 12\n", {1.5f, -2, 300, 4, 5, 6}, "", ""},
        {"nan -nan inf\n-inf 1e39 -1e-50\n", {NAN, NAN, INFINITY, -INFINITY, INFINITY, 0}, "", ""},
        {"1 2 3\n4", {1, 2, 3, 4}, "linha 2: o arquivo acabou; lidos 4 de 6 coeficientes", ""},
        {"1 2 3\n4 5,5 6\n", {1, 2, 3, 4, 5}, "linha 2: encontrado texto que não é um número", ""},
        {"",
         {},
         "aviso: \"matrix/98.txt\", linha 1: o arquivo acabou; lidos 0 de 6 coeficientes, os "
         "demais ficam 0\n",
         ""},
        {"<pasta>", {}, "", "não foi possível ler \"matrix/98.txt\""},
        {"<falta>", {}, "", "não foi possível abrir \"matrix/98.txt\""},
        {"\xEF\xBB\xBF"
         "1 2 3\n4 5 6\n",
         {1, 2, 3, 4, 5, 6},
         "",
         ""},
        {"1." + std::string(5000, '0') + " 2 3 4 5 6", {1, 2, 3, 4, 5, 6}, "", ""},
        {"<zero>", {}, "", "\"matrix/98.txt\": é um dispositivo"}};
    teste::Workspace ws;
    const teste::InDirectory here(ws.dir());
    for (int t = 0; t < 98; ++t)
        ws.write("matrix/" + std::to_string(t) + ".txt", "1 0 0\n0 1 0\n");
    for (const auto& [texto, mapa, aviso, motivo] : casos) { // every earlier file is read first
        SCOPED_TRACE(texto);
        teste::estadoInicial();
        put("matrix/98.txt", texto);
        testing::internal::CaptureStderr();
        EXPECT_EQ(motivo.empty(), carregarMatrizes());
        const std::string avisos = testing::internal::GetCapturedStderr();
        expectReason(motivo);
        EXPECT_EQ(aviso.empty() ? 0 : 1, teste::vezes(avisos, "aviso: \"matrix/98.txt\""))
            << avisos;
        EXPECT_NE(std::string::npos, avisos.find(aviso)) << avisos;
        EXPECT_EQ(1.f, matrix[97].mat[1][1]);
        for (int i = 0; i < 6 && motivo.empty(); ++i) {
            const float v = matrix[98].mat[i / 3][i % 3];
            EXPECT_TRUE(std::isnan(mapa[i]) ? std::isnan(v) : v == mapa[i]) << i << ": " << v;
        }
    }
}

// A name that does not fit arq3 is cut short; the store prints as its header says.
TEST(Mesh_Store, names_and_the_printed_store)
{
    const std::pair<int, const char*> nomes[] = {{7, "matrix\\7.txt"},
                                                 {98, "matrix\\98.txt"},
                                                 {-1, "matrix\\-1.txt"},
                                                 {INT_MIN, "matrix\\-2147483648."}};
    for (const auto& [n, nome] : nomes) {
        nomeArquivo(n);
        EXPECT_STREQ(nome, arq3);
    }
    EXPECT_EQ("matrix/-2147483648.", caminhoLocal(arq3));
    vert[63][0] = -5, trg[98][2] = 63;
    testing::internal::CaptureStdout();
    mostrarVertices();
    EXPECT_EQ(repetir(63, "0 0\n") + "-5 0\n\n\n" + repetir(98, "0 0 0\n") + "0 0 63\n",
              testing::internal::GetCapturedStdout());
}
