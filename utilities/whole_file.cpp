#include "utilities/whole_file.h"

#include "utilities/report.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace corretor {

namespace {

// The process's file mode mask, read once. Reading it means setting it and putting it back; two
// threads doing that at once could leave the temporary mask 0 in place for good. The static is
// initialised by one thread while any other caller waits.
mode_t mascaraDoProcesso()
{
    static const mode_t mascara = [] {
        const mode_t lida = umask(0);
        umask(lida);
        return lida;
    }();
    return mascara;
}

} // namespace

bool substituirArquivo(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    const std::size_t barra = caminho.find_last_of('/');
    std::string temporario =
        (barra == std::string::npos ? "" : caminho.substr(0, barra + 1)) + ".salvando-XXXXXX";
    const int fd = mkstemp(temporario.data());
    if (fd < 0) return false;
    // mkstemp creates the file for its owner only; give it the mode a new file would get.
    bool ok = fchmod(fd, 0666 & ~mascaraDoProcesso()) == 0;
    const char* bytes = static_cast<const char*>(dados);
    std::size_t escrito = 0;
    while (ok && escrito < tamanho) {
        const ssize_t n = write(fd, bytes + escrito, tamanho - escrito);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) escrito += static_cast<std::size_t>(n);
    }
    int erro = ok ? 0 : errno;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(temporario.c_str(), caminho.c_str()) == 0) return true;
    if (erro == 0) erro = errno;
    unlink(temporario.c_str());
    errno = erro;
    return false;
}

bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    if (substituirArquivo(caminho, dados, tamanho)) return true;
    falhar("não foi possível gravar \"" + caminho + "\": " + std::strerror(errno));
    return false;
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool anexarTexto(FILE*& handle, const std::string& caminho, const std::string& texto)
{
    handle = std::fopen(caminho.c_str(), "a");
    if (handle == nullptr) return false;
    struct stat antes
    {
    };
    const bool medido = fstat(fileno(handle), &antes) == 0;
    bool ok = std::fwrite(texto.data(), 1, texto.size(), handle) == texto.size();
    ok = std::fflush(handle) == 0 && ok;
    int erro = ok ? 0 : errno;
    if (!ok && medido && ftruncate(fileno(handle), antes.st_size) != 0) erro = errno;
    if (std::fclose(handle) != 0 && ok) {
        ok = false;
        erro = errno;
    }
    handle = nullptr;
    if (!ok) errno = erro;
    return ok;
}

} // namespace corretor
