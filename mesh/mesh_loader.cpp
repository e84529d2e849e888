// The mesh loader: vertex files, triangle file and matrix files into the mesh store.
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "mesh/text_scanner.h"
#include "utilities/file_read.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <climits>
#include <string>

namespace corretor {

namespace {

// Reads the workspace file `nome` of the folder `pasta` ("" for the working directory) whole
// into `texto`, or records why it cannot.
bool ler(const std::string& pasta, const char* nome, std::string& caminho, std::string& texto)
{
    caminho = pasta.empty() ? caminhoLocal(nome) : pasta + "/" + caminhoLocal(nome);
    return lerArquivo(caminho, texto, kLimiteDeArquivoDaMalha);
}

// What a file of records may hold.
struct Limites
{
    int capacidade;      // rows of the table
    const char* excesso; // the problem when a record beyond them comes
    int menor, maior;    // range of every value
    const char* fora;    // the problem when a value lies outside it
};

// Reads records of N integers until end of file into rows 0, 1, ... of `destino`. Returns the
// number of records, or -1 after recording the error; nothing is written past row
// capacidade - 1. A record cut short by the end of the file counts; the values it lacks stay
// as they were.
template <int N> int lerRegistros(TextScanner& leitor, int (*destino)[N], const Limites& limites)
{
    for (int registro = 0;; ++registro) {
        for (int i = 0; i < N; ++i) {
            int valor = 0;
            const ScanResult r = leitor.scanInt(valor);
            if (r == ScanResult::End) return i == 0 ? registro : registro + 1;
            if (r != ScanResult::Number) {
                falhar(leitor.describe(r));
                return -1;
            }
            if (registro == limites.capacidade) {
                falhar(leitor.where(limites.excesso));
                return -1;
            }
            if (valor < limites.menor || valor > limites.maior) {
                falhar(leitor.where(std::to_string(valor) + limites.fora));
                return -1;
            }
            destino[registro][i] = valor;
        }
    }
}

// Reads one vertex file into entries 1 to 63 of `tabela`; entry 0 is the reserved node.
// Returns the number of pairs read, or -1 after recording the error.
int lerVertices(const std::string& pasta, const char* nome, int (*tabela)[2])
{
    std::string caminho, texto;
    if (!ler(pasta, nome, caminho, texto)) return -1;
    TextScanner leitor(texto, caminho);
    const Limites limites{kNos - 1, "mais de 63 nós no arquivo", INT_MIN, INT_MAX, ""};
    return lerRegistros(leitor, tabela + 1, limites);
}

// Reads the first six numbers of one matrix file into `m`; a file with fewer, or with text
// that is not a number, gives its values up to that point, zeros after it, and a warning.
bool lerMatriz(const std::string& pasta, int t, st_mat& m)
{
    nomeArquivo(t);
    std::string caminho, texto, motivo;
    if (!ler(pasta, arq3, caminho, texto)) return false;
    const int lidos = lerCoeficientes(texto, caminho, m, motivo);
    if (lidos < 6)
        avisar(motivo + "; lidos " + std::to_string(lidos) +
               " de 6 coeficientes, os demais ficam 0");
    return true;
}

} // namespace

int lerCoeficientes(const std::string& texto, const std::string& nome, st_mat& m,
                    std::string& motivo)
{
    TextScanner leitor(texto, nome);
    m = st_mat{};
    int lidos = 0;
    ScanResult r = ScanResult::Number;
    for (; lidos < 6; ++lidos) {
        r = leitor.scanFloat(m.mat[lidos / 3][lidos % 3]);
        if (r != ScanResult::Number) break;
    }
    if (lidos < 6)
        motivo = r == ScanResult::End ? leitor.where("o arquivo acabou") : leitor.describe(r);
    return lidos;
}

namespace {

// The parts of the loader for the workspace in `pasta` ("" for the working directory).
bool carregarVerticesDe(const std::string& pasta, int& nosOrigem, int& nosDestino)
{
    vert[0][0] = vert[0][1] = 0;
    vert2[0][0] = vert2[0][1] = 0;
    nosOrigem = lerVertices(pasta, "data\\verticesamp4.txt", vert);
    if (nosOrigem < 0) return false;
    nosDestino = lerVertices(pasta, "data\\vertices2.txt", vert2);
    return nosDestino >= 0;
}

bool carregarMatrizesDe(const std::string& pasta)
{
    for (int t = 0; t < kTriangulos; ++t)
        if (!lerMatriz(pasta, t, matrix[t])) return false;
    return true;
}

int carregarTriangulosDe(const std::string& pasta)
{
    std::string caminho, texto;
    if (!ler(pasta, "data\\quelvarina.txt", caminho, texto)) return -1;
    TextScanner leitor(texto, caminho);
    const Limites limites{kTriangulos, "mais de 99 triângulos no arquivo", 0, kNos - 1,
                          ": número de nó fora do intervalo de 0 a 63"};
    return lerRegistros(leitor, trg, limites);
}

bool carregarDe(const std::string& pasta)
{
    int nosOrigem = 0, nosDestino = 0;
    if (!carregarVerticesDe(pasta, nosOrigem, nosDestino) || !carregarMatrizesDe(pasta))
        return false;
    return carregarTriangulosDe(pasta) == 64;
}

} // namespace

bool carregarVertices(int& nosOrigem, int& nosDestino)
{
    return carregarVerticesDe("", nosOrigem, nosDestino);
}

bool carregarVertices()
{
    int nosOrigem = 0, nosDestino = 0;
    return carregarVertices(nosOrigem, nosDestino);
}

bool carregarMatriz(int t)
{
    return lerMatriz("", t, matrix[t]);
}

bool carregarMatrizes()
{
    return carregarMatrizesDe("");
}

int carregarTriangulos()
{
    return carregarTriangulosDe("");
}

bool carregaVetorVertices()
{
    return carregarDe("");
}

bool carregarMalhaDe(const std::string& pasta)
{
    return carregarDe(pasta.empty() ? "." : pasta);
}

bool lerMalhaDaAreaDeTrabalho(const std::string& pasta, bool* semPrompt)
{
    TravaDaPasta trava;
    if (!trava.travar(pasta, TravaDaPasta::Modo::Leitura) || !malhaCompleta(pasta)) return false;
    const bool todos = pasta == "." ? carregaVetorVertices() : carregarMalhaDe(pasta);
    if (semPrompt != nullptr) *semPrompt = todos;
    return !houveFalha();
}

} // namespace corretor
