// malha triangular: the triangle file from the two vertex files.
#include "authoring/mesh_check.h"
#include "authoring/triangulation.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace corretor {

int malhaTriangular(const Argumentos& argumentos)
{
    std::vector<std::string> opcoes;
    if (!lerSoOpcoes(argumentos, {"--substituir"}, opcoes)) return kSaidaUso;
    const bool substituir = !opcoes.empty();

    const std::string arquivo = caminhoLocal("data\\quelvarina.txt");
    std::error_code erro;
    if (!substituir && std::filesystem::exists(arquivo, erro)) {
        falhar("\"" + arquivo +
               "\" já existe; para trocá-lo, use \"malha triangular "
               "--substituir\"");
        return kSaidaFalha;
    }

    limparMalha();
    int nosOrigem = 0, nosDestino = 0;
    if (!carregarVertices(nosOrigem, nosDestino)) return kSaidaFalha;
    if (nosOrigem != nosDestino) {
        falhar(nosDiferentes(nosOrigem, nosDestino) +
               "; os dois arquivos devem listar os mesmos nós, na mesma ordem");
        return kSaidaFalha;
    }
    std::vector<Triangulo> triangulos;
    if (!triangularParaOArquivo(nosDestino, triangulos)) return kSaidaFalha;

    if (!gravarArquivoInteiro(arquivo, textoDosTriangulos(triangulos))) return kSaidaFalha;
    std::printf("%zu triângulos sobre %d nós gravados em \"%s\"\n", triangulos.size(), nosDestino,
                arquivo.c_str());
    return kSaidaOk;
}

} // namespace corretor
