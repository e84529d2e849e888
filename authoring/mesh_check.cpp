#include "authoring/mesh_check.h"

#include "authoring/affine_solve.h"
#include "authoring/index_ranges.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "mesh/text_scanner.h"
#include "utilities/file_read.h"
#include "utilities/geometry.h"
#include "utilities/report.h"

#include <cmath>
#include <cstdio>
#include <limits>

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

// What one matrix file holds, read the way the loader reads it.
struct ArquivoDeMatriz
{
    bool legivel = false;
    st_mat mapa{};   // the first six numbers; zeros after the last one read
    int numeros = 0; // how many of those six were numbers
    int linhas = 0;  // lines holding anything but white space
};

ArquivoDeMatriz lerArquivoDeMatriz(int t)
{
    ArquivoDeMatriz arquivo;
    nomeArquivo(t);
    const std::string caminho = caminhoLocal(arq3);
    std::string texto, motivo;
    if (!lerArquivo(caminho, texto, kLimiteDeArquivoDaMalha, motivo)) return arquivo;
    arquivo.legivel = true;
    TextScanner leitor(texto, caminho);
    for (; arquivo.numeros < 6; ++arquivo.numeros)
        if (leitor.scanFloat(arquivo.mapa.mat[arquivo.numeros / 3][arquivo.numeros % 3]) !=
            ScanResult::Number)
            break;
    bool preenchida = false;
    for (const char c : texto) {
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
    Verificacao executar()
    {
        limparMalha();
        lerVertices();
        lerTriangulos();
        if (v_.nosOrigem >= 0 && v_.nosDestino >= 0 && v_.triangulos >= 0) {
            verificarTriangulos();
            verificarSobreposicoes();
        }
        verificarMatrizes();
        return v_;
    }

private:
    void achar(Problema tipo, const std::string& texto) { v_.achados.push_back({tipo, texto}); }

    // Turns a loader failure into a finding.
    void falhaDaLeitura()
    {
        achar(Problema::Leitura, motivoFalha());
        limparFalha();
    }

    std::string nomeDo(int t) const
    {
        return "triângulo " + std::to_string(t) + " (nós " + nos(t) + ")";
    }

    static std::string nos(int t)
    {
        return std::to_string(trg[t][0]) + " " + std::to_string(trg[t][1]) + " " +
               std::to_string(trg[t][2]);
    }

    void lerVertices()
    {
        limparFalha();
        int origem = -1, destino = -1;
        if (!carregarVertices(origem, destino)) falhaDaLeitura();
        v_.nosOrigem = origem;
        v_.nosDestino = destino;
        if (origem >= 0 && destino >= 0 && origem != destino)
            achar(Problema::Nos,
                  nosDiferentes(origem, destino) + "; os dois arquivos devem listar os mesmos nós");
    }

    void lerTriangulos()
    {
        v_.triangulos = carregarTriangulos();
        if (v_.triangulos < 0) falhaDaLeitura();
        if (v_.triangulos == 0)
            achar(Problema::Indice, "\"data/quelvarina.txt\" não tem triângulos");
    }

    Ponto origem(int t, int k) const { return pontoDe(vert, trg[t][k]); }
    Ponto destino(int t, int k) const { return pontoDe(vert2, trg[t][k]); }

    void verificarTriangulos()
    {
        const int existentes = std::min(v_.nosOrigem, v_.nosDestino);
        for (int t = 0; t < v_.triangulos; ++t) {
            bool indicesBons = true;
            for (int k = 0; k < 3 && indicesBons; ++k) {
                const int no = trg[t][k];
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
        for (int j = 1; j < v_.triangulos; ++j)
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
            const ArquivoDeMatriz arquivo = lerArquivoDeMatriz(t);
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
            if (t < v_.triangulos) desvioDe(t, arquivo);
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
        if (v_.nosOrigem < 0 || v_.nosDestino < 0) {
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
            } else if (d.desvio > kDesvioTolerado) {
                char texto[64];
                std::snprintf(texto, sizeof texto, "%.6g", d.desvio);
                achar(Problema::Desvio, nomeDo(t) + ": o mapa de \"matrix/" + std::to_string(t) +
                                            ".txt\" leva os vértices de origem a até " + texto +
                                            " pixels dos de destino");
            }
        }
        v_.desvios.push_back(d);
    }

    Verificacao v_;
    int sentidoOrigem_[kTriangulos] = {}; // winding sign in the source mesh; 0: unusable
};

} // namespace

std::string nosDiferentes(int origem, int destino)
{
    return "\"data/verticesamp4.txt\" tem " + std::to_string(origem) +
           " nós e \"data/vertices2.txt\" tem " + std::to_string(destino);
}

Verificacao verificarMalha()
{
    return Verificador().executar();
}

} // namespace corretor
