// The command line of corrigir-lote: reads the options and the images, loads the mesh and the
// pattern once, runs the batch (correction/batch.h) with one worker per core and shows its
// progress.
#include "tools/corrigir/batch_cli.h"

#include "correction/batch.h"
#include "correction/batch_list.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/corrigir/driver_cli.h"
#include "utilities/command_line.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace corretor {

namespace {

const char* const kUso =
    "uso: corrigir-lote [-o PASTA] IMAGEM...\n"
    "     corrigir-lote [-o PASTA] [--lista ARQUIVO] [--parte K/N] [--pular-existentes]\n"
    "                   [--interpolado[=FILTRO]] [--suave] [IMAGEM...]\n"
    "\n"
    "Corrige cada IMAGEM com a malha e o padrão da pasta de trabalho (os mesmos arquivos que\n"
    "corrigir lê, carregados uma vez só) e grava o resultado de \"fotos/a.png\" em\n"
    "\"PASTA/a.jpg\", idêntico ao \"result.jpg\" que corrigir gravaria para ela. Uma imagem que\n"
    "falha é relatada e as outras seguem. Sai com 0 quando todas foram corrigidas, 1 quando\n"
    "alguma falhou e 2 quando a linha de comando não serve (dois resultados com o mesmo nome,\n"
    "uma imagem na pasta dos resultados, ou um resultado no lugar do padrão ou de um arquivo\n"
    "da malha, em qualquer parte da lista, também).\n"
    "\n"
    "  -o PASTA            pasta dos resultados, criada se faltar (padrão: \"resultados\")\n"
    "  --lista ARQUIVO     lê os nomes das imagens de ARQUIVO (\"-\": da entrada padrão), um\n"
    "                      por linha, como estão (espaços inclusive); linhas vazias são puladas\n"
    "                      (até 1 GiB por lista e 6 milhões de nomes no lote)\n"
    "  --parte K/N         corrige só a parte K de N (1 <= K <= N): a parte de uma imagem\n"
    "                      depende só do seu nome, e as partes 1 a N juntas corrigem cada\n"
    "                      imagem uma vez (para dividir um lote entre máquinas)\n"
    "  --pular-existentes  pula a imagem cujo resultado é um JPEG inteiro, do tamanho do\n"
    "                      padrão, mais novo que ela, que os arquivos da malha e que o padrão\n"
    "                      (para retomar um lote interrompido); refaz qualquer outro\n";

int erroDeUso(const std::string& motivo)
{
    return corretor::erroDeUso("corrigir-lote", motivo);
}

int falhaAntesDoLote()
{
    relatarFalha("corrigir-lote");
    return kSaidaFalha;
}

struct Opcoes
{
    std::string pasta = "resultados";
    std::vector<std::string> imagens; // named on the command line
    std::vector<std::string> listas;  // list files, read after the options
    int parte = 1, partes = 1;
    bool pularExistentes = false;
    std::optional<Interpolacao> interpolacao;
    bool suave = false;
};

// Reads the command line into `opcoes`. Returns -1 to go on, or the exit status (usage shown,
// or refused).
int lerOpcoes(int argc, const char* const* argv, Opcoes& opcoes)
{
    bool soNomes = false; // after "--" every word is an image
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        // The value of an option that takes one, or null when it is missing.
        const auto valor = [&]() -> const char* {
            return i + 1 == argc || argv[i + 1][0] == '\0' ? nullptr : argv[++i];
        };
        if (soNomes || a.size() < 2 || a[0] != '-') {
            opcoes.imagens.push_back(a);
        } else if (a == "--") {
            soNomes = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUso, stdout);
            std::fputs(kUsoInterpolado, stdout);
            return kSaidaOk;
        } else if (a == "-o") {
            const char* pasta = valor();
            if (pasta == nullptr) return erroDeUso("falta a pasta depois de -o");
            opcoes.pasta = pasta;
        } else if (a == "--lista") {
            const char* lista = valor();
            if (lista == nullptr) return erroDeUso("falta o arquivo depois de --lista");
            opcoes.listas.emplace_back(lista);
        } else if (a == "--parte") {
            const char* parte = valor();
            if (parte == nullptr) return erroDeUso("falta K/N depois de --parte");
            if (!lerParte(parte, opcoes.parte, opcoes.partes))
                return erroDeUso("parte inválida \"" + std::string(parte) +
                                 "\" (K/N, com 1 <= K <= N <= 1000000)");
        } else if (a == "--pular-existentes") {
            opcoes.pularExistentes = true;
        } else if (opcaoInterpolado(a, opcoes.interpolacao)) {
            if (!opcoes.interpolacao) return erroDeUso(filtroDesconhecido(a));
        } else if (a == "--suave") {
            opcoes.suave = true;
        } else {
            return erroDeUso("opção desconhecida \"" + a + "\"");
        }
    }
    return -1;
}

} // namespace

int executarLote(int argc, const char* const* argv)
{
    limparFalha();
    Opcoes opcoes;
    const int saida = lerOpcoes(argc, argv, opcoes);
    if (saida >= 0) return saida;
    if (opcoes.imagens.empty() && opcoes.listas.empty())
        return erroDeUso("nenhuma imagem para corrigir");
    const std::string& pasta = opcoes.pasta;
    std::vector<std::string> imagens;
    // Judged over the whole batch, so that every part of it refuses the same lists.
    switch (lerLote(opcoes.imagens, opcoes.listas, pasta, opcoes.parte, opcoes.partes, imagens)) {
    case Lote::Lido:
        break;
    case Lote::Ilegivel:
        return falhaAntesDoLote();
    case Lote::Recusado:
        return erroDeUso(motivoFalha());
    }

    if (!lerMalhaDaAreaDeTrabalho()) return falhaAntesDoLote();
    const Imagem padrao = abrir(caminhoLocal(filename2).c_str());
    if (padrao == nullptr) return falhaAntesDoLote();
    std::error_code erro;
    fs::create_directories(pasta, erro);
    if (erro || !fs::is_directory(pasta)) {
        falhar("não foi possível criar a pasta \"" + pasta + "\"" +
               (erro ? ": " + textoDoErro(erro.value()) : ""));
        return falhaAntesDoLote();
    }
    int puladas = 0, refeitas = 0;
    if (opcoes.pularExistentes) {
        std::vector<std::string> dependencias = nomesDaMalha(); // and the pattern
        dependencias.push_back(caminhoLocal(filename2));
        const int64_t malha = maisRecente(dependencias);
        const auto emDia = [&](const std::string& imagem) {
            const Resultado r = estadoDoResultado(imagem, nomeDoResultado(imagem, pasta), malha,
                                                  padrao->width, padrao->height);
            refeitas += r == Resultado::Refazer;
            return r == Resultado::EmDia;
        };
        const auto fim = std::remove_if(imagens.begin(), imagens.end(), emDia);
        puladas = static_cast<int>(imagens.end() - fim);
        imagens.erase(fim, imagens.end());
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
    const int trabalhadores = nucleosDisponiveis();
    const auto avisarDe = [terminal](const std::string&, const std::string& texto) {
        if (terminal) std::printf("\r\033[K");
        avisar(texto);
    };
    const int corrigidas =
        corrigirLote(imagens, pasta, padrao.get(), trabalhadores, mostrar, relatar, avisarDe,
                     modoPedido(opcoes.interpolacao, opcoes.suave));
    std::printf("\n%d de %d imagens corrigidas em \"%s\"", corrigidas, total, pasta.c_str());
    if (puladas > 0) std::printf("; %d puladas, com o resultado em dia", puladas);
    if (refeitas > 0)
        std::printf("; %d refeitas, com o resultado incompleto ou desatualizado", refeitas);
    std::printf("\n");
    std::fflush(stdout);
    return corrigidas == total ? kSaidaOk : kSaidaFalha;
}

} // namespace corretor
