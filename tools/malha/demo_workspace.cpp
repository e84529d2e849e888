#include "tools/malha/demo_workspace.h"

#include "authoring/mesh_check.h"
#include "authoring/mesh_value.h"
#include "calibration/sintetica/demo_scene.h"
#include "correction/image_ops.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace corretor {

namespace fs = std::filesystem;

namespace {

bool gravarImagem(const fs::path& nome, const cv::Mat& imagem)
{
    const IplImage cabecalho = cvIplImage(imagem);
    return save(nome.c_str(), &cabecalho);
}

// The workspace's files, in the folder `pasta`: the two pictures, then the mesh made and
// checked as "malha triangular" and "malha matrizes" make it, written as every mesh is.
bool preencher(const fs::path& pasta)
{
    std::error_code erro;
    if (!fs::create_directory(pasta / "data", erro)) {
        falhar("não foi possível criar a pasta \"data\": " + textoDoErro(erro.value()));
        return false;
    }
    const Distorcao lente = distorcaoDaDemo();
    const cv::Mat padrao = desenharPadrao();
    if (!gravarImagem(pasta / "data/pattern.jpg", padrao) ||
        !gravarImagem(pasta / kNomeDaAmostra, fotografarPadrao(padrao, lente)))
        return false;

    MalhaNova malha;
    malha.destino = nosDeDestino();
    for (const auto& p : malha.destino)
        malha.origem.push_back(noDeOrigem(lente, p));
    if (!triangular(malha)) return false;
    gerarMapas(malha);
    Verificacao verificacao;
    if (!verificarEGravar(malha, kTodaAMalha, verificacao, pasta.string())) {
        precederMotivo("a malha de demonstração: ");
        return false;
    }
    std::printf("%zu triângulos sobre %zu nós gravados em \"data/quelvarina.txt\"\n",
                malha.triangulos.size(), malha.destino.size());
    std::printf("mapas gravados em \"matrix/0.txt\" a \"matrix/98.txt\"\n");
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
    const bool ok = preencher(temporaria) && publicar(temporaria, alvo, existe);
    if (!ok) fs::remove_all(temporaria, erro);
    return ok;
}

} // namespace corretor
