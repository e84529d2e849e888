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

std::vector<std::string> textosDosMapas()
{
    std::vector<std::string> textos;
    std::vector<int> vazios;
    for (int ttt = 0; ttt < kTriangulos; ++ttt) {
        Ponto origem[3], destino[3];
        for (int k = 0; k < 3; ++k) {
            origem[k] = pontoDe(vert, trg[ttt][k]);
            destino[k] = pontoDe(vert2, trg[ttt][k]);
        }
        nomeArquivo(ttt);
        st_mat mapa;
        double erro = 0;
        const Solucao solucao = mapaDoTriangulo(origem, destino, mapa, erro);
        if (solucao == Solucao::SemMapa && vazio(ttt)) {
            vazios.push_back(ttt);
        } else if (solucao == Solucao::SemMapa) {
            avisar("triângulo " + std::to_string(ttt) + " (nós " + nosDe(ttt) +
                   "): os vértices de origem estão numa reta ou coincidem; sem mapa, \"" +
                   caminhoLocal(arq3) + "\" recebe valores não finitos");
        } else if (erro > kDesvioAceito) {
            avisar("triângulo " + std::to_string(ttt) + " (nós " + nosDe(ttt) +
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
    const std::vector<std::string> textos = textosDosMapas();
    for (int ttt = 0; ttt < kTriangulos; ++ttt)
        std::printf("ttt = %d\n", ttt);
    std::vector<ArquivoNovo> arquivos;
    for (int t = 0; t < kTriangulos; ++t) {
        nomeArquivo(t);
        arquivos.push_back({caminhoLocal(arq3), textos[t]});
    }
    if (substituir) return gravarArquivosJuntos(arquivos) ? kTriangulos : 0;

    // Appended one by one, each whole or not at all.
    int gravados = 0, falhas = 0;
    std::string primeiraFalha;
    for (const auto& arquivo : arquivos) {
        if (anexarTexto(fw, arquivo.caminho, arquivo.conteudo))
            ++gravados;
        else if (falhas++ == 0)
            primeiraFalha = "\"" + arquivo.caminho + "\": " + textoDoErro(errno);
    }
    if (falhas > 0)
        falhar("não foi possível gravar " + std::to_string(falhas) + " de 99 arquivos de " +
               "matriz; o primeiro: " + primeiraFalha +
               (gravados == 0 ? "; nenhum arquivo recebeu mapa novo"
                              : "; " + std::to_string(gravados) + " receberam os mapas novos"));
    return gravados;
}

} // namespace corretor
