#include "authoring/mesh_check.h"

#include "authoring/affine_solve.h"
#include "authoring/index_ranges.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/file_read.h"
#include "utilities/geometry.h"
#include "utilities/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

namespace corretor {

int Verificacao::problemas() const
{
    int n = 0;
    for (const auto& a : achados)
        n += a.tipo != Problema::Sentido;
    return n;
}

namespace {

constexpr double kInfinito = std::numeric_limits<double>::infinity();

// What the files of a mesh hold, or would hold: read by the loader from the working folder, or
// made from a value. The checker's only input.
struct Conteudo
{
    int nosOrigem = -1, nosDestino = -1; // -1: not read
    int triangulos = -1;                 // -1: not read
    int vert[kNos][2] = {}, vert2[kNos][2] = {}, trg[kTriangulos][3] = {};
    std::vector<std::optional<std::string>> mapas; // 99 texts; none when unreadable
    std::vector<Achado> leitura;                   // what could not be read
};

// What one matrix file holds, read the way the loader reads it.
struct ArquivoDeMatriz
{
    bool legivel = false;
    st_mat mapa{};   // the first six numbers; zeros after the last one read
    int numeros = 0; // how many of those six were numbers
    int linhas = 0;  // lines holding anything but white space
};

ArquivoDeMatriz lerArquivoDeMatriz(const std::optional<std::string>& texto)
{
    ArquivoDeMatriz arquivo;
    if (!texto) return arquivo;
    arquivo.legivel = true;
    std::string motivo;
    arquivo.numeros = lerCoeficientes(*texto, "", arquivo.mapa, motivo);
    bool preenchida = false;
    for (const char c : *texto) {
        if (c == '\n') {
            arquivo.linhas += preenchida;
            preenchida = false;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') {
            preenchida = true;
        }
    }
    arquivo.linhas += preenchida;
    return arquivo;
}

class Verificador
{
public:
    explicit Verificador(const Conteudo& c) : c_(c) {}

    Verificacao executar()
    {
        v_.nosOrigem = c_.nosOrigem;
        v_.nosDestino = c_.nosDestino;
        v_.triangulos = c_.triangulos;
        v_.achados = c_.leitura;
        if (c_.nosOrigem >= 0 && c_.nosDestino >= 0 && c_.nosOrigem != c_.nosDestino)
            achar(Problema::Nos, nosDiferentes(c_.nosOrigem, c_.nosDestino) +
                                     "; os dois arquivos devem listar os mesmos nós");
        if (c_.triangulos == 0)
            achar(Problema::Indice, "\"data/quelvarina.txt\" não tem triângulos");
        if (c_.nosOrigem >= 0 && c_.nosDestino >= 0 && c_.triangulos >= 0) {
            verificarTriangulos();
            verificarSobreposicoes();
        }
        verificarMatrizes();
        return v_;
    }

private:
    void achar(Problema tipo, const std::string& texto) { v_.achados.push_back({tipo, texto}); }

    std::string nomeDo(int t) const
    {
        return "triângulo " + std::to_string(t) + " (nós " + nos(t) + ")";
    }

    std::string nos(int t) const
    {
        return std::to_string(c_.trg[t][0]) + " " + std::to_string(c_.trg[t][1]) + " " +
               std::to_string(c_.trg[t][2]);
    }

    Ponto origem(int t, int k) const { return pontoDe(c_.vert, c_.trg[t][k]); }
    Ponto destino(int t, int k) const { return pontoDe(c_.vert2, c_.trg[t][k]); }

    void verificarTriangulos()
    {
        const int existentes = std::min(c_.nosOrigem, c_.nosDestino);
        for (int t = 0; t < c_.triangulos; ++t) {
            bool indicesBons = true;
            for (int k = 0; k < 3 && indicesBons; ++k) {
                const int no = c_.trg[t][k];
                if (no == 0)
                    achar(Problema::Indice, nomeDo(t) + ": o nó 0 é reservado; os nós contam de 1");
                else if (no > existentes)
                    achar(Problema::Indice, nomeDo(t) + ": o nó " + std::to_string(no) +
                                                " não existe; os arquivos de vértices têm " +
                                                std::to_string(existentes));
                indicesBons = no >= 1 && no <= existentes;
            }
            sentidoOrigem_[t] = 0;
            if (!indicesBons) continue;

            const int o = orientacao(origem(t, 0), origem(t, 1), origem(t, 2));
            const int d = orientacao(destino(t, 0), destino(t, 1), destino(t, 2));
            if (o == 0)
                achar(Problema::Degenerado,
                      nomeDo(t) + ": os vértices de origem estão numa reta ou coincidem");
            if (d == 0)
                achar(Problema::Degenerado,
                      nomeDo(t) + ": os vértices de destino estão numa reta ou coincidem");
            if (o != 0 && d != 0 && o != d)
                achar(Problema::Dobra, nomeDo(t) + ": o sentido dos vértices se inverte entre a "
                                                   "malha de origem e a de destino (dobra)");
            if (o > 0)
                achar(Problema::Sentido,
                      nomeDo(t) + ": cantos em sentido horário na malha de origem; os pontos das "
                                  "suas arestas vão para outro triângulo que os aceite");
            sentidoOrigem_[t] = o;
        }
    }

    void verificarSobreposicoes()
    {
        for (int j = 1; j < c_.triangulos; ++j)
            for (int i = 0; i < j; ++i) {
                if (sentidoOrigem_[i] == 0 || sentidoOrigem_[j] == 0) continue;
                const Ponto a[3] = {origem(i, 0), origem(i, 1), origem(i, 2)};
                const Ponto b[3] = {origem(j, 0), origem(j, 1), origem(j, 2)};
                if (interioresSeCruzam(a, b))
                    achar(Problema::Sobreposicao,
                          "triângulos " + std::to_string(i) + " e " + std::to_string(j) +
                              " se sobrepõem na malha de origem; os pixels comuns vão para o " +
                              std::to_string(i) + ", o primeiro da lista");
            }
    }

    void verificarMatrizes()
    {
        std::vector<int> ausentes, longas;
        for (int t = 0; t < kTriangulos; ++t) {
            const ArquivoDeMatriz arquivo = lerArquivoDeMatriz(c_.mapas[t]);
            if (!arquivo.legivel) {
                ausentes.push_back(t);
                continue;
            }
            if (arquivo.numeros < 6)
                achar(Problema::MatrizCurta,
                      "\"matrix/" + std::to_string(t) + ".txt\" tem só " +
                          std::to_string(arquivo.numeros) +
                          " dos 6 coeficientes; o carregador completa com zeros");
            if (arquivo.linhas > 2) longas.push_back(t);
            if (t < c_.triangulos) desvioDe(t, arquivo);
        }
        if (!ausentes.empty())
            achar(Problema::MatrizAusente,
                  "faltam ou não se leem os arquivos de matriz \"matrix/<t>.txt\" dos triângulos " +
                      faixasDeIndices(ausentes));
        if (!longas.empty())
            achar(Problema::MatrizLonga,
                  "arquivos de matriz com mais de duas linhas (o carregador lê só as duas "
                  "primeiras; use \"malha matrizes --substituir\"): triângulos " +
                      faixasDeIndices(longas));
    }

    void desvioDe(int t, const ArquivoDeMatriz& arquivo)
    {
        DesvioDoTriangulo d{t, nos(t), kInfinito, ""};
        if (c_.nosOrigem < 0 || c_.nosDestino < 0) {
            d.falta = "vértices não lidos";
        } else if (sentidoOrigem_[t] == 0) {
            d.falta = "sem mapa: triângulo inválido ou degenerado";
        } else {
            Ponto o[3], p[3];
            for (int k = 0; k < 3; ++k) {
                o[k] = origem(t, k);
                p[k] = destino(t, k);
            }
            d.desvio = desvio(arquivo.mapa, o, p);
            if (!std::isfinite(d.desvio)) {
                d.falta = "mapa não finito";
                achar(Problema::NaoFinito, nomeDo(t) + ": \"matrix/" + std::to_string(t) +
                                               ".txt\" tem valores não finitos");
            } else if (d.desvio > desvioTolerado(arquivo.mapa, o, kDesvioTolerado)) {
                char texto[64];
                std::snprintf(texto, sizeof texto, "%.6g", d.desvio);
                achar(Problema::Desvio, nomeDo(t) + ": o mapa de \"matrix/" + std::to_string(t) +
                                            ".txt\" leva os vértices de origem a até " + texto +
                                            " pixels dos de destino");
            }
        }
        v_.desvios.push_back(d);
    }

    const Conteudo& c_;
    Verificacao v_;
    int sentidoOrigem_[kTriangulos] = {}; // winding sign in the source mesh; 0: unusable
};

// The loader's failure as a finding.
void falhaDaLeitura(Conteudo& c)
{
    c.leitura.push_back({Problema::Leitura, motivoFalha()});
    limparFalha();
}

void copiar(const int (*de)[2], int (*para)[2])
{
    std::memcpy(para, de, sizeof(int) * kNos * 2);
}

} // namespace

std::string nosDiferentes(int origem, int destino)
{
    return "\"data/verticesamp4.txt\" tem " + std::to_string(origem) +
           " nós e \"data/vertices2.txt\" tem " + std::to_string(destino);
}

Verificacao verificarMalha()
{
    Conteudo c;
    limparMalha();
    limparFalha();
    if (!carregarVertices(c.nosOrigem, c.nosDestino)) falhaDaLeitura(c);
    c.triangulos = carregarTriangulos();
    if (c.triangulos < 0) falhaDaLeitura(c);
    copiar(vert, c.vert);
    copiar(vert2, c.vert2);
    std::memcpy(c.trg, trg, sizeof c.trg);
    for (int t = 0; t < kTriangulos; ++t) {
        nomeArquivo(t);
        std::string texto, motivo;
        c.mapas.push_back(lerArquivo(caminhoLocal(arq3), texto, kLimiteDeArquivoDaMalha, motivo)
                              ? std::optional<std::string>(texto)
                              : std::nullopt);
    }
    return Verificador(c).executar();
}

Verificacao verificarMalha(const MalhaNova& malha)
{
    Conteudo c;
    c.nosOrigem = static_cast<int>(malha.origem.size());
    c.nosDestino = static_cast<int>(malha.destino.size());
    c.triangulos = static_cast<int>(malha.triangulos.size());
    if (std::max(c.nosOrigem, c.nosDestino) >= kNos)
        c.leitura.push_back({Problema::Leitura, "a malha tem mais de 63 nós"});
    if (c.triangulos > kTriangulos)
        c.leitura.push_back({Problema::Leitura, "a malha tem mais de 99 triângulos"});
    c.triangulos = std::min(c.triangulos, kTriangulos);
    for (int k = 1; k < kNos; ++k) {
        const Ponto o = malha.noDeOrigem(k), d = malha.noDeDestino(k);
        c.vert[k][0] = o.x, c.vert[k][1] = o.y;
        c.vert2[k][0] = d.x, c.vert2[k][1] = d.y;
    }
    for (int t = 0; t < c.triangulos; ++t)
        for (int k = 0; k < 3; ++k) {
            const int no = malha.triangulos[t][k];
            c.trg[t][k] = no;
            if (no < 0 || no >= kNos)
                c.leitura.push_back({Problema::Indice, "triângulo " + std::to_string(t) +
                                                           ": número de nó fora do intervalo de "
                                                           "0 a 63"});
        }
    for (int t = 0; t < kTriangulos; ++t)
        c.mapas.push_back(t < static_cast<int>(malha.mapas.size())
                              ? std::optional<std::string>(malha.mapas[t])
                              : std::nullopt);
    return Verificador(c).executar();
}

} // namespace corretor
