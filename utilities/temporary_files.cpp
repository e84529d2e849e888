#include "utilities/temporary_files.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace corretor {

namespace {

constexpr int kSinais[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// A slot is free (0), being filled or emptied by its owner (1), or holds a name (2). The
// handler reads only slots in state 2, whose name is complete.
struct Vaga
{
    std::atomic<int> estado{0};
    char caminho[PATH_MAX];
};

constexpr int kVagas = 64; // more than the threads that ever write at once
Vaga vagas[kVagas];

// Only async-signal-safe calls: unlink, signal, raise.
void aoSinal(int sinal)
{
    for (Vaga& v : vagas)
        if (v.estado.load() == 2) unlink(v.caminho);
    std::signal(sinal, SIG_DFL);
    std::raise(sinal); // delivered, by default, once the handler returns
}

sigset_t conjunto()
{
    sigset_t s;
    sigemptyset(&s);
    for (int sinal : kSinais)
        sigaddset(&s, sinal);
    return s;
}

} // namespace

void apagarTemporariosNosSinais()
{
    static const bool instalado = [] {
        for (int sinal : kSinais) {
            struct sigaction antes
            {
            };
            if (sigaction(sinal, nullptr, &antes) == 0 && antes.sa_handler == SIG_IGN) continue;
            struct sigaction acao
            {
            };
            acao.sa_handler = aoSinal;
            sigemptyset(&acao.sa_mask);
            sigaction(sinal, &acao, nullptr);
        }
        return true;
    }();
    (void)instalado;
}

int registrarTemporario(const std::string& caminho)
{
    if (caminho.size() >= PATH_MAX) return -1;
    for (int k = 0; k < kVagas; ++k) {
        int livre = 0;
        if (!vagas[k].estado.compare_exchange_strong(livre, 1)) continue;
        std::memcpy(vagas[k].caminho, caminho.c_str(), caminho.size() + 1);
        vagas[k].estado.store(2);
        return k;
    }
    return -1;
}

void esquecerTemporario(int vaga)
{
    if (vaga >= 0) vagas[vaga].estado.store(0);
}

SinaisAdiados::SinaisAdiados()
{
    const sigset_t s = conjunto();
    pthread_sigmask(SIG_BLOCK, &s, &antes_);
}

SinaisAdiados::~SinaisAdiados()
{
    pthread_sigmask(SIG_SETMASK, &antes_, nullptr);
}

} // namespace corretor
