#include "utilities/whole_file.h"

#include "utilities/report.h"
#include "utilities/temporary_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
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

// A temporary file being written, registered for removal on a signal.
struct Temporario
{
    std::string nome;
    int vaga = -1;
};

// Removes the temporary file (errno kept) and forgets it.
void descartar(Temporario& t)
{
    const int erro = errno;
    unlink(t.nome.c_str());
    esquecerTemporario(t.vaga);
    errno = erro;
}

// Renames the temporary file over `caminho` and forgets it; on failure removes it. errno tells
// why.
bool colocar(Temporario& t, const std::string& caminho)
{
    if (std::rename(t.nome.c_str(), caminho.c_str()) == 0) {
        esquecerTemporario(t.vaga);
        return true;
    }
    descartar(t);
    return false;
}

// Creates a new file named `pasta` + ".salvando-" + 12 random letters and digits + `sufixo`,
// registered for removal on a signal before it exists. Returns its descriptor, or -1 with errno
// set.
int criarTemporario(const std::string& pasta, Temporario& t, const std::string& sufixo = "")
{
    static const char kLetras[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int tentativa = 0; tentativa < 100; ++tentativa) {
        unsigned char sorte[12];
        if (getrandom(sorte, sizeof sorte, 0) != static_cast<ssize_t>(sizeof sorte)) return -1;
        t.nome = pasta + ".salvando-";
        for (unsigned char c : sorte)
            t.nome += kLetras[c % (sizeof kLetras - 1)];
        t.nome += sufixo;
        if (!entrarNaCriacao()) {
            errno = EINTR; // the process is ending
            return -1;
        }
        t.vaga = registrarTemporario(t.nome);
        const int fd = ::open(t.nome.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const int erro = errno;
        if (fd < 0) esquecerTemporario(t.vaga);
        sairDaCriacao();
        if (fd >= 0) return fd;
        errno = erro;
        if (erro != EEXIST) return -1;
    }
    return -1;
}

// The folder part of `caminho`, with its "/", or "" for a name in the working directory.
std::string pastaDe(const std::string& caminho)
{
    const std::size_t barra = caminho.find_last_of('/');
    return barra == std::string::npos ? "" : caminho.substr(0, barra + 1);
}

// Writes `dados` to a new temporary file in the folder of `caminho`, with the mode a new file
// would get. On failure removes it and returns false, errno telling why.
bool gravarTemporario(const std::string& caminho, const void* dados, std::size_t tamanho,
                      Temporario& t)
{
    const int fd = criarTemporario(pastaDe(caminho), t);
    if (fd < 0) return false;
    // Created for its owner only; give it the mode a new file would get.
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
    errno = erro != 0 ? erro : errno;
    descartar(t);
    return false;
}

} // namespace

bool substituirArquivo(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    Temporario t;
    return gravarTemporario(caminho, dados, tamanho, t) && colocar(t, caminho);
}

bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho)
{
    if (substituirArquivo(caminho, dados, tamanho)) return true;
    falhar("não foi possível gravar \"" + caminho + "\": " + textoDoErro(errno));
    return false;
}

bool gravarArquivosJuntos(const std::vector<ArquivoNovo>& arquivos, const std::string& marca)
{
    const std::string nenhum =
        arquivos.size() > 1
            ? "; nenhum dos " + std::to_string(arquivos.size()) + " arquivos foi trocado"
            : "";
    // A folder or a device in the place of a file would refuse its rename after others were
    // done: such a name is refused before anything is written.
    for (const auto& arquivo : arquivos) {
        struct stat st
        {
        };
        if (stat(arquivo.caminho.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            falhar("\"" + arquivo.caminho + "\" não é um arquivo comum" + nenhum);
            return false;
        }
    }
    std::vector<Temporario> temporarios;
    const auto descartarDesde = [&temporarios](std::size_t desde) {
        for (std::size_t k = desde; k < temporarios.size(); ++k)
            descartar(temporarios[k]);
    };
    for (const auto& arquivo : arquivos) {
        Temporario t;
        if (!gravarTemporario(arquivo.caminho, arquivo.conteudo.data(), arquivo.conteudo.size(),
                              t)) {
            const int erro = errno;
            descartarDesde(0);
            falhar("não foi possível gravar \"" + arquivo.caminho + "\": " + textoDoErro(erro) +
                   nenhum);
            return false;
        }
        temporarios.push_back(t);
    }
    // The renames as one step: a signal comes before all of them or after. The mark stands
    // while they run; only a process killed outright, or a rename failing half way, leaves it.
    const SinaisAdiados adiados;
    if (!marca.empty()) {
        const std::string texto =
            "substituição em andamento, pelo processo " + std::to_string(getpid()) + "\n";
        if (!substituirArquivo(marca, texto.data(), texto.size())) {
            const int erro = errno;
            descartarDesde(0);
            falhar("não foi possível gravar \"" + marca + "\": " + textoDoErro(erro) + nenhum);
            return false;
        }
    }
    for (std::size_t k = 0; k < arquivos.size(); ++k)
        if (!colocar(temporarios[k], arquivos[k].caminho)) {
            const int erro = errno;
            descartarDesde(k + 1);
            if (k == 0 && !marca.empty()) unlink(marca.c_str());
            falhar("não foi possível trocar \"" + arquivos[k].caminho + "\": " + textoDoErro(erro) +
                   "; " + std::to_string(k) + " dos " + std::to_string(arquivos.size()) +
                   " arquivos já tinham sido trocados");
            return false;
        }
    if (!marca.empty()) unlink(marca.c_str());
    return true;
}

ArquivoTemporario::~ArquivoTemporario()
{
    if (!existe_) return;
    Temporario t{nome_, vaga_};
    descartar(t);
}

bool ArquivoTemporario::criar(const std::string& caminho, const std::string& sufixo)
{
    Temporario t;
    const int fd = criarTemporario(pastaDe(caminho), t, sufixo);
    if (fd < 0) return false;
    const bool ok = fchmod(fd, 0666 & ~mascaraDoProcesso()) == 0;
    const int erro = errno;
    close(fd);
    if (!ok) {
        descartar(t);
        errno = erro;
        return false;
    }
    caminho_ = caminho;
    nome_ = t.nome;
    vaga_ = t.vaga;
    existe_ = true;
    return true;
}

bool ArquivoTemporario::colocar()
{
    Temporario t{nome_, vaga_};
    existe_ = false;
    return corretor::colocar(t, caminho_);
}

void ignorarSinalDeTamanho()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool anexarTexto(FILE*& handle, const std::string& caminho, const std::string& texto)
{
    // Opened without waiting, so that a FIFO in the file's place never hangs the writer.
    const int fd =
        ::open(caminho.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
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
    // A last line left without its line end (a file edited by hand) is ended first, so that the
    // new text does not run into it ("10 20" and "30 40" would read as "10 2030 40").
    char ultimo = '\n';
    const std::string inteiro =
        antes.st_size > 0 && pread(fd, &ultimo, 1, antes.st_size - 1) == 1 && ultimo != '\n'
            ? "\n" + texto
            : texto;
    handle = fdopen(fd, "a");
    if (handle == nullptr) {
        const int erro = errno;
        close(fd);
        errno = erro;
        return false;
    }
    bool ok = std::fwrite(inteiro.data(), 1, inteiro.size(), handle) == inteiro.size();
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
