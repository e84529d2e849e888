#include "utilities/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

void avisar(const std::string& texto)
{
    std::fflush(stdout);
    std::fprintf(stderr, "aviso: %s\n", texto.c_str());
}

void relatarFalha(const char* programa)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: erro: %s\n", programa,
                 falhou ? motivoRegistrado.c_str() : "falha sem motivo registrado");
}

} // namespace corretor
