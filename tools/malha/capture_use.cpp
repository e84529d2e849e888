// What the subcommands that use a capture share: the user's turn, the picture they may write, and
// the check of a mesh against its capture.
#include "authoring/mesh_value.h"
#include "calibration/self_check.h"
#include "mesh/ampliacao.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace corretor {

bool lerGiro(const std::string& valor, double& giro)
{
    char* fim = nullptr;
    const double g = std::strtod(valor.c_str(), &fim);
    if (valor.empty() || *fim != '\0' || !std::isfinite(g) || g < -360 || g > 360) {
        falhar("--giro pede um número de graus de -360 a 360, não \"" + escaparControles(valor) +
               "\"");
        return false;
    }
    giro = g;
    return true;
}

bool podeGravarImagem(const std::string& nome, const char* opcao)
{
    namespace fs = std::filesystem;
    const std::string mostrado = escaparControles(nome);
    std::error_code erro;
    const fs::path caminho(nome);
    const fs::path pasta = caminho.has_parent_path() ? caminho.parent_path() : fs::path(".");
    bool ok = false;
    try {
        ok = cv::haveImageWriter(nome);
    } catch (const cv::Exception&) {
        ok = false;
    }
    if (!ok) {
        falhar(std::string(opcao) + " \"" + mostrado +
               "\": não sei gravar imagens com esse nome (use .png, .jpg, .bmp, .tif)");
        return false;
    }
    if (!fs::is_directory(pasta, erro)) {
        falhar(std::string(opcao) + " \"" + mostrado + "\": a pasta \"" +
               escaparControles(pasta.string()) + "\" não existe");
        return false;
    }
    if (fs::is_directory(caminho, erro)) {
        falhar(std::string(opcao) + " \"" + mostrado + "\" é uma pasta");
        return false;
    }
    return true;
}

bool conferirComACaptura(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                         const MalhaNova& malha, bool forcar)
{
    std::vector<cv::Point2d> origem;
    for (const cv::Point& v : malha.origem)
        origem.push_back(daAmpliada(v));
    std::vector<std::array<int, 3>> triangulos(malha.triangulos.begin(), malha.triangulos.end());
    const ConferenciaDaMalha c =
        conferirMalha(padrao, captura, nome, malha.destino, origem, triangulos);
    for (const std::string& aviso : c.avisos)
        avisar(aviso);
    if (c.confere) {
        std::printf("conferência com a captura: %d de %d trechos do padrão no lugar\n", c.achados,
                    c.trechos);
        return true;
    }
    if (forcar) {
        avisar(c.motivo + "; gravada assim mesmo (--forcar)");
        return true;
    }
    falhar(c.motivo + "; nada foi gravado (--forcar grava assim mesmo)");
    return false;
}

} // namespace corretor
