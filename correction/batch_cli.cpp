// The command line of corrigir-lote: reads the options and the images, loads the mesh and the
// pattern once, runs the batch (correction/batch.h) with one worker per core and shows its
// progress.
#include "correction/batch_cli.h"

#include "correction/batch.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/command_line.h"
#include "utilities/report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace corretor {

namespace {

const char* const kUso =
    "uso: corrigir-lote [-o PASTA] IMAGEM...\n"
    "\n"
    "Corrige cada IMAGEM com a malha e o padrão da pasta de trabalho (os mesmos arquivos que\n"
    "corrigir lê, carregados uma vez só) e grava o resultado de \"fotos/a.png\" em\n"
    "\"PASTA/a.jpg\", idêntico ao \"result.jpg\" que corrigir gravaria para ela. Uma imagem que\n"
    "falha é relatada e as outras seguem. Sai com 0 quando todas foram corrigidas, 1 quando\n"
    "alguma falhou e 2 quando a linha de comando não serve (dois resultados com o mesmo nome,\n"
    "ou um resultado no lugar de uma das imagens, do padrão ou de um arquivo da malha,\n"
    "também).\n"
    "\n"
    "  -o PASTA   pasta dos resultados, criada se faltar (padrão: \"resultados\")\n";

int erroDeUso(const std::string& motivo)
{
    return corretor::erroDeUso("corrigir-lote", motivo);
}

int falhaAntesDoLote()
{
    relatarFalha("corrigir-lote");
    return kSaidaFalha;
}

} // namespace

int executarLote(int argc, const char* const* argv)
{
    limparFalha();
    std::string pasta = "resultados";
    std::vector<std::string> imagens;
    bool soNomes = false; // after "--" every word is an image
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (soNomes || a.size() < 2 || a[0] != '-') {
            imagens.push_back(a);
        } else if (a == "--") {
            soNomes = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUso, stdout);
            return kSaidaOk;
        } else if (a == "-o") {
            if (i + 1 == argc || argv[i + 1][0] == '\0')
                return erroDeUso("falta a pasta depois de -o");
            pasta = argv[++i];
        } else {
            return erroDeUso("opção desconhecida \"" + a + "\"");
        }
    }
    if (imagens.empty()) return erroDeUso("nenhuma imagem para corrigir");
    if (!conferirNomes(imagens, pasta)) return erroDeUso(motivoFalha());

    carregaVetorVertices();
    if (houveFalha()) return falhaAntesDoLote();
    IplImage* padrao = open(caminhoLocal(filename2).c_str());
    if (padrao == nullptr) return falhaAntesDoLote();
    std::error_code erro;
    fs::create_directories(pasta, erro);
    if (erro || !fs::is_directory(pasta)) {
        free(padrao);
        falhar("não foi possível criar a pasta \"" + pasta + "\"" +
               (erro ? ": " + textoDoErro(erro.value()) : ""));
        return falhaAntesDoLote();
    }

    const bool terminal = isatty(STDOUT_FILENO) != 0;
    const auto mostrar = [terminal](int feitas, int total) {
        std::printf("%s%d/%d imagens", terminal ? "\r\033[K" : "\r", feitas, total);
        std::fflush(stdout);
    };
    const auto relatar = [terminal](const std::string&, const std::string& motivo) {
        if (terminal) std::printf("\r\033[K"); // the message takes the progress line's place
        falhar(motivo);
        relatarFalha("corrigir-lote");
        limparFalha();
    };
    const int total = static_cast<int>(imagens.size());
    mostrar(0, total);
    const int trabalhadores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const auto avisarDe = [terminal](const std::string&, const std::string& texto) {
        if (terminal) std::printf("\r\033[K");
        avisar(texto);
    };
    const int corrigidas =
        corrigirLote(imagens, pasta, padrao, trabalhadores, mostrar, relatar, avisarDe);
    free(padrao);
    std::printf("\n%d de %d imagens corrigidas em \"%s\"\n", corrigidas, total, pasta.c_str());
    std::fflush(stdout);
    return corrigidas == total ? kSaidaOk : kSaidaFalha;
}

} // namespace corretor
