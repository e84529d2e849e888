#include "utilities/report.h"

#include <cstdio>

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
