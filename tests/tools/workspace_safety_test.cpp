// A workspace kept whole as users meet it: --imagem never writes over a workspace file, one writer
// at a time, a replacement cut short by SIGKILL is reported rather than used, a signal in any
// phase leaves nothing hidden, and names are shown escaped on standard output too.
#include "calibration/sintetica/captura_sintetica.h"
#include "tests/support/workspace.h"
#include "tests/tools/simple_capture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using namespace corretor;

// A workspace with the pattern and its capture "captura.png".
void preparar(const teste::Workspace& ws)
{
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Demo, 1);
    ws.write("data/pattern.jpg", padrao);
    ws.write("captura.png", fotografar(padrao, teste::casoSimples(TipoDePadrao::Demo)));
}

// The entries under `pasta` whose name starts with a dot.
std::vector<std::string> escondidos(const fs::path& pasta)
{
    std::vector<std::string> achados;
    for (const auto& e : fs::recursive_directory_iterator(pasta))
        if (e.path().filename().string()[0] == '.') achados.push_back(e.path().string());
    return achados;
}

// A shell command line run in the workspace; `$MALHA` is the malha program.
teste::RunResult sh(const teste::Workspace& ws, const std::string& comandos)
{
    return teste::run("/bin/sh", {"-c", "MALHA='" + std::string(MALHA_PATH) + "'; " + comandos}, "",
                      ws.dir());
}

} // namespace

TEST(Tools_Seguranca, imagem_refused_over_workspace_files_and_where_it_cannot_be_written)
{
    teste::Workspace ws;
    preparar(ws);
    struct Linha
    {
        const char* imagem;
        const char* motivo;
    };
    const Linha linhas[] = {
        {"data/pattern.jpg", "é \"data/pattern.jpg\", da área de trabalho"},
        {"./data/../data/pattern.jpg", "é \"data/pattern.jpg\""},
        {"captura.png", "é \"captura.png\""},
        {"matrix/7.txt", "é \"matrix/7.txt\", da área de trabalho"},
        {"x.txt", "não sei gravar imagens"},
        {"semPasta/x.png", "a pasta \"semPasta\" não existe"},
        {"data", "não sei gravar"},
    };
    const auto antes = teste::conteudo(ws.dir());
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.imagem);
        const auto r =
            teste::run(MALHA_PATH, {"calibrar", "captura.png", "--imagem", l.imagem}, "", ws.dir());
        EXPECT_EQ(2, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(l.motivo)) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(antes == teste::conteudo(ws.dir())) << "nothing written";
    }
}

TEST(Tools_Seguranca, one_writer_at_a_time_and_a_busy_workspace_names_its_holder)
{
    teste::Workspace ws;
    preparar(ws);
    // A lock held here: a writer waits its bounded time, then names this process.
    const int pasta = open(ws.dir().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(0, flock(pasta, LOCK_SH));
    setenv("CORRETOR_ESPERA_DA_PASTA", "1", 1);
    const auto ocupada = teste::run(MALHA_PATH, {"calibrar", "captura.png"}, "", ws.dir());
    unsetenv("CORRETOR_ESPERA_DA_PASTA");
    close(pasta);
    EXPECT_EQ(1, ocupada.status);
    EXPECT_NE(std::string::npos,
              ocupada.err.find("está em uso por outro programa (pid " + std::to_string(getpid())))
        << ocupada.err;
    EXPECT_FALSE(fs::exists(ws / "data/vertices2.txt"));

    // Two replacements at once: one waits for the other, and one whole mesh is left.
    ASSERT_EQ(
        0, teste::run(MALHA_PATH, {"calibrar", "captura.png", "--nos", "40"}, "", ws.dir()).status);
    const auto duas = sh(ws, "for n in 1 2; do ($MALHA calibrar captura.png --substituir > o$n "
                             "2>&1; echo $? > s$n) & done; wait; cat s1 s2");
    EXPECT_EQ("0\n0\n", duas.out) << ws.read("o1") << ws.read("o2");
    const auto verificar = teste::run(MALHA_PATH, {"verificar"}, "", ws.dir());
    EXPECT_EQ(0, verificar.status) << verificar.out;
    EXPECT_EQ(63, teste::vezes(ws.read("data/vertices2.txt"), "\n"));
}

TEST(Tools_Seguranca, a_replacement_cut_short_is_reported_and_a_signal_leaves_nothing_hidden)
{
    teste::Workspace ws;
    preparar(ws);
    ws.write("x.png", teste::pictureOf(40, 40, 3));
    ASSERT_EQ(
        0, teste::run(MALHA_PATH, {"calibrar", "captura.png", "--nos", "30"}, "", ws.dir()).status);

    // SIGTERM while the calibration computes, while its files are written, while they replace
    // the old ones (when the phase is caught: a short one may be over before the signal comes):
    // the old mesh or the new one, whole, and nothing hidden.
    struct Fase
    {
        const char* nome;
        const char* espera; // a shell test that becomes true in that phase
    };
    const Fase fases[] = {{"calculando", "[ -s o ]"},
                          {"gravando", "set -- matrix/.salvando-*; [ -e \"$1\" ]"},
                          {"trocando", "[ -e data/malha-incompleta ]"}};
    for (const Fase& f : fases) {
        SCOPED_TRACE(f.nome);
        const auto r = sh(ws, "$MALHA calibrar captura.png --substituir > o 2>&1 & p=$!; until " +
                                  std::string(f.espera) +
                                  " || ! kill -0 $p 2>/dev/null; do :; done; kill -TERM $p; "
                                  "wait $p; echo $?");
        EXPECT_TRUE(r.out == "143\n" || r.out == "0\n") << r.out;
        EXPECT_TRUE(escondidos(ws.dir()).empty()) << escondidos(ws.dir()).front();
        EXPECT_FALSE(fs::exists(ws / "data/malha-incompleta"));
        EXPECT_EQ(0, teste::run(MALHA_PATH, {"verificar"}, "", ws.dir()).status);
    }

    // SIGKILL while the files replace each other: the mark stays, and every reader refuses the
    // mesh until a whole one is made. The replacement lasts a few milliseconds: tried until the
    // signal lands in it.
    for (int vez = 0; vez < 10 && !fs::exists(ws / "data/malha-incompleta"); ++vez)
        sh(ws, "$MALHA calibrar captura.png --substituir > o 2>&1 & p=$!; until [ -e "
               "data/malha-incompleta ] || ! kill -0 $p 2>/dev/null; do :; done; kill -KILL $p; "
               "wait $p");
    ASSERT_TRUE(fs::exists(ws / "data/malha-incompleta"));
    const auto corrigir = teste::run(CORRIGIR_PATH, {}, "x.png\n", ws.dir());
    EXPECT_EQ(1, corrigir.status);
    EXPECT_NE(std::string::npos, corrigir.err.find("a malha está incompleta")) << corrigir.err;
    EXPECT_FALSE(fs::exists(ws / "result.jpg"));
    const auto lote = teste::run(CORRIGIR_LOTE_PATH, {"x.png"}, "", ws.dir());
    EXPECT_EQ(1, lote.status);
    EXPECT_NE(std::string::npos, lote.err.find("a malha está incompleta")) << lote.err;
    const auto video = teste::run(CORRIGIR_VIDEO_PATH, {"x.mkv", "y.mkv"}, "", ws.dir());
    EXPECT_EQ(1, video.status);
    EXPECT_NE(std::string::npos, video.err.find("a malha está incompleta")) << video.err;
    const auto verificar = teste::run(MALHA_PATH, {"verificar"}, "", ws.dir());
    EXPECT_EQ(1, verificar.status);
    EXPECT_NE(std::string::npos, verificar.out.find("a malha está incompleta")) << verificar.out;
    EXPECT_EQ(1, teste::run(MALHA_PATH, {"matrizes", "--substituir"}, "", ws.dir()).status);
    ASSERT_EQ(
        0,
        teste::run(MALHA_PATH, {"calibrar", "captura.png", "--substituir"}, "", ws.dir()).status);
    EXPECT_FALSE(fs::exists(ws / "data/malha-incompleta"));
    EXPECT_EQ(0, teste::run(CORRIGIR_PATH, {}, "x.png\n", ws.dir()).status);
}

TEST(Tools_Seguranca, names_are_escaped_on_standard_output_as_on_standard_error)
{
    teste::Workspace ws;
    preparar(ws);
    const std::string nome = "c\x1b]0;titulo\x07.png";
    ws.write(nome, cv::Mat(200, 200, CV_8UC3, cv::Scalar::all(128)));
    const auto r = teste::run(MALHA_PATH, {"calibrar", nome}, "", ws.dir());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(std::string::npos, r.out.find('\x1b')) << "no raw escape on standard output";
    EXPECT_EQ(std::string::npos, r.err.find('\x1b'));
    EXPECT_NE(std::string::npos, r.out.find("c\\x1b]0;titulo\\x07.png")) << r.out;
}
