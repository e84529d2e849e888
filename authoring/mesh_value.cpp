#include "authoring/mesh_value.h"

#include "authoring/affine_maps.h"
#include "authoring/mesh_check.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <cerrno>
#include <filesystem>

namespace corretor {

namespace fs = std::filesystem;

namespace {

Ponto noDa(const std::vector<cv::Point>& nos, int k)
{
    if (k < 1 || k > static_cast<int>(nos.size())) return Ponto{0, 0};
    const cv::Point& p = nos[static_cast<std::size_t>(k - 1)];
    return Ponto{p.x, p.y};
}

std::vector<Ponto> pontos(const std::vector<cv::Point>& nos)
{
    std::vector<Ponto> p;
    p.reserve(nos.size());
    for (const auto& n : nos)
        p.push_back(Ponto{n.x, n.y});
    return p;
}

std::vector<cv::Point> nosDaTabela(const int (*tabela)[2], int quantos)
{
    std::vector<cv::Point> nos;
    nos.reserve(static_cast<std::size_t>(quantos));
    for (int k = 1; k <= quantos; ++k)
        nos.emplace_back(tabela[k][0], tabela[k][1]);
    return nos;
}

// `nome`, a workspace name with "\" separators, in the folder `pasta`; `pasta` itself for "".
std::string naPasta(const std::string& pasta, const char* nome)
{
    if (pasta.empty() || *nome == '\0') return pasta.empty() ? caminhoLocal(nome) : pasta;
    return (fs::path(pasta) / caminhoLocal(nome)).string();
}

std::string nomeDoMapa(const std::string& pasta, int t)
{
    nomeArquivo(t);
    return naPasta(pasta, arq3);
}

bool criarPasta(const std::string& pasta, const char* nome)
{
    const std::string caminho = naPasta(pasta, nome);
    std::error_code erro;
    if (fs::is_directory(caminho, erro) || fs::create_directory(caminho, erro)) return true;
    falhar("não foi possível criar a pasta \"" + caminho + "\": " + textoDoErro(erro.value()));
    return false;
}

} // namespace

Ponto MalhaNova::noDeOrigem(int k) const
{
    return noDa(origem, k);
}

Ponto MalhaNova::noDeDestino(int k) const
{
    return noDa(destino, k);
}

MalhaNova malhaDasTabelas()
{
    MalhaNova malha;
    malha.origem = nosDaTabela(vert, kNos - 1);
    malha.destino = nosDaTabela(vert2, kNos - 1);
    for (const auto& t : trg)
        malha.triangulos.push_back({t[0], t[1], t[2]});
    return malha;
}

bool lerMalhaDaPasta(MalhaNova& malha, bool comTriangulos)
{
    limparMalha();
    int nosOrigem = 0, nosDestino = 0;
    if (!carregarVertices(nosOrigem, nosDestino)) return false;
    malha = MalhaNova{};
    malha.origem = nosDaTabela(vert, nosOrigem);
    malha.destino = nosDaTabela(vert2, nosDestino);
    if (!comTriangulos) return true;
    const int triangulos = carregarTriangulos();
    if (triangulos < 0) return false;
    for (int t = 0; t < triangulos; ++t)
        malha.triangulos.push_back({trg[t][0], trg[t][1], trg[t][2]});
    return true;
}

bool triangular(MalhaNova& malha)
{
    if (malha.origem.size() != malha.destino.size() ||
        malha.destino.size() >= static_cast<std::size_t>(kNos)) {
        falhar("a malha precisa do mesmo número de nós na origem e no destino, no máximo 63");
        return false;
    }
    return triangularParaOArquivo(pontos(malha.origem), pontos(malha.destino), malha.triangulos);
}

void gerarMapas(MalhaNova& malha)
{
    malha.mapas = textosDosMapas(malha);
}

std::string textoDosNos(const std::vector<cv::Point>& nos)
{
    std::string texto;
    for (const auto& p : nos)
        texto += std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
    return texto;
}

bool gravarMalha(const MalhaNova& malha, unsigned partes, const std::string& pasta)
{
    std::vector<ArquivoNovo> arquivos;
    if (partes & kVerticesDeOrigem)
        arquivos.push_back({naPasta(pasta, "data\\verticesamp4.txt"), textoDosNos(malha.origem)});
    if (partes & kVerticesDeDestino)
        arquivos.push_back({naPasta(pasta, "data\\vertices2.txt"), textoDosNos(malha.destino)});
    if (partes & kTriangulosDaMalha)
        arquivos.push_back(
            {naPasta(pasta, "data\\quelvarina.txt"), textoDosTriangulos(malha.triangulos)});
    if (partes & kMapas)
        for (int t = 0; t < kTriangulos; ++t)
            arquivos.push_back({nomeDoMapa(pasta, t), malha.mapas.at(t)});
    if (!pasta.empty() && !criarPasta(pasta, "")) return false;
    if ((partes & (kVerticesDeOrigem | kVerticesDeDestino | kTriangulosDaMalha)) &&
        !criarPasta(pasta, "data"))
        return false;
    if ((partes & kMapas) && !criarPasta(pasta, "matrix")) return false;
    // A mesh whose files are replaced in part is wrong: the mark says so to the next reader.
    const std::string marca = arquivos.size() > 1 && criarPasta(pasta, "data")
                                  ? naPasta(pasta, caminhoDaMalhaIncompleta().c_str())
                                  : "";
    return gravarArquivosJuntos(arquivos, marca);
}

int anexarMapas(const MalhaNova& malha, const std::string& pasta)
{
    if ((!pasta.empty() && !criarPasta(pasta, "")) || !criarPasta(pasta, "matrix")) return 0;
    // Appended one by one, each whole or not at all.
    int gravados = 0, falhas = 0;
    std::string primeiraFalha;
    for (int t = 0; t < kTriangulos; ++t) {
        const std::string caminho = nomeDoMapa(pasta, t);
        if (anexarTexto(fw, caminho, malha.mapas.at(t)))
            ++gravados;
        else if (falhas++ == 0)
            primeiraFalha = "\"" + caminho + "\": " + textoDoErro(errno);
    }
    if (falhas > 0)
        falhar("não foi possível gravar " + std::to_string(falhas) + " de 99 arquivos de " +
               "matriz; o primeiro: " + primeiraFalha +
               (gravados == 0 ? "; nenhum arquivo recebeu mapa novo"
                              : "; " + std::to_string(gravados) + " receberam os mapas novos"));
    return gravados;
}

bool verificarEGravar(const MalhaNova& malha, unsigned partes, Verificacao& verificacao,
                      const std::string& pasta)
{
    verificacao = verificarMalha(malha);
    for (const auto& a : verificacao.achados)
        if (a.tipo != Problema::Sentido) {
            falhar("a malha feita não passou na verificação, e nada foi gravado: " + a.texto);
            return false;
        }
    return gravarMalha(malha, partes, pasta);
}

void carregarNasTabelas(const MalhaNova& malha)
{
    limparMalha();
    for (int k = 1; k < kNos; ++k) {
        const Ponto o = malha.noDeOrigem(k), d = malha.noDeDestino(k);
        vert[k][0] = o.x, vert[k][1] = o.y;
        vert2[k][0] = d.x, vert2[k][1] = d.y;
    }
    for (std::size_t t = 0; t < malha.triangulos.size() && t < std::size_t(kTriangulos); ++t)
        for (int c = 0; c < 3; ++c)
            trg[t][c] = malha.triangulos[t][c];
    for (std::size_t t = 0; t < malha.mapas.size() && t < std::size_t(kTriangulos); ++t) {
        std::string motivo;
        lerCoeficientes(malha.mapas[t], "", matrix[t], motivo);
    }
}

} // namespace corretor
