#include "mesh/point_file.h"

#include "mesh/text_scanner.h"
#include "utilities/file_read.h"

#include <algorithm>

namespace corretor {

namespace {

// The integers of one line, scanned as the loader scans a file: exactly `campos` of them and
// then the end of the line.
LinhaDePontos lerLinha(std::string texto, int campos, const std::string& caminho)
{
    LinhaDePontos linha{std::move(texto), true, {0, 0, 0}};
    TextScanner leitor(linha.texto, caminho);
    for (int i = 0; i < campos && linha.registro; ++i)
        linha.registro = leitor.scanInt(linha.valores[i]) == ScanResult::Number;
    int sobra = 0;
    linha.registro = linha.registro && leitor.scanInt(sobra) == ScanResult::End;
    if (!linha.registro) std::fill(std::begin(linha.valores), std::end(linha.valores), 0);
    return linha;
}

} // namespace

bool lerArquivoDePontos(const std::string& caminho, int campos, std::vector<LinhaDePontos>& linhas,
                        std::string& porque, bool* abriu)
{
    linhas.clear();
    std::string texto;
    if (!lerArquivo(caminho, texto, kLimiteDeArquivoDaMalha, porque, abriu)) return false;
    std::size_t inicio = texto.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (inicio < texto.size()) {
        const std::size_t fim = std::min(texto.find('\n', inicio), texto.size());
        std::size_t ultimo = fim;
        if (ultimo > inicio && texto[ultimo - 1] == '\r') --ultimo;
        linhas.push_back(lerLinha(texto.substr(inicio, ultimo - inicio), campos, caminho));
        inicio = fim + 1;
    }
    while (!linhas.empty() &&
           linhas.back().texto.find_first_not_of(" \t\r\v\f") == std::string::npos)
        linhas.pop_back();
    return true;
}

} // namespace corretor
