#include "utilities/whole_file.h"

#include "utilities/report.h"

#include <cerrno>
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

bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    const std::size_t barra = caminho.find_last_of('/');
    std::string temporario =
        (barra == std::string::npos ? "" : caminho.substr(0, barra + 1)) + ".salvando-XXXXXX";
    const int fd = mkstemp(temporario.data());
    if (fd < 0) {
        falhar("não foi possível criar um arquivo temporário para \"" + caminho +
               "\": " + std::strerror(errno));
        return false;
    }
    // mkstemp creates the file for its owner only; give it the mode a new file would get.
    bool ok = fchmod(fd, 0666 & ~mascaraDoProcesso()) == 0;
    std::size_t escrito = 0;
    const char* bytes = static_cast<const char*>(dados);
    while (ok && escrito < tamanho) {
        const ssize_t n = write(fd, bytes + escrito, tamanho - escrito);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) escrito += static_cast<std::size_t>(n);
    }
    const int erro = ok ? 0 : errno;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(temporario.c_str(), caminho.c_str()) == 0) return true;
    const int erroFinal = erro != 0 ? erro : errno;
    unlink(temporario.c_str());
    falhar("não foi possível gravar \"" + caminho + "\": " + std::strerror(erroFinal));
    return false;
}

} // namespace corretor
