#include "utilities/temporary_files.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
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

// More than the files ever written at once: a whole mesh is 102 files renamed together, and a
// batch's workers write one result each.
constexpr int kVagas = 512;
Vaga vagas[kVagas];

// While a step that must not be cut runs (SinaisAdiados), a signal is only noted here and acted
// on when the step ends.
std::atomic<int> passosInteiros{0};
std::atomic<int> sinalPendente{0};

// Threads between registering a name and creating its file; once `terminando` is set, no thread
// enters, so the names that the handler removes are all there will be.
std::atomic<int> criando{0};
std::atomic<bool> terminando{false};

// Removes the registered files and ends the process by `sinal`. Only async-signal-safe calls:
// nanosleep, unlink, signal, raise.
void terminar(int sinal)
{
    terminando.store(true);
    timespec pausa{0, 1000000}; // 1 ms; a thread inside the window may need this processor
    for (int espera = 0; criando.load() > 0 && espera < 1000; ++espera)
        nanosleep(&pausa, nullptr);
    for (Vaga& v : vagas)
        if (v.estado.load() == 2) unlink(v.caminho);
    std::signal(sinal, SIG_DFL);
    std::raise(sinal); // delivered, by default, once the handler returns
}

void aoSinal(int sinal)
{
    if (passosInteiros.load() > 0) {
        sinalPendente.store(sinal);
        return;
    }
    terminar(sinal);
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
    ++passosInteiros;
}

SinaisAdiados::~SinaisAdiados()
{
    if (--passosInteiros == 0) {
        const int sinal = sinalPendente.exchange(0);
        if (sinal != 0) terminar(sinal);
    }
}

bool entrarNaCriacao()
{
    ++criando;
    if (!terminando.load()) return true;
    --criando;
    return false;
}

void sairDaCriacao()
{
    --criando;
}

} // namespace corretor
