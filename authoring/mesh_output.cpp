#include "authoring/mesh_output.h"

#include "authoring/affine_maps.h"
#include "authoring/triangulation.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"
#include "utilities/working_folder.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace corretor {

namespace fs = std::filesystem;

std::string textoDosNos(const std::vector<cv::Point>& nos)
{
    std::string texto;
    for (const auto& p : nos)
        texto += std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
    return texto;
}

bool arquivosDaMalha(const std::vector<cv::Point>& origem, const std::vector<cv::Point>& destino,
                     bool triangular, std::vector<ArquivoNovo>& arquivos)
{
    const int n = static_cast<int>(destino.size());
    if (origem.size() != destino.size() || n >= kNos) {
        falhar("a malha precisa do mesmo número de nós na origem e no destino, no máximo 63");
        return false;
    }
    const std::vector<std::string> nomes = nomesDaMalha();
    if (triangular) {
        for (auto& t : trg)
            t[0] = t[1] = t[2] = 0;
    }
    for (int k = 0; k < kNos; ++k) {
        const bool usado = k >= 1 && k <= n;
        vert[k][0] = usado ? origem[k - 1].x : 0;
        vert[k][1] = usado ? origem[k - 1].y : 0;
        vert2[k][0] = usado ? destino[k - 1].x : 0;
        vert2[k][1] = usado ? destino[k - 1].y : 0;
    }
    arquivos = {{nomes[0], textoDosNos(origem)}, {nomes[1], textoDosNos(destino)}};
    if (triangular) {
        std::vector<Triangulo> triangulos;
        if (!triangularParaOArquivo(n, triangulos)) return false;
        for (std::size_t t = 0; t < triangulos.size(); ++t)
            for (int c = 0; c < 3; ++c)
                trg[t][c] = triangulos[t][c];
        arquivos.push_back({nomes[2], textoDosTriangulos(triangulos)});
    }
    const std::vector<std::string> mapas = textosDosMapas();
    for (int t = 0; t < kTriangulos; ++t)
        arquivos.push_back({nomes[3 + t], mapas[t]});
    return true;
}

bool verificarEGravar(const std::vector<ArquivoNovo>& arquivos, Verificacao& verificacao)
{
    std::string modelo = ".malha-verificando-XXXXXX";
    if (mkdtemp(modelo.data()) == nullptr) {
        falhar("não foi possível criar uma pasta temporária na pasta de trabalho: " +
               textoDoErro(errno));
        return false;
    }
    const fs::path temporaria = modelo;
    std::error_code erro;
    bool ok = fs::create_directory(temporaria / "data", erro) &&
              fs::create_directory(temporaria / "matrix", erro);
    for (const std::string& nome : nomesDaMalha()) {
        if (!ok) break;
        const auto novo = std::find_if(arquivos.begin(), arquivos.end(),
                                       [&](const ArquivoNovo& a) { return a.caminho == nome; });
        if (novo != arquivos.end())
            ok = gravarArquivoInteiro((temporaria / nome).string(), novo->conteudo);
        else if (fs::is_regular_file(nome, erro))
            ok = fs::copy_file(nome, temporaria / nome, erro);
    }
    if (!ok && !houveFalha())
        falhar("não foi possível preparar a verificação em \"" + temporaria.string() +
               "\": " + textoDoErro(erro.value()));
    ok = ok && trabalharEm(temporaria, [&] {
             verificacao = verificarMalha();
             limparFalha();
             return true;
         });
    fs::remove_all(temporaria, erro);
    if (!ok) return false;
    if (verificacao.problemas() > 0) {
        for (const auto& a : verificacao.achados)
            if (a.tipo != Problema::Sentido) {
                falhar("a malha feita não passou na verificação, e nada foi gravado: " + a.texto);
                break;
            }
        return false;
    }
    for (const char* pasta : {"data", "matrix"})
        if (!fs::is_directory(pasta, erro) && !fs::create_directory(pasta, erro)) {
            falhar("não foi possível criar a pasta \"" + std::string(pasta) +
                   "\": " + textoDoErro(erro.value()));
            return false;
        }
    return gravarArquivosJuntos(arquivos);
}

} // namespace corretor
