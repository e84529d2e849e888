// Batch correction: corrigir-lote as a user runs it, and the batch function it is built on.
#include "correction/batch.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include "tests/support/workspace.h"

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

class Correction_Batch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        teste::writeSmallWorkspace(ws, 99); // with the image x.png, 6 x 5
        ws.writeImage("fotos/a.png", teste::pictureOf(7, 6, 5));
        ws.writeImage("fotos/b.jpg", teste::pictureOf(5, 4, 6));
        ws.write("quebrada.png", "not an image");
    }
    teste::RunResult lote(const std::vector<std::string>& args)
    {
        return teste::run(CORRIGIR_LOTE_PATH, args, "", ws.dir());
    }
    // The bytes of the "result.jpg" that corrigir writes for `image`.
    std::string corrigirResult(const std::string& image)
    {
        const auto run = teste::run(CORRIGIR_PATH, {}, image + "\n", ws.dir());
        EXPECT_EQ(0, run.status) << run.err;
        return ws.read("result.jpg");
    }
    static std::size_t count(const std::string& text, const std::string& part)
    {
        std::size_t n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }

    teste::Workspace ws;
};

} // namespace

TEST_F(Correction_Batch, results_are_corrigirs_and_a_broken_image_is_skipped)
{
    const auto run = lote({"x.png", "fotos/a.png", "quebrada.png", "fotos/b.jpg"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("\r0/4 imagens\r1/4 imagens\r2/4 imagens\r3/4 imagens\r4/4 imagens\n"
              "3 de 4 imagens corrigidas em \"resultados\"\n",
              run.out);
    EXPECT_EQ("corrigir-lote: erro: não foi possível ler a imagem \"quebrada.png\": o formato não "
              "é conhecido ou os dados não formam uma imagem\n",
              run.err);
    ASSERT_EQ((std::vector<std::string>{"a.jpg", "b.jpg", "x.jpg"}), ws.list("resultados"))
        << "no temporary file and nothing for the broken image";
    const std::string x = ws.read("resultados/x.jpg"), a = ws.read("resultados/a.jpg"),
                      b = ws.read("resultados/b.jpg");
    EXPECT_NE(x, a);
    EXPECT_EQ(corrigirResult("x.png"), x);
    EXPECT_EQ(corrigirResult("fotos/a.png"), a);
    EXPECT_EQ(corrigirResult("fotos/b.jpg"), b);
}

TEST_F(Correction_Batch, all_corrected_means_status_0_and_the_folder_is_made)
{
    ws.writeImage("-traco.png", teste::pictureOf(6, 5, 9));
    const auto run = lote({"-o", "saida/lote", "x.png", "--", "-traco.png", "fotos/a.png"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.err);
    EXPECT_EQ("\r0/3 imagens\r1/3 imagens\r2/3 imagens\r3/3 imagens\n"
              "3 de 3 imagens corrigidas em \"saida/lote\"\n",
              run.out);
    EXPECT_EQ((std::vector<std::string>{"-traco.jpg", "a.jpg", "x.jpg"}), ws.list("saida/lote"));
    EXPECT_FALSE(ws.exists("resultados"));
}

TEST_F(Correction_Batch, results_that_would_clash_or_replace_an_image_are_refused)
{
    ws.writeImage("outra/x.jpg", teste::pictureOf(6, 5, 8));
    const std::string b = ws.read("fotos/b.jpg");
    struct Caso
    {
        std::vector<std::string> args;
        std::string motivo;
    };
    const Caso casos[] = {
        {{"x.png", "fotos/a.png", "outra/x.jpg"},
         "as imagens \"x.png\" e \"outra/x.jpg\" teriam o mesmo resultado \"resultados/x.jpg\""},
        {{"x.png", "x.png"}, "as imagens \"x.png\" e \"x.png\""},
        {{"-o", "fotos", "x.png", "fotos/a.png", "fotos/b.jpg"},
         "o resultado de \"fotos/b.jpg\" substituiria a imagem \"fotos/b.jpg\""},
        {{"-o", "./fotos/", "./fotos/../fotos/b.jpg"}, "substituiria a imagem"},
        {{"fotos/"}, "\"fotos/\" não é o nome de um arquivo"},
    };
    for (const auto& caso : casos) {
        const auto run = lote(caso.args);
        EXPECT_EQ(2, run.status) << caso.motivo;
        EXPECT_EQ("", run.out);
        EXPECT_NE(std::string::npos, run.err.find(caso.motivo)) << run.err;
    }
    EXPECT_FALSE(ws.exists("resultados")) << "refused before anything was made";
    EXPECT_EQ(b, ws.read("fotos/b.jpg"));
    EXPECT_EQ((std::vector<std::string>{"a.png", "b.jpg"}), ws.list("fotos"));
}

TEST_F(Correction_Batch, mesh_pattern_or_folder_failures_stop_before_any_image)
{
    ws.write("data/quelvarina.txt", "1 2 3\n1 2 x\n");
    auto run = lote({"x.png"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("data/quelvarina.txt\", linha 2")) << run.err;
    EXPECT_FALSE(ws.exists("resultados"));

    teste::writeSmallWorkspace(ws, 99);
    fs::remove(ws / "data/pattern.jpg");
    run = lote({"x.png"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("\"data/pattern.jpg\"")) << run.err;
    EXPECT_FALSE(ws.exists("resultados"));

    teste::writeSmallWorkspace(ws, 99);
    ws.write("ocupado", "a file where the folder should go");
    run = lote({"-o", "ocupado/res", "x.png"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("\"ocupado/res\"")) << run.err;
}

TEST_F(Correction_Batch, command_lines_it_does_not_take)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"-o", "res"}, {"-x", "x.png"}, {"x.png", "-o"}, {"-o", "", "x.png"}}) {
        const auto run = lote(args);
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_EQ("", run.out);
        EXPECT_EQ(1u, count(run.err, "corrigir-lote: erro: ")) << run.err;
        EXPECT_NE(std::string::npos, run.err.find("corrigir-lote --help")) << run.err;
    }
    const auto ajuda = lote({"x.png", "--help"});
    EXPECT_EQ(0, ajuda.status);
    EXPECT_EQ(0u, ajuda.out.find("uso: corrigir-lote [-o PASTA] IMAGEM...")) << ajuda.out;
    EXPECT_FALSE(ws.exists("resultados"));
}

TEST(Correction_BatchNames, result_names)
{
    EXPECT_EQ("res/a.jpg", corretor::nomeDoResultado("fotos/a.png", "res"));
    EXPECT_EQ("res/a.b.jpg", corretor::nomeDoResultado("a.b.png", "res/"));
    EXPECT_EQ("res/sem.jpg", corretor::nomeDoResultado("/x/sem", "res"));
    EXPECT_EQ("res/.oculta.jpg", corretor::nomeDoResultado(".oculta", "res"));
    for (const char* nenhum : {"", "fotos/", ".", "fotos/.."})
        EXPECT_EQ("", corretor::nomeDoResultado(nenhum, "res")) << nenhum;
}

// The images are shared out to several workers: the files, the counts and the reports must not
// depend on how many there are, and OpenCV's own thread count is given back.
TEST_F(Correction_Batch, one_worker_or_several_give_the_same_files)
{
    std::vector<std::string> imagens;
    for (int k = 0; k < 7; ++k) {
        imagens.push_back("lote/" + std::to_string(k) + ".png");
        // Sizes in runs (three of one, three of another, then a third), so that a worker
        // both reuses its enlargements and replaces them.
        ws.writeImage(imagens.back(), teste::pictureOf(6 + k / 3, 5 + k / 3 % 2, 20 + k));
    }
    imagens.insert(imagens.begin() + 3, "quebrada.png");
    const teste::InDirectory aqui(ws.dir());
    corretor::limparFalha();
    corretor::limparMalha();
    corretor::carregaVetorVertices();
    ASSERT_FALSE(corretor::houveFalha()) << corretor::motivoFalha();
    IplImage* padrao = corretor::open("data/pattern.jpg");
    ASSERT_NE(nullptr, padrao);
    const int threads = cv::getNumThreads();

    std::map<int, std::map<std::string, std::string>> porTrabalhadores;
    for (int trabalhadores : {1, 2, 5}) {
        const std::string pasta = "r" + std::to_string(trabalhadores);
        fs::create_directory(pasta);
        std::vector<int> feitas;
        std::vector<std::string> falhas;
        const int corrigidas = corretor::corrigirLote(
            imagens, pasta, padrao, trabalhadores,
            [&](int f, int total) {
                EXPECT_EQ(8, total);
                feitas.push_back(f);
            },
            [&](const std::string& imagem, const std::string& motivo) {
                falhas.push_back(imagem);
                falhas.back().append(": ").append(motivo);
            });
        EXPECT_EQ(7, corrigidas);
        EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}), feitas);
        EXPECT_EQ(std::vector<std::string>{"quebrada.png: não foi possível ler a imagem "
                                           "\"quebrada.png\": o formato não é conhecido ou os "
                                           "dados não formam uma imagem"},
                  falhas);
        EXPECT_EQ(threads, cv::getNumThreads());
        EXPECT_FALSE(corretor::houveFalha());
        for (const auto& nome : ws.list(pasta))
            porTrabalhadores[trabalhadores][nome] = ws.read((fs::path(pasta) / nome).string());
    }
    EXPECT_EQ(7u, porTrabalhadores[1].size());
    EXPECT_EQ(porTrabalhadores[1], porTrabalhadores[2]);
    EXPECT_EQ(porTrabalhadores[1], porTrabalhadores[5]);
    // Each result as the single correction makes it, with enlargements of its own.
    for (int k = 0; k < 7; ++k) {
        IplImage* image = corretor::open(("lote/" + std::to_string(k) + ".png").c_str());
        IplImage* corrigida = corretor::corrigirImagem(image, padrao, nullptr);
        ASSERT_TRUE(corretor::save("sozinha.jpg", corrigida));
        EXPECT_EQ(ws.read("sozinha.jpg"), porTrabalhadores[1][std::to_string(k) + ".jpg"]) << k;
        corretor::free(corrigida);
        corretor::free(image);
    }
    corretor::free(padrao);
    corretor::limparMalha();
}
