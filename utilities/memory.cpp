#include "utilities/memory.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/resource.h>
#include <vector>

namespace corretor {

namespace {

constexpr uint64_t kSemLimite = UINT64_MAX;

// The first line of a small file, or "" when it cannot be read.
std::string primeiraLinha(const std::string& arquivo)
{
    std::ifstream f(arquivo);
    std::string linha;
    if (f) std::getline(f, linha);
    return linha;
}

// A whole number of bytes; kSemLimite for "max", an empty text or anything else.
uint64_t numero(const std::string& texto)
{
    if (texto.empty() || texto.find_first_not_of("0123456789") != std::string::npos)
        return kSemLimite;
    try {
        return std::stoull(texto);
    } catch (const std::exception&) {
        return kSemLimite;
    }
}

// The value of the line "<nome> <valor>" of a file (with `escala` bytes per unit), or
// kSemLimite.
uint64_t campo(const std::string& arquivo, const std::string& nome, uint64_t escala)
{
    std::ifstream f(arquivo);
    std::string linha;
    while (std::getline(f, linha)) {
        std::istringstream partes(linha);
        std::string chave;
        unsigned long long valor = 0;
        if (partes >> chave >> valor && chave == nome) return valor * escala;
    }
    return kSemLimite;
}

struct Montagem
{
    std::string raiz;  // the part of the hierarchy mounted there
    std::string ponto; // where it is mounted
};

// The mounts of cgroup v2 (`versao` 2) or of the v1 memory controller, from mountinfo.
std::vector<Montagem> montagens(const std::string& raiz, int versao)
{
    std::vector<Montagem> achadas;
    std::ifstream f(raiz + "/proc/self/mountinfo");
    std::string linha;
    while (std::getline(f, linha)) {
        const std::size_t separador = linha.find(" - ");
        if (separador == std::string::npos) continue;
        std::istringstream antes(linha.substr(0, separador)), depois(linha.substr(separador + 3));
        std::string id, pai, dispositivo, raizDaMontagem, ponto, tipo, origem, opcoes;
        antes >> id >> pai >> dispositivo >> raizDaMontagem >> ponto;
        depois >> tipo >> origem >> opcoes;
        const bool serve =
            versao == 2
                ? tipo == "cgroup2"
                : tipo == "cgroup" && ("," + opcoes + ",").find(",memory,") != std::string::npos;
        if (serve) achadas.push_back({raizDaMontagem, ponto});
    }
    return achadas;
}

// The room left by the memory limits of the group `grupo` (a path in the hierarchy) and of every
// group above it, where the hierarchy is mounted.
uint64_t folgaDoGrupo(const std::string& raiz, const std::vector<Montagem>& lugares,
                      const std::string& grupo, int versao)
{
    for (const auto& m : lugares) {
        if (grupo.compare(0, m.raiz.size(), m.raiz) != 0) continue;
        std::string relativo = grupo.substr(m.raiz == "/" ? 0 : m.raiz.size());
        uint64_t folga = kSemLimite;
        const std::string limite = versao == 2 ? "/memory.max" : "/memory.limit_in_bytes";
        const std::string uso = versao == 2 ? "/memory.current" : "/memory.usage_in_bytes";
        const std::string cache = versao == 2 ? "inactive_file" : "total_inactive_file";
        for (bool folha = true;; folha = false) {
            const std::string pasta = raiz + m.ponto + (relativo == "/" ? "" : relativo);
            const uint64_t teto = numero(primeiraLinha(pasta + limite));
            // v1 writes "no limit" as a huge number rounded to pages.
            if (teto < (uint64_t{1} << 60)) {
                uint64_t usado = numero(primeiraLinha(pasta + uso));
                const uint64_t descartavel = campo(pasta + "/memory.stat", cache, 1);
                if (usado == kSemLimite) usado = teto;
                if (folha && descartavel != kSemLimite) usado -= std::min(usado, descartavel);
                folga = std::min(folga, usado >= teto ? 0 : teto - usado);
            }
            if (relativo.empty() || relativo == "/") break;
            relativo.erase(relativo.find_last_of('/'));
        }
        return folga;
    }
    return kSemLimite;
}

// The room that the memory limits of the process's control groups leave.
uint64_t folgaDosGrupos(const std::string& raiz)
{
    uint64_t folga = kSemLimite;
    std::ifstream f(raiz + "/proc/self/cgroup");
    std::string linha;
    while (std::getline(f, linha)) {
        // "0::/path" (v2) or "4:memory:/path" (v1; the controllers may be several, "a,b").
        const std::size_t a = linha.find(':'), b = linha.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        const std::string controles = "," + linha.substr(a + 1, b - a - 1) + ",";
        const std::string grupo = linha.substr(b + 1);
        if (linha.compare(0, a, "0") == 0 && controles == ",,")
            folga = std::min(folga, folgaDoGrupo(raiz, montagens(raiz, 2), grupo, 2));
        else if (controles.find(",memory,") != std::string::npos)
            folga = std::min(folga, folgaDoGrupo(raiz, montagens(raiz, 1), grupo, 1));
    }
    return folga;
}

std::mutex trava;
std::condition_variable liberada;
uint64_t reservado = 0; // the claims held, together

} // namespace

uint64_t memoriaDisponivelEm(const std::string& raiz)
{
    uint64_t livre = campo(raiz + "/proc/meminfo", "MemAvailable:", 1024);
    rlimit limite{};
    if (getrlimit(RLIMIT_AS, &limite) == 0 && limite.rlim_cur != RLIM_INFINITY) {
        const uint64_t usado = campo(raiz + "/proc/self/status", "VmSize:", 1024);
        const uint64_t teto = static_cast<uint64_t>(limite.rlim_cur);
        livre = std::min(livre, usado == kSemLimite || usado >= teto ? 0 : teto - usado);
    }
    return std::min(livre, folgaDosGrupos(raiz));
}

uint64_t memoriaDisponivel()
{
    return memoriaDisponivelEm("");
}

uint64_t memoriaReservada()
{
    const std::lock_guard<std::mutex> vez(trava);
    return reservado;
}

bool ReservaDeMemoria::reservar(uint64_t bytes, uint64_t& livre)
{
    liberar();
    std::unique_lock<std::mutex> vez(trava);
    for (;;) {
        livre = memoriaDisponivel();
        const uint64_t sobra = livre > reservado ? livre - reservado : 0;
        if (bytes <= sobra) break;
        if (reservado == 0) return false;
        liberada.wait(vez);
    }
    reservado += bytes;
    bytes_ = bytes;
    return true;
}

void ReservaDeMemoria::liberar()
{
    if (bytes_ == 0) return;
    {
        const std::lock_guard<std::mutex> vez(trava);
        reservado -= bytes_;
        bytes_ = 0;
    }
    liberada.notify_all();
}

} // namespace corretor
