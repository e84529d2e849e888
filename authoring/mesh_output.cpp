#include "authoring/mesh_output.h"

#include "authoring/affine_maps.h"
#include "authoring/triangulation.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace corretor {

namespace fs = std::filesystem;

namespace {

std::string textoDosNos(const std::vector<cv::Point>& nos)
{
    std::string texto;
    for (const auto& p : nos)
        texto += std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
    return texto;
}

// The map step prints a "ttt = <t>" line for each of the 99 triangles; a command that makes
// a whole mesh reports in lines of its own, so standard output is set aside while it runs.
// Its warnings go to standard error and stay.
std::vector<std::string> textosDosMapasEmSilencio()
{
    std::fflush(stdout);
    const int guardada = dup(STDOUT_FILENO);
    const int nulo = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (guardada >= 0 && nulo >= 0) dup2(nulo, STDOUT_FILENO);
    std::vector<std::string> textos = textosDosMapas();
    std::fflush(stdout);
    if (guardada >= 0 && nulo >= 0) dup2(guardada, STDOUT_FILENO);
    if (guardada >= 0) close(guardada);
    if (nulo >= 0) close(nulo);
    return textos;
}

// Runs verificarMalha in `pasta` as the working directory, then returns to the one it found.
bool verificarEm(const fs::path& pasta, Verificacao& verificacao)
{
    std::error_code erro;
    const fs::path antes = fs::current_path(erro);
    if (!erro) fs::current_path(pasta, erro);
    if (erro) {
        falhar("não foi possível entrar na pasta \"" + pasta.string() + "\": " + erro.message());
        return false;
    }
    verificacao = verificarMalha();
    fs::current_path(antes, erro);
    if (erro) {
        falhar("não foi possível voltar à pasta \"" + antes.string() + "\": " + erro.message());
        return false;
    }
    limparFalha();
    return true;
}

} // namespace

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
        if (!triangularMalha(n, triangulos)) return false;
        if (triangulos.size() > static_cast<std::size_t>(kTriangulos)) {
            falhar("a triangulação dos " + std::to_string(n) + " nós dá " +
                   std::to_string(triangulos.size()) +
                   " triângulos, e o arquivo de triângulos comporta 99; use menos nós");
            return false;
        }
        for (std::size_t t = 0; t < triangulos.size(); ++t)
            for (int c = 0; c < 3; ++c)
                trg[t][c] = triangulos[t][c];
        arquivos.push_back({nomes[2], textoDosTriangulos(triangulos)});
    }
    const std::vector<std::string> mapas = textosDosMapasEmSilencio();
    for (int t = 0; t < kTriangulos; ++t)
        arquivos.push_back({nomes[3 + t], mapas[t]});
    return true;
}

bool verificarEGravar(const std::vector<ArquivoNovo>& arquivos, Verificacao& verificacao)
{
    std::string modelo = ".malha-verificando-XXXXXX";
    if (mkdtemp(modelo.data()) == nullptr) {
        falhar("não foi possível criar uma pasta temporária na pasta de trabalho: " +
               std::string(std::strerror(errno)));
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
               "\": " + erro.message());
    ok = ok && verificarEm(temporaria, verificacao);
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
                   "\": " + erro.message());
            return false;
        }
    return gravarArquivosJuntos(arquivos);
}

} // namespace corretor
