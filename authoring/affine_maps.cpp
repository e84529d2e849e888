#include "authoring/affine_maps.h"

#include "authoring/affine_solve.h"
#include "authoring/index_ranges.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"

#include <string>
#include <vector>

namespace corretor {

FILE* fw;

namespace {

// Slot t of the triangle list: one of the mesh's triangles, or empty (0 0 0) past them.
Triangulo triangulo(const MalhaNova& malha, int t)
{
    return t < static_cast<int>(malha.triangulos.size()) ? malha.triangulos[t] : Triangulo{};
}

std::string nosDe(const Triangulo& t)
{
    return std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]);
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

std::vector<std::string> textosDosMapas(const MalhaNova& malha)
{
    std::vector<std::string> textos;
    std::vector<int> vazios;
    for (int ttt = 0; ttt < kTriangulos; ++ttt) {
        const Triangulo t = triangulo(malha, ttt);
        Ponto origem[3], destino[3];
        for (int k = 0; k < 3; ++k) {
            origem[k] = malha.noDeOrigem(t[k]);
            destino[k] = malha.noDeDestino(t[k]);
        }
        st_mat mapa;
        double erro = 0;
        const Solucao solucao = mapaDoTriangulo(origem, destino, mapa, erro);
        const bool vazio = t[0] == 0 && t[1] == 0 && t[2] == 0;
        if (solucao == Solucao::SemMapa && vazio) {
            vazios.push_back(ttt);
        } else if (solucao == Solucao::SemMapa) {
            nomeArquivo(ttt);
            avisar("triângulo " + std::to_string(ttt) + " (nós " + nosDe(t) +
                   "): os vértices de origem estão numa reta ou coincidem; sem mapa, \"" +
                   caminhoLocal(arq3) + "\" recebe valores não finitos");
        } else if (erro > kDesvioAceito) {
            avisar("triângulo " + std::to_string(ttt) + " (nós " + nosDe(t) +
                   "): o mapa leva os vértices a até " + std::to_string(erro) +
                   " pixel dos de destino; o triângulo é estreito demais para a precisão dos "
                   "coeficientes");
        }
        textos.push_back(linhasDoMapa(mapa));
    }
    if (!vazios.empty())
        avisar("triângulos vazios (0 0 0) não têm mapa; seus arquivos recebem valores não "
               "finitos: " +
               faixasDeIndices(vazios));
    return textos;
}

int gerarMatriz(bool substituir)
{
    MalhaNova malha = malhaDasTabelas();
    gerarMapas(malha);
    for (int ttt = 0; ttt < kTriangulos; ++ttt)
        std::printf("ttt = %d\n", ttt);
    if (substituir) return gravarMalha(malha, kMapas) ? kTriangulos : 0;
    return anexarMapas(malha);
}

} // namespace corretor
