// malha demo: a complete workspace to try the correction on.
#include "authoring/demo_scene.h"
#include "authoring/demo_workspace.h"
#include "authoring/malha_cli.h"
#include "utilities/report.h"

#include <cstdio>

namespace corretor {

int malhaDemo(const Argumentos& argumentos)
{
    std::string pasta;
    if (!lerUmaPalavra(argumentos, "a pasta onde criar a demonstração", pasta)) return kSaidaUso;
    if (!criarDemo(pasta)) return kSaidaFalha;

    const Distorcao lente = distorcaoDaDemo();
    std::printf("demonstração criada em \"%s\": padrão \"data/pattern.jpg\" (%dx%d) e imagem a "
                "corrigir \"%s\" (%dx%d; distorção em barril k1 = %.2f, giro de %.1f graus, "
                "centro do campo em (%.1f, %.1f))\n",
                pasta.c_str(), kLadoDoPadrao, kLadoDoPadrao, kNomeDaAmostra, kLadoDaAmostra,
                kLadoDaAmostra, lente.k1, lente.angulo * 180 / 3.14159265358979323846,
                lente.centro.x, lente.centro.y);
    std::printf("para corrigi-la, rode o programa corrigir nessa pasta e digite %s\n",
                kNomeDaAmostra);
    return kSaidaOk;
}

} // namespace corretor
