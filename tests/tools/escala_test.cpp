// Batches over many machines as docs/escala.md runs them (parts at once through GNU parallel,
// a part killed and run again, the Slurm script by hand), the installed programs, and the
// command lines of both correction programs.
#include "correction/image_ops.h"
#include "utilities/quality.h"

#include "tests/support/workspace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class Tools_Escala : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, teste::run(MALHA_PATH, {"demo", "w"}, "", ws.dir()).status);
    }
    teste::RunResult em(const std::string& programa, std::vector<std::string> args,
                        const std::string& entrada = "amostra.jpg\n")
    {
        return teste::run(programa, args, entrada, ws / "w");
    }
    // How many images the runs that printed `run.out` corrected, from their last lines.
    static int corrigidas(const teste::RunResult& run)
    {
        int n = 0, feitas = 0, total = 0;
        std::istringstream linhas(run.out);
        for (std::string linha; std::getline(linhas, linha);)
            if (std::sscanf(linha.c_str(), "%d de %d imagens corrigidas", &feitas, &total) == 2)
                n += feitas;
        return n;
    }
    // The results in the folder `pasta`, by name, with their bytes; temporary files left out.
    std::map<std::string, std::string> resultados(const std::string& pasta)
    {
        std::map<std::string, std::string> arquivos;
        for (const auto& nome : ws.list("w/" + pasta))
            if (nome[0] != '.') arquivos[nome] = ws.read("w/" + pasta + "/" + nome);
        return arquivos;
    }
    teste::Workspace ws;
};

} // namespace

TEST_F(Tools_Escala, parts_run_anywhere_give_the_results_of_one_run)
{
    constexpr int kImagens = 24;
    std::string lista = "\n";
    for (int k = 0; k < kImagens; ++k) {
        ws.write("w/fotos/foto " + std::to_string(k) + ".jpg", teste::pictureOf(200, 200, k));
        lista += "fotos/foto " + std::to_string(k) + (k % 5 ? ".jpg\n" : ".jpg\r\n\n");
    }
    ws.write("w/lista.txt", lista);
    ASSERT_EQ(kImagens, corrigidas(em(CORRIGIR_LOTE_PATH, {"--lista", "lista.txt", "-o", "um"})));
    const auto referencia = resultados("um");

    const auto paralelo =
        em("/usr/bin/parallel", {"--will-cite", "-j3", CORRIGIR_LOTE_PATH, "--lista", "lista.txt",
                                 "-o", "paralelo", "--parte", "{}/3", ":::", "1", "2", "3"});
    EXPECT_EQ(kImagens, corrigidas(paralelo)) << "each image once: " << paralelo.out;
    EXPECT_EQ(referencia, resultados("paralelo"));

    // Killed once three results are written, then run again.
    const int antes =
        std::stoi(em("/bin/sh", {"-c", CORRIGIR_LOTE_PATH
                                 " --lista lista.txt -o morto >/dev/null & p=$!; "
                                 "until [ $(ls morto 2>/dev/null | wc -l) -ge 3 ]; do sleep 0.002; "
                                 "done; kill -9 $p; wait $p; ls morto | wc -l"})
                      .out);
    ASSERT_LT(antes, kImagens) << "the kill came after the last image";
    const auto retomado =
        em(CORRIGIR_LOTE_PATH, {"--lista", "-", "-o", "morto", "--pular-existentes"},
           ws.read("w/lista.txt"));
    EXPECT_EQ(kImagens - antes, corrigidas(retomado)) << retomado.out << retomado.err;
    EXPECT_EQ(referencia, resultados("morto"));

    // The three tasks of a Slurm array whose indices start at 0, the middle one run twice.
    int slurm = 0;
    for (const std::string tarefa : {"0", "1", "1", "2"})
        slurm += corrigidas(em(
            "/usr/bin/env", {"SLURM_ARRAY_TASK_ID=" + tarefa, "SLURM_ARRAY_TASK_MIN=0",
                             "SLURM_ARRAY_TASK_COUNT=3", "CORRIGIR_LOTE=" CORRIGIR_LOTE_PATH,
                             "bash", SOURCE_DIR "/scripts/slurm-lote.sh", "lista.txt", "slurm"}));
    EXPECT_EQ(kImagens, slurm) << "the repeated task passed over its part";
    EXPECT_EQ(referencia, resultados("slurm"));

    // A newer image is due again, and every image once the pattern is newer.
    const auto depois = fs::file_time_type::clock::now() + std::chrono::hours(1);
    const std::vector<std::string> pular = {"--lista", "lista.txt", "-o", "um",
                                            "--pular-existentes"};
    fs::last_write_time(ws / "w/fotos/foto 3.jpg", depois);
    EXPECT_EQ(1, corrigidas(em(CORRIGIR_LOTE_PATH, pular)));
    fs::last_write_time(ws / "w/data/pattern.jpg", depois);
    EXPECT_EQ(kImagens, corrigidas(em(CORRIGIR_LOTE_PATH, pular)));
}

TEST_F(Tools_Escala, installed_programs_correct_as_the_built_ones_and_interpolate_the_demo)
{
    const std::string prefixo = (ws / "p").string();
    ASSERT_EQ(0, em(CMAKE_PATH, {"--install", BUILD_DIR, "--prefix", prefixo}).status);
    ASSERT_EQ(0, em(prefixo + "/bin/corrigir", {"--interpolado"}).status);
    ASSERT_EQ(0, em(CORRIGIR_LOTE_PATH, {"--interpolado=cubico", "amostra.jpg"}).status);
    EXPECT_EQ(ws.read("w/result.jpg"), ws.read("w/resultados/amostra.jpg"));

    const teste::InDirectory dentro(ws / "w");
    const corretor::Imagem resultado = corretor::abrir("result.jpg");
    const corretor::Imagem padrao = corretor::abrir("data/pattern.jpg");
    corretor::Qualidade q{};
    EXPECT_TRUE(corretor::avaliarCorrecao(resultado.get(), padrao.get(), q));
    EXPECT_GE(q.psnr, 19.6); // the forward warp gives 18.96 dB
    EXPECT_EQ(1.0, q.cobertura);
}

// The Slurm script takes its variables from the environment of whoever submits it: each must be
// a whole number in its range, checked before any arithmetic, so that a hostile value (a command
// hidden in an array subscript, a sign, a step of 0, a leading zero read as octal) stops the task
// with a message naming the variable and writes nothing. The program it runs is echo here.
TEST(Tools_SlurmLote, takes_only_whole_numbers_in_range)
{
    const std::string erro = "slurm-lote: erro: ", fora = "\", que não é um número inteiro de ";
    const auto com = [](const std::string& id, const std::string& resto = "") {
        return "export SLURM_ARRAY_TASK_ID=" + id +
               " SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=3 CORRIGIR_LOTE=/bin/echo " + resto +
               ";";
    };
    const teste::Caso casos[] = {
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_ID vale \"x[$(touch injetado)]" + fora, "",
         true, "", com("'x[$(touch injetado)]'")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_ID vale \"0" + fora + "1 a 999999999", "",
         true, "", com("0")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_STEP vale \"0" + fora + "1 a", "", true, "",
         com("1", "SLURM_ARRAY_TASK_STEP=0")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_COUNT vale \"tres" + fora + "1 a 1000000", "",
         true, "", com("1", "SLURM_ARRAY_TASK_COUNT=tres")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_MIN vale \"-1" + fora, "", true, "",
         com("1", "SLURM_ARRAY_TASK_MIN=-1")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_ID vale \"99999999999999999999" + fora, "",
         true, "", com("99999999999999999999")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_ID vale \"2?[31m" + fora, "", true, "",
         com("\"$(printf '2\\033[31m')\"")},
        {"", "l.txt", "", 2, erro + "SLURM_ARRAY_TASK_COUNT não está definida", "", true, "",
         com("1", "; unset SLURM_ARRAY_TASK_COUNT")},
        {"", "l.txt", "", 2, erro + "a tarefa 4 não tem lugar num vetor de 3 tarefas a partir de 1",
         "", true, "", com("4", "SLURM_ARRAY_TASK_STEP=2")},
        // A leading zero is decimal, and a step counts positions.
        {"", "l.txt", "", 0, "", "slurm-lote: tarefa 8, parte 3 de 3 em ", true,
         "--lista l.txt -o resultados --pular-existentes --parte 3/3\n",
         com("08", "SLURM_ARRAY_TASK_MIN=00 SLURM_ARRAY_TASK_STEP=4")},
        {"", "l.txt res --interpolado", "", 0, "", "slurm-lote: tarefa 5,", true,
         "--lista l.txt -o res --pular-existentes --parte 3/3 --interpolado\n",
         com("5", "SLURM_ARRAY_TASK_STEP=2")}};
    for (const auto& c : casos) {
        teste::Workspace ws;
        ws.write("l.txt", "a.png\n");
        teste::conferir(SOURCE_DIR "/scripts/slurm-lote.sh", c, ws);
    }
}
