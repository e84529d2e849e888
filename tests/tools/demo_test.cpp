// The demo workspace as a user meets it: made by "malha demo", corrected by corrigir.
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "mesh/mesh_store.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include "tests/support/workspace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace {

// The demo's correction measured 18.96 dB (see docs/design.md); a change that moves the
// mesh, the lens or the warp by a fraction of a pixel shows well before this.
constexpr double kPsnrMinimo = 18.5;
constexpr double kCoberturaMinima = 0.99;

class Tools_Demo : public ::testing::Test
{
protected:
    teste::RunResult malha(const std::vector<std::string>& args)
    {
        return teste::run(MALHA_PATH, args, "", ws.dir());
    }
    teste::Workspace ws;
};

// Every file under `pasta`, by its path relative to it, with its bytes.
std::map<std::string, std::string> conteudo(const fs::path& pasta)
{
    std::map<std::string, std::string> arquivos;
    for (const auto& e : fs::recursive_directory_iterator(pasta))
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            arquivos[fs::relative(e.path(), pasta).string()] =
                std::string(std::istreambuf_iterator<char>(in), {});
        }
    return arquivos;
}

} // namespace

TEST_F(Tools_Demo, the_corrected_demo_covers_the_field_and_matches_its_pattern)
{
    const auto demo = malha({"demo", "ws"});
    ASSERT_EQ(0, demo.status) << demo.err;
    EXPECT_EQ("", demo.err) << "no warning from the mesh steps";
    EXPECT_NE(std::string::npos, demo.out.find("99 triângulos sobre 63 nós")) << demo.out;

    const auto verificar = teste::run(MALHA_PATH, {"verificar"}, "", ws / "ws");
    EXPECT_EQ(0, verificar.status) << verificar.out;
    EXPECT_NE(std::string::npos, verificar.out.find("\nnenhum problema encontrado\n"))
        << verificar.out;
    EXPECT_EQ(std::string::npos, verificar.out.find("observação")) << verificar.out;

    const auto run = teste::run(CORRIGIR_PATH, {}, "amostra.jpg\n", ws / "ws");
    ASSERT_EQ(0, run.status) << run.err;
    teste::InDirectory dentro(ws / "ws");
    IplImage* resultado = corretor::open("result.jpg");
    IplImage* padrao = corretor::open("data/pattern.jpg");
    ASSERT_TRUE(resultado != nullptr && padrao != nullptr);
    corretor::Qualidade q{};
    EXPECT_TRUE(corretor::avaliarCorrecao(resultado, padrao, q)) << corretor::motivoFalha();
    EXPECT_GE(q.cobertura, kCoberturaMinima);
    EXPECT_GE(q.psnr, kPsnrMinimo);

    // The same correction before it is saved: JPEG compression lightens an isolated black
    // pixel past the hole threshold, so only the unsaved result shows every hole.
    corretor::limparMalha();
    ASSERT_TRUE(corretor::carregarVertices() && corretor::carregarMatrizes() &&
                corretor::carregarTriangulos() == 99)
        << corretor::motivoFalha();
    IplImage* amostra = corretor::open("amostra.jpg");
    IplImage* direto = corretor::corrigirImagem(amostra, padrao, {});
    ASSERT_NE(nullptr, direto);
    corretor::Qualidade semPerdas{};
    EXPECT_TRUE(corretor::avaliarCorrecao(direto, padrao, semPerdas));
    EXPECT_GE(semPerdas.cobertura, kCoberturaMinima);
    corretor::limparMalha();
    for (IplImage* i : {direto, amostra, padrao, resultado})
        corretor::free(i);
}

TEST_F(Tools_Demo, two_runs_write_the_same_bytes)
{
    ASSERT_EQ(0, malha({"demo", "um"}).status);
    ASSERT_EQ(0, malha({"demo", "dois"}).status);
    const auto um = conteudo(ws / "um");
    EXPECT_EQ((std::vector<std::string>{"dois", "um"}), ws.list()) << "no temporary folder left";
    const auto dois = conteudo(ws / "dois");
    EXPECT_EQ(1u + 4u + 99u, um.size()) << "amostra.jpg, data/*, matrix/*";
    ASSERT_EQ(um.size(), dois.size());
    for (const auto& [nome, bytes] : um)
        EXPECT_TRUE(dois.count(nome) && dois.at(nome) == bytes) << nome;
}

TEST_F(Tools_Demo, a_missing_or_second_folder_is_a_usage_error)
{
    const auto nenhuma = malha({"demo"});
    EXPECT_EQ(2, nenhuma.status);
    EXPECT_NE(std::string::npos, nenhuma.err.find("falta a pasta")) << nenhuma.err;
    const auto duas = malha({"demo", "a", "b"});
    EXPECT_EQ(2, duas.status);
    EXPECT_NE(std::string::npos, duas.err.find("argumento inesperado \"b\"")) << duas.err;
    EXPECT_TRUE(ws.list().empty());
}
