#include "tools/malha/demo_workspace.h"

#include "authoring/mesh_check.h"
#include "authoring/mesh_output.h"
#include "calibration/sintetica/demo_scene.h"
#include "correction/image_ops.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"
#include "utilities/working_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace corretor {

namespace fs = std::filesystem;

namespace {

bool gravarImagem(const char* nome, const cv::Mat& imagem)
{
    const IplImage cabecalho = cvIplImage(imagem);
    return save(nome, &cabecalho);
}

// The workspace's files, in the working directory: the two pictures and the vertex files,
// then the triangle and matrix files exactly as the malha subcommands make them.
bool preencher()
{
    std::error_code erro;
    if (!fs::create_directory("data", erro)) {
        falhar("não foi possível criar a pasta \"data\": " + textoDoErro(erro.value()));
        return false;
    }
    const Distorcao lente = distorcaoDaDemo();
    const cv::Mat padrao = desenharPadrao();
    if (!gravarImagem("data/pattern.jpg", padrao) ||
        !gravarImagem(kNomeDaAmostra, fotografarPadrao(padrao, lente)))
        return false;

    const std::vector<cv::Point> destino = nosDeDestino();
    std::vector<cv::Point> origem;
    origem.reserve(destino.size());
    for (const auto& p : destino)
        origem.push_back(noDeOrigem(lente, p));
    if (!gravarArquivoInteiro("data/verticesamp4.txt", textoDosNos(origem)) ||
        !gravarArquivoInteiro("data/vertices2.txt", textoDosNos(destino)))
        return false;

    if (malhaTriangular({}) != kSaidaOk || malhaMatrizes({}) != kSaidaOk) return false;
    const Verificacao verificacao = verificarMalha();
    for (const auto& achado : verificacao.achados)
        if (achado.tipo != Problema::Sentido) {
            limparFalha();
            falhar("a malha de demonstração não passou na verificação: " + achado.texto);
            return false;
        }
    return true;
}

// Puts the finished workspace in place: renames the temporary folder to `alvo` when `alvo` did
// not exist, else moves its entries into `alvo` (taking back those already moved if one fails).
bool publicar(const fs::path& temporaria, const fs::path& alvo, bool existe)
{
    std::error_code erro;
    if (!existe) {
        fs::rename(temporaria, alvo, erro);
        if (erro)
            falhar("não foi possível criar \"" + alvo.string() +
                   "\": " + textoDoErro(erro.value()));
        return !erro;
    }
    std::vector<fs::path> entradas;
    for (const auto& e : fs::directory_iterator(temporaria, erro))
        entradas.push_back(e.path());
    std::vector<fs::path> movidas;
    for (const auto& e : entradas) {
        const fs::path destino = alvo / e.filename();
        fs::rename(e, destino, erro);
        if (erro) {
            falhar("não foi possível mover \"" + e.filename().string() + "\" para \"" +
                   alvo.string() + "\": " + textoDoErro(erro.value()));
            for (const auto& m : movidas)
                fs::remove_all(m, erro);
            return false;
        }
        movidas.push_back(destino);
    }
    fs::remove(temporaria, erro);
    return true;
}

} // namespace

bool criarDemo(const std::string& pasta)
{
    std::error_code erro;
    fs::path alvo = fs::absolute(pasta, erro).lexically_normal();
    if (alvo.has_parent_path() && alvo.filename().empty()) alvo = alvo.parent_path();
    const bool existe = fs::exists(alvo, erro);
    if (existe && !(fs::is_directory(alvo, erro) && fs::is_empty(alvo, erro))) {
        falhar("\"" + pasta +
               "\" já existe e não é uma pasta vazia; a demonstração é criada só numa pasta "
               "nova ou vazia, para não misturar seus arquivos com outros");
        return false;
    }

    // Built in a hidden folder: beside `alvo` when it is absent, so that one rename puts the
    // whole workspace in place; inside it when it exists, so that it stays the same folder
    // (perhaps the working directory of the user's shell).
    const fs::path base = existe ? alvo : alvo.parent_path();
    std::string modelo = (base / ("." + alvo.filename().string() + ".criando-XXXXXX")).string();
    if (mkdtemp(modelo.data()) == nullptr) {
        falhar("não foi possível criar uma pasta temporária em \"" + base.string() +
               "\": " + textoDoErro(errno));
        return false;
    }
    // mkdtemp makes the folder for its owner only; give it the mode a new folder would get.
    chmod(modelo.c_str(), 0777 & ~mascaraDoProcesso());

    const fs::path temporaria = modelo;
    const bool ok = trabalharEm(temporaria, preencher) && publicar(temporaria, alvo, existe);
    if (!ok) fs::remove_all(temporaria, erro);
    return ok;
}

} // namespace corretor
