#include "mesh/paths.h"

#include "mesh/mesh_store.h"

#include <algorithm>

namespace corretor {

std::string caminhoLocal(const char* nome)
{
    std::string caminho(nome);
    std::replace(caminho.begin(), caminho.end(), '\\', '/');
    return caminho;
}

std::vector<std::string> nomesDaMalha()
{
    std::vector<std::string> nomes = {caminhoLocal("data\\verticesamp4.txt"),
                                      caminhoLocal("data\\vertices2.txt"),
                                      caminhoLocal("data\\quelvarina.txt")};
    for (int t = 0; t < kTriangulos; ++t) {
        nomeArquivo(t);
        nomes.push_back(caminhoLocal(arq3));
    }
    return nomes;
}

} // namespace corretor
