#include "utilities/file_read.h"

#include "utilities/report.h"

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

// Reads up to `limite` + 1 bytes: one more than allowed tells a file over the limit, even one
// whose size the system reports wrongly.
bool lerAte(int fd, std::string& conteudo, std::size_t limite, std::size_t tamanho)
{
    conteudo.clear();
    conteudo.reserve(tamanho < limite ? tamanho : limite);
    char bloco[1 << 16];
    while (conteudo.size() <= limite) {
        const ssize_t n = read(fd, bloco, sizeof bloco);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        conteudo.append(bloco, static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

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

bool lerArquivo(const std::string& caminho, std::string& conteudo, std::size_t limite,
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
    } else if (!lerAte(fd, conteudo, limite, static_cast<std::size_t>(st.st_size))) {
        porque = textoDoErro(errno);
        ok = false;
    } else if (conteudo.size() > limite) {
        porque = "tem mais que o limite de " + tamanhoEmTexto(limite);
        ok = false;
    }
    close(fd);
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
