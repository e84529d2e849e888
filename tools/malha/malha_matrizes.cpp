// malha matrizes: the 99 matrix files from the vertex and triangle files.
#include "authoring/affine_maps.h"
#include "authoring/index_ranges.h"
#include "authoring/mesh_check.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/file_read.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace corretor {

namespace {

// Triangles whose matrix file already holds something other than white space.
std::vector<int> arquivosComMapa()
{
    std::vector<int> comMapa;
    for (int t = 0; t < kTriangulos; ++t) {
        nomeArquivo(t);
        std::string texto, motivo;
        // One that cannot be read is not looked into: appending to it reports it.
        if (!lerArquivo(caminhoLocal(arq3), texto, kLimiteDeArquivoDaMalha, motivo)) continue;
        for (unsigned char c : texto)
            if (!std::isspace(c)) {
                comMapa.push_back(t);
                break;
            }
    }
    return comMapa;
}

} // namespace

int malhaMatrizes(const Argumentos& argumentos)
{
    std::vector<std::string> opcoes;
    if (!lerSoOpcoes(argumentos, {"--substituir"}, opcoes)) return kSaidaUso;
    const bool substituir = !opcoes.empty();
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Escrita) || !malhaCompleta()) return kSaidaFalha;

    MalhaNova malha;
    if (!lerMalhaDaPasta(malha, true)) return kSaidaFalha;
    if (malha.origem.size() != malha.destino.size())
        avisar(nosDiferentes(static_cast<int>(malha.origem.size()),
                             static_cast<int>(malha.destino.size())) +
               "; os nós que faltam num deles valem (0, 0) nos mapas");
    const std::vector<int> antigos = substituir ? std::vector<int>{} : arquivosComMapa();

    gerarMapas(malha);
    for (int ttt = 0; ttt < kTriangulos; ++ttt)
        std::printf("ttt = %d\n", ttt);
    std::fflush(stdout);
    if (substituir ? !gravarMalha(malha, kMapas) : anexarMapas(malha) < kTriangulos)
        return kSaidaFalha;
    const std::string pasta = caminhoLocal("matrix");
    if (!antigos.empty()) {
        avisar("os arquivos de matriz dos triângulos " + faixasDeIndices(antigos) +
               " já tinham mapas; os novos foram anexados depois deles, mas o programa de "
               "correção lê só as duas primeiras linhas e continuará com os antigos. Para "
               "usar os novos: malha matrizes --substituir");
    }
    std::printf("mapas gravados em \"%s/0.txt\" a \"%s/98.txt\"\n", pasta.c_str(), pasta.c_str());
    return kSaidaOk;
}

} // namespace corretor
