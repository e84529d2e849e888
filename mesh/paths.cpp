#include "mesh/paths.h"

#include "mesh/mesh_store.h"

#include "utilities/report.h"

#include <algorithm>
#include <filesystem>

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

std::string caminhoDaMalhaIncompleta(const std::string& pasta)
{
    const std::string local = caminhoLocal("data\\malha-incompleta");
    return pasta == "." ? local : pasta + "/" + local;
}

bool malhaCompleta(const std::string& pasta)
{
    const std::string marca = caminhoDaMalhaIncompleta(pasta);
    std::error_code erro;
    if (!std::filesystem::exists(std::filesystem::symlink_status(marca, erro))) return true;
    falhar("a malha está incompleta: a substituição dos seus arquivos foi interrompida e \"" +
           marca +
           "\" ficou para dizê-lo; faça a malha de novo (\"malha calibrar CAPTURA "
           "--substituir\", ou os arquivos à mão e depois apague \"" +
           marca + "\")");
    return false;
}

} // namespace corretor
