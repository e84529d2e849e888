// malha demo: a complete workspace to try the correction on.
#include "calibration/sintetica/demo_scene.h"
#include "tools/malha/demo_workspace.h"
#include "tools/malha/malha_cli.h"
#include "utilities/angles.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <filesystem>

#include <cstdio>

namespace corretor {

int malhaDemo(const Argumentos& argumentos)
{
    std::string pasta;
    if (!lerUmaPalavra(argumentos, "a pasta onde criar a demonstração", pasta)) return kSaidaUso;
    // Into a folder that exists, as its one writer; a new folder appears whole, by one rename.
    TravaDaPasta trava;
    std::error_code erro;
    if (std::filesystem::is_directory(pasta, erro) &&
        !trava.travar(pasta, TravaDaPasta::Modo::Escrita))
        return kSaidaFalha;
    if (!criarDemo(pasta)) return kSaidaFalha;

    const Distorcao lente = distorcaoDaDemo();
    std::printf("demonstração criada em \"%s\": padrão \"data/pattern.jpg\" (%dx%d) e imagem a "
                "corrigir \"%s\" (%dx%d; distorção em barril k1 = %.2f, giro de %.1f graus, "
                "centro do campo em (%.1f, %.1f))\n",
                escaparControles(pasta).c_str(), kLadoDoPadrao, kLadoDoPadrao, kNomeDaAmostra,
                kLadoDaAmostra, kLadoDaAmostra, lente.k1, emGraus(lente.angulo), lente.centro.x,
                lente.centro.y);
    std::printf("para corrigi-la, rode o programa corrigir nessa pasta e digite %s\n",
                kNomeDaAmostra);
    return kSaidaOk;
}

} // namespace corretor
