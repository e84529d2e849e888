// malha triangular: the triangle file from the two vertex files.
#include "authoring/mesh_check.h"
#include "authoring/mesh_value.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace corretor {

int malhaTriangular(const Argumentos& argumentos)
{
    std::vector<std::string> opcoes;
    if (!lerSoOpcoes(argumentos, {"--substituir"}, opcoes)) return kSaidaUso;
    const bool substituir = !opcoes.empty();
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Escrita) || !malhaCompleta()) return kSaidaFalha;

    const std::string arquivo = caminhoLocal("data\\quelvarina.txt");
    std::error_code erro;
    if (!substituir && std::filesystem::exists(arquivo, erro)) {
        falhar("\"" + arquivo +
               "\" já existe; para trocá-lo, use \"malha triangular "
               "--substituir\"");
        return kSaidaFalha;
    }

    MalhaNova malha;
    if (!lerMalhaDaPasta(malha, false)) return kSaidaFalha;
    if (malha.origem.size() != malha.destino.size()) {
        falhar(nosDiferentes(static_cast<int>(malha.origem.size()),
                             static_cast<int>(malha.destino.size())) +
               "; os dois arquivos devem listar os mesmos nós, na mesma ordem");
        return kSaidaFalha;
    }
    if (!triangular(malha) || !gravarMalha(malha, kTriangulosDaMalha)) return kSaidaFalha;
    std::printf("%zu triângulos sobre %zu nós gravados em \"%s\"\n", malha.triangulos.size(),
                malha.destino.size(), arquivo.c_str());
    return kSaidaOk;
}

} // namespace corretor
