// malha verificar: the report to read before a correction run.
#include "authoring/mesh_check.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <cstdio>

namespace corretor {

namespace {

void imprimirContagens(const Verificacao& v)
{
    if (v.nosOrigem >= 0 && v.nosDestino >= 0)
        std::printf("nós: %d na origem (\"data/verticesamp4.txt\"), %d no destino "
                    "(\"data/vertices2.txt\")\n",
                    v.nosOrigem, v.nosDestino);
    if (v.triangulos < 0) return;
    std::printf("triângulos: %d em \"data/quelvarina.txt\"; ", v.triangulos);
    if (v.triangulos == 64)
        std::printf("com exatamente 64, o programa de correção não mostra o pedido do nome da "
                    "imagem (mas lê o nome do mesmo jeito)\n");
    else
        std::printf("o programa de correção mostrará o pedido do nome da imagem\n");
}

void imprimirDesvios(const Verificacao& v)
{
    if (v.desvios.empty()) return;
    std::printf("desvio de cada mapa (maior distância, em pixels, entre os vértices de origem "
                "levados pelo mapa e os de destino; tolerado: %g, ou o que as seis casas "
                "decimais dos arquivos permitem nas coordenadas do triângulo):\n",
                kDesvioTolerado);
    for (const auto& d : v.desvios) {
        if (d.falta.empty())
            std::printf("  triângulo %d (nós %s): %.6f\n", d.triangulo, d.nos.c_str(), d.desvio);
        else
            std::printf("  triângulo %d (nós %s): %s\n", d.triangulo, d.nos.c_str(),
                        d.falta.c_str());
    }
}

} // namespace

int malhaVerificar(const Argumentos& argumentos)
{
    std::vector<std::string> opcoes;
    if (!lerSoOpcoes(argumentos, {}, opcoes)) return kSaidaUso;
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Leitura)) return kSaidaFalha;
    // A replacement cut short leaves files that may each look sound.
    if (!malhaCompleta()) {
        std::printf("problema: %s\n", motivoFalha().c_str());
        limparFalha();
        std::printf("1 problema encontrado\n");
        return kSaidaFalha;
    }

    const Verificacao v = verificarMalha();
    imprimirContagens(v);
    imprimirDesvios(v);
    for (const auto& a : v.achados)
        std::printf("%s: %s\n", a.tipo == Problema::Sentido ? "observação" : "problema",
                    a.texto.c_str());
    const int problemas = v.problemas();
    if (problemas == 0)
        std::printf("nenhum problema encontrado\n");
    else
        std::printf("%d %s\n", problemas,
                    problemas == 1 ? "problema encontrado" : "problemas encontrados");
    limparFalha();
    return problemas == 0 ? kSaidaOk : kSaidaFalha;
}

} // namespace corretor
