#include "authoring/affine_maps.h"

#include "authoring/affine_solve.h"
#include "authoring/index_ranges.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace corretor {

FILE* fw;

namespace {

std::string nosDe(int t)
{
    return std::to_string(trg[t][0]) + " " + std::to_string(trg[t][1]) + " " +
           std::to_string(trg[t][2]);
}

bool vazio(int t)
{
    return trg[t][0] == 0 && trg[t][1] == 0 && trg[t][2] == 0;
}

// The two lines of `mapa`, "%f %f %f\n" each.
std::string linhasDoMapa(const st_mat& mapa)
{
    std::string texto;
    for (const auto& linha : mapa.mat) {
        char buffer[3 * 64];
        std::snprintf(buffer, sizeof buffer, "%f %f %f\n", double(linha[0]), double(linha[1]),
                      double(linha[2]));
        texto += buffer;
    }
    return texto;
}

} // namespace

void gerarMatriz(bool substituir)
{
    std::vector<int> vazios;
    int falhas = 0;
    std::string primeiraFalha;

    for (int ttt = 0; ttt < kTriangulos; ++ttt) {
        Ponto origem[3], destino[3];
        for (int k = 0; k < 3; ++k) {
            origem[k] = pontoDe(vert, trg[ttt][k]);
            destino[k] = pontoDe(vert2, trg[ttt][k]);
        }
        std::printf("ttt = %d\n", ttt);

        nomeArquivo(ttt);
        const std::string caminho = caminhoLocal(arq3);

        st_mat mapa;
        double erro = 0;
        const Solucao solucao = mapaDoTriangulo(origem, destino, mapa, erro);
        if (solucao == Solucao::SemMapa && vazio(ttt)) {
            vazios.push_back(ttt);
        } else if (solucao == Solucao::SemMapa) {
            avisar("triângulo " + std::to_string(ttt) + " (nós " + nosDe(ttt) +
                   "): os vértices de origem estão numa reta ou coincidem; sem mapa, \"" + caminho +
                   "\" recebe valores não finitos");
        } else if (erro > kDesvioAceito) {
            avisar("triângulo " + std::to_string(ttt) + " (nós " + nosDe(ttt) +
                   "): o mapa leva os vértices a até " + std::to_string(erro) +
                   " pixel dos de destino; o triângulo é estreito demais para a precisão dos "
                   "coeficientes");
        }
        // Appended whole or not at all; replaced whole or not at all.
        const std::string texto = linhasDoMapa(mapa);
        const bool gravou = substituir ? substituirArquivo(caminho, texto.data(), texto.size())
                                       : anexarTexto(fw, caminho, texto);
        if (!gravou && falhas++ == 0)
            primeiraFalha = "\"" + caminho + "\": " + std::strerror(errno);
    }

    if (!vazios.empty())
        avisar("triângulos vazios (0 0 0) não têm mapa; seus arquivos recebem valores não "
               "finitos: " +
               faixasDeIndices(vazios));
    if (falhas > 0)
        falhar("não foi possível gravar " + std::to_string(falhas) + " de 99 arquivos de " +
               "matriz; o primeiro: " + primeiraFalha);
}

} // namespace corretor
