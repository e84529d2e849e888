#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace corretor {

namespace {
// One reason per thread: images corrected at once on several threads keep theirs apart.
thread_local std::string motivoRegistrado;
thread_local bool falhou = false;
} // namespace

void falhar(const std::string& motivo)
{
    if (falhou) return;
    falhou = true;
    motivoRegistrado = motivo;
}

void precederMotivo(const std::string& antes)
{
    if (falhou) motivoRegistrado.insert(0, antes);
}

bool houveFalha()
{
    return falhou;
}

const std::string& motivoFalha()
{
    return motivoRegistrado;
}

void limparFalha()
{
    falhou = false;
    motivoRegistrado.clear();
}

std::string textoDoErro(int erro)
{
    switch (erro) {
    case ENOENT:
        return "não existe";
    case EACCES:
    case EPERM:
        return "permissão negada";
    case EISDIR:
        return "é uma pasta";
    case ENOTDIR:
        return "parte do caminho não é uma pasta";
    case ENOSPC:
    case EDQUOT:
        return "sem espaço no disco";
    case EFBIG:
        return "o arquivo passaria do tamanho permitido";
    case EROFS:
        return "o sistema de arquivos é só de leitura";
    case ENAMETOOLONG:
        return "nome longo demais";
    case ELOOP:
        return "links simbólicos demais no caminho";
    case EEXIST:
        return "já existe";
    case ENOTEMPTY:
        return "a pasta não está vazia";
    case EMFILE:
    case ENFILE:
        return "arquivos abertos demais";
    case ENOMEM:
        return "falta memória";
    case EIO:
        return "erro de entrada e saída";
    case ENXIO:
    case ENODEV:
        return "não é um arquivo comum";
    case EBUSY:
    case ETXTBSY:
        return "o arquivo está em uso";
    case EXDEV:
        return "fica em outro sistema de arquivos";
    default:
        return std::strerror(erro);
    }
}

namespace {

// Every line the system writes to standard error goes through this lock, which also guards the
// silence of the decoders (SilencioNoErro): how many are silenced, and where the real standard
// error went meanwhile.
std::mutex& travaDoErro()
{
    static std::mutex trava;
    return trava;
}
int silenciados = 0; // SilencioNoErro objects alive
int erroSalvo = -1;  // the real standard error while descriptor 2 points to /dev/null, or -1

void escreverTudo(int descritor, const std::string& texto)
{
    const char* p = texto.data();
    std::size_t falta = texto.size();
    while (falta > 0) {
        const ssize_t escrito = write(descritor, p, falta);
        if (escrito < 0 && errno == EINTR) continue;
        if (escrito <= 0) return; // nowhere left to say it
        p += escrito;
        falta -= static_cast<std::size_t>(escrito);
    }
}

void escrever(const std::string& linha)
{
    const std::lock_guard<std::mutex> vez(travaDoErro());
    std::fflush(stdout);
    if (erroSalvo >= 0) {
        escreverTudo(erroSalvo, linha);
        return;
    }
    std::fputs(linha.c_str(), stderr);
    std::fflush(stderr);
}

} // namespace

std::string escaparControles(const std::string& texto)
{
    std::string saida;
    saida.reserve(texto.size());
    char codigo[8];
    for (std::size_t i = 0; i < texto.size(); ++i) {
        const auto c = static_cast<unsigned char>(texto[i]);
        const auto seguinte = i + 1 < texto.size() ? static_cast<unsigned char>(texto[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(codigo, sizeof codigo, "\\x%02x", c);
            saida += codigo;
        } else if (c == 0xC2 && seguinte >= 0x80 && seguinte <= 0x9F) {
            // U+0080 to U+009F: control characters that a UTF-8 terminal may act on.
            std::snprintf(codigo, sizeof codigo, "\\u%04x", seguinte);
            saida += codigo;
            ++i;
        } else {
            saida += static_cast<char>(c);
        }
    }
    return saida;
}

std::string motivoDaExcecao()
{
    try {
        throw;
    } catch (const cv::Exception& e) {
        if (e.code == cv::Error::StsNoMem) return "falta memória";
        return "erro interno da biblioteca de imagens (código " + std::to_string(e.code) + ")";
    } catch (const std::bad_alloc&) {
        return "falta memória";
    } catch (...) {
        return "erro interno inesperado";
    }
}

void avisar(const std::string& texto)
{
    escrever("aviso: " + escaparControles(texto) + "\n");
}

void semDeixarEscapar(const char* oQueFalhou, const std::function<void()>& corpo) noexcept
{
    try {
        corpo();
    } catch (...) {
        try {
            avisar(std::string(oQueFalhou) + ": " + motivoDaExcecao());
        } catch (...) { // no memory even for the warning: nothing more can be said
        }
    }
}

void relatarFalha(const char* programa)
{
    escrever(std::string(programa) + ": erro: " +
             escaparControles(falhou ? motivoRegistrado : "falha sem motivo registrado") + "\n");
}

SilencioNoErro::SilencioNoErro()
{
    const std::lock_guard<std::mutex> vez(travaDoErro());
    if (silenciados++ > 0) return; // descriptor 2 is already /dev/null
    std::fflush(stderr);
    const int salvo = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nulo = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (salvo >= 0 && nulo >= 0 && dup2(nulo, STDERR_FILENO) >= 0)
        erroSalvo = salvo;
    else if (salvo >= 0)
        close(salvo);
    if (nulo >= 0) close(nulo);
}

SilencioNoErro::~SilencioNoErro()
{
    const std::lock_guard<std::mutex> vez(travaDoErro());
    if (--silenciados > 0 || erroSalvo < 0) return;
    std::fflush(stderr);
    dup2(erroSalvo, STDERR_FILENO);
    close(erroSalvo);
    erroSalvo = -1;
}

} // namespace corretor
