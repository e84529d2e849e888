#include "utilities/whole_file.h"

#include "utilities/report.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corretor {

mode_t mascaraDoProcesso()
{
    // Reading the mask means setting it and putting it back; two threads doing that at once
    // could leave the temporary mask 0 in place for good. The static is initialised by one
    // thread while any other caller waits.
    static const mode_t mascara = [] {
        const mode_t lida = umask(0);
        umask(lida);
        return lida;
    }();
    return mascara;
}

namespace {

// Writes `dados` to a new temporary file in the folder of `caminho`, named in `temporario`,
// with the mode a new file would get. On failure removes it and returns false, errno telling
// why.
bool gravarTemporario(const std::string& caminho, const void* dados, std::size_t tamanho,
                      std::string& temporario)
{
    const std::size_t barra = caminho.find_last_of('/');
    temporario =
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
    const int erro = ok ? 0 : errno;
    ok = close(fd) == 0 && ok;
    if (ok) return true;
    const int motivo = erro != 0 ? erro : errno;
    unlink(temporario.c_str());
    errno = motivo;
    return false;
}

} // namespace

bool substituirArquivo(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    std::string temporario;
    if (!gravarTemporario(caminho, dados, tamanho, temporario)) return false;
    if (std::rename(temporario.c_str(), caminho.c_str()) == 0) return true;
    const int erro = errno;
    unlink(temporario.c_str());
    errno = erro;
    return false;
}

bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    if (substituirArquivo(caminho, dados, tamanho)) return true;
    falhar("não foi possível gravar \"" + caminho + "\": " + textoDoErro(errno));
    return false;
}

bool gravarArquivosJuntos(const std::vector<ArquivoNovo>& arquivos)
{
    std::vector<std::string> temporarios;
    const auto descartar = [&temporarios](std::size_t desde) {
        for (std::size_t k = desde; k < temporarios.size(); ++k)
            unlink(temporarios[k].c_str());
    };
    // A folder or a device in the place of a file would refuse its rename after others were
    // done: such a name is refused before anything is written.
    for (const auto& arquivo : arquivos) {
        struct stat st
        {
        };
        if (stat(arquivo.caminho.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            falhar("\"" + arquivo.caminho + "\" não é um arquivo comum; nenhum dos " +
                   std::to_string(arquivos.size()) + " arquivos foi trocado");
            return false;
        }
    }
    for (const auto& arquivo : arquivos) {
        std::string temporario;
        if (!gravarTemporario(arquivo.caminho, arquivo.conteudo.data(), arquivo.conteudo.size(),
                              temporario)) {
            const int erro = errno;
            descartar(0);
            falhar("não foi possível gravar \"" + arquivo.caminho + "\": " + textoDoErro(erro) +
                   "; nenhum dos " + std::to_string(arquivos.size()) + " arquivos foi trocado");
            return false;
        }
        temporarios.push_back(temporario);
    }
    for (std::size_t k = 0; k < arquivos.size(); ++k)
        if (std::rename(temporarios[k].c_str(), arquivos[k].caminho.c_str()) != 0) {
            const int erro = errno;
            descartar(k);
            falhar("não foi possível trocar \"" + arquivos[k].caminho + "\": " + textoDoErro(erro) +
                   "; " + std::to_string(k) + " dos " + std::to_string(arquivos.size()) +
                   " arquivos já tinham sido trocados");
            return false;
        }
    return true;
}

void ignorarSinalDeTamanho()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool anexarTexto(FILE*& handle, const std::string& caminho, const std::string& texto)
{
    // Opened without waiting, so that a FIFO in the file's place never hangs the writer.
    const int fd =
        open(caminho.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat antes
    {
    };
    if (fstat(fd, &antes) != 0 || !S_ISREG(antes.st_mode)) {
        const int erro = S_ISDIR(antes.st_mode) ? EISDIR : ENXIO;
        close(fd);
        errno = erro;
        return false;
    }
    handle = fdopen(fd, "a");
    if (handle == nullptr) {
        const int erro = errno;
        close(fd);
        errno = erro;
        return false;
    }
    bool ok = std::fwrite(texto.data(), 1, texto.size(), handle) == texto.size();
    ok = std::fflush(handle) == 0 && ok;
    int erro = ok ? 0 : errno;
    if (!ok && ftruncate(fd, antes.st_size) != 0) erro = errno;
    if (std::fclose(handle) != 0 && ok) {
        ok = false;
        erro = errno;
    }
    handle = nullptr;
    if (!ok) errno = erro;
    return ok;
}

} // namespace corretor
