#include "authoring/text_output.h"

#include "utilities/report.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace corretor {

bool gravarTextoInteiro(const std::string& caminho, const std::string& conteudo)
{
    const std::size_t barra = caminho.find_last_of('/');
    std::string temporario =
        (barra == std::string::npos ? "" : caminho.substr(0, barra + 1)) + ".gravando-XXXXXX";
    const int fd = mkstemp(temporario.data());
    if (fd < 0) {
        falhar("não foi possível criar um arquivo temporário para \"" + caminho +
               "\": " + std::strerror(errno));
        return false;
    }
    // mkstemp creates the file for its owner only; give it the mode a new file would get.
    const mode_t mascara = umask(0);
    umask(mascara);
    bool ok = fchmod(fd, 0666 & ~mascara) == 0;
    std::size_t escrito = 0;
    while (ok && escrito < conteudo.size()) {
        const ssize_t n = write(fd, conteudo.data() + escrito, conteudo.size() - escrito);
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
