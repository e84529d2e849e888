#include "utilities/file_read.h"

#include "utilities/report.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corretor {

namespace {

// "uma pasta", "um FIFO", ... for a stat mode that is not a regular file.
const char* tipoDeArquivo(unsigned modo)
{
    switch (modo & S_IFMT) {
    case S_IFDIR:
        return "uma pasta";
    case S_IFIFO:
        return "um FIFO";
    case S_IFCHR:
    case S_IFBLK:
        return "um dispositivo";
    case S_IFSOCK:
        return "um soquete";
    default:
        return "um arquivo especial";
    }
}

std::string tamanhoEmTexto(std::size_t bytes)
{
    return bytes < (std::size_t{1} << 20) ? std::to_string(bytes) + " bytes"
                                          : std::to_string(bytes >> 20) + " MiB";
}

} // namespace

bool lerEmBlocos(int fd, std::size_t limite, const CadaBloco& bloco, std::string& porque)
{
    porque.clear();
    char pedaco[1 << 16];
    // One byte more than allowed tells a file over the limit, even one whose size the system
    // reports wrongly.
    for (std::size_t lidos = 0;;) {
        const ssize_t n = read(fd, pedaco, sizeof pedaco);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            porque = textoDoErro(errno);
            return false;
        }
        lidos += static_cast<std::size_t>(n);
        if (lidos > limite) {
            porque = "tem mais que o limite de " + tamanhoEmTexto(limite);
            return false;
        }
        if (!bloco(pedaco, static_cast<std::size_t>(n))) return false;
    }
}

bool arquivoComum(const std::string& caminho, std::string& porque)
{
    struct stat st
    {
    };
    if (stat(caminho.c_str(), &st) != 0) {
        porque = textoDoErro(errno);
        return false;
    }
    if (S_ISREG(st.st_mode)) return true;
    porque = std::string("é ") + tipoDeArquivo(st.st_mode) + ", não um arquivo comum";
    return false;
}

bool lerEmBlocos(const std::string& caminho, std::size_t limite, const CadaBloco& bloco,
                 std::string& porque, bool* abriu)
{
    if (abriu != nullptr) *abriu = false;
    const int fd = ::open(caminho.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        porque = textoDoErro(errno);
        return false;
    }
    if (abriu != nullptr) *abriu = true;
    struct stat st
    {
    };
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        porque = textoDoErro(errno);
    } else if (!S_ISREG(st.st_mode)) {
        porque = std::string("é ") + tipoDeArquivo(st.st_mode) + ", não um arquivo comum";
        ok = false;
    } else if (static_cast<unsigned long long>(st.st_size) > limite) {
        porque = "tem " + tamanhoEmTexto(static_cast<std::size_t>(st.st_size)) +
                 ", mais que o limite de " + tamanhoEmTexto(limite);
        ok = false;
    } else {
        ok = lerEmBlocos(fd, limite, bloco, porque);
    }
    close(fd);
    return ok;
}

bool lerArquivo(const std::string& caminho, std::string& conteudo, std::size_t limite,
                std::string& porque, bool* abriu)
{
    conteudo.clear();
    struct stat st
    {
    };
    if (stat(caminho.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        conteudo.reserve(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), limite));
    const bool ok = lerEmBlocos(
        caminho, limite,
        [&](const char* bytes, std::size_t n) {
            conteudo.append(bytes, n);
            return true;
        },
        porque, abriu);
    if (!ok) {
        conteudo.clear();
        conteudo.shrink_to_fit();
    }
    return ok;
}

bool lerArquivo(const std::string& caminho, std::string& conteudo, std::size_t limite)
{
    std::string porque;
    bool abriu = false;
    if (lerArquivo(caminho, conteudo, limite, porque, &abriu)) return true;
    falhar(naoLeu(caminho, porque, abriu));
    return false;
}

std::string naoLeu(const std::string& caminho, const std::string& porque, bool abriu)
{
    return std::string("não foi possível ") + (abriu ? "ler" : "abrir") + " \"" + caminho +
           "\": " + porque;
}

} // namespace corretor
