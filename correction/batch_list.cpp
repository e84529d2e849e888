#include "correction/batch_list.h"

#include "utilities/file_read.h"
#include "utilities/report.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <sys/stat.h>

namespace corretor {

namespace {

// Standard input read to its end, up to `limite` bytes.
bool lerEntrada(std::string& conteudo, std::size_t limite)
{
    char bloco[1 << 16];
    std::size_t n;
    while ((n = std::fread(bloco, 1, sizeof bloco, stdin)) > 0) {
        if (conteudo.size() + n > limite) {
            falhar("a lista da entrada padrão passa de " + std::to_string(limite >> 20) + " MiB");
            return false;
        }
        conteudo.append(bloco, n);
    }
    if (std::ferror(stdin)) {
        falhar("não foi possível ler a lista da entrada padrão: " + textoDoErro(errno));
        return false;
    }
    return true;
}

// The modification time of `caminho` in nanoseconds, or false.
bool modificado(const std::string& caminho, int64_t& ns, bool soArquivo = false)
{
    struct stat st;
    if (stat(caminho.c_str(), &st) != 0 || (soArquivo && !S_ISREG(st.st_mode))) return false;
    ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

} // namespace

bool lerLista(const std::string& arquivo, std::vector<std::string>& imagens)
{
    std::string texto;
    if (arquivo == "-" ? !lerEntrada(texto, kLimiteDaLista)
                       : !lerArquivo(arquivo, texto, kLimiteDaLista))
        return false;
    const std::string nome = arquivo == "-" ? "a entrada padrão" : "\"" + arquivo + "\"";
    if (texto.find('\0') != std::string::npos) {
        falhar("a lista " + nome + " tem um byte nulo: não é uma lista de nomes");
        return false;
    }
    for (std::size_t inicio = 0; inicio < texto.size();) {
        std::size_t fim = texto.find('\n', inicio);
        if (fim == std::string::npos) fim = texto.size();
        std::size_t ultimo = fim;
        if (ultimo > inicio && texto[ultimo - 1] == '\r') --ultimo;
        if (ultimo > inicio) imagens.push_back(texto.substr(inicio, ultimo - inicio));
        inicio = fim + 1;
    }
    return true;
}

bool lerParte(const std::string& texto, int& parte, int& partes)
{
    const std::size_t barra = texto.find('/');
    const auto numero = [](const std::string& s, int& n) {
        if (s.empty() || s.size() > 7 || s.find_first_not_of("0123456789") != std::string::npos)
            return false;
        n = std::stoi(s);
        return true;
    };
    return barra != std::string::npos && numero(texto.substr(0, barra), parte) &&
           numero(texto.substr(barra + 1), partes) && parte >= 1 && parte <= partes &&
           partes <= 1000000;
}

int parteDe(const std::string& imagem, int partes)
{
    uint64_t hash = 14695981039346656037ull; // FNV-1a, 64 bits
    for (const unsigned char c : imagem) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return static_cast<int>(hash % static_cast<uint64_t>(partes)) + 1;
}

int64_t maisRecente(const std::vector<std::string>& arquivos)
{
    int64_t recente = INT64_MIN;
    for (const auto& arquivo : arquivos) {
        int64_t ns = 0;
        if (!modificado(arquivo, ns)) return INT64_MAX;
        recente = std::max(recente, ns);
    }
    return recente;
}

bool resultadoEmDia(const std::string& imagem, const std::string& resultado, int64_t dependencias)
{
    int64_t doResultado = 0, daImagem = 0;
    return modificado(resultado, doResultado, true) && modificado(imagem, daImagem) &&
           doResultado > daImagem && doResultado > dependencias;
}

} // namespace corretor
