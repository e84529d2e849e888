#include "mesh/paths.h"

#include <algorithm>

namespace corretor {

std::string caminhoLocal(const char* nome)
{
    std::string caminho(nome);
    std::replace(caminho.begin(), caminho.end(), '\\', '/');
    return caminho;
}

} // namespace corretor
