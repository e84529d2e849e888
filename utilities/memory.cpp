#include "utilities/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace corretor {

namespace {

// A "Nome:   123 kB" line of a /proc file, in bytes; UINT64_MAX when missing.
uint64_t campoEmBytes(const char* arquivo, const char* nome)
{
    FILE* f = std::fopen(arquivo, "r");
    if (f == nullptr) return UINT64_MAX;
    char linha[256];
    uint64_t valor = UINT64_MAX;
    const size_t n = std::strlen(nome);
    while (std::fgets(linha, sizeof linha, f) != nullptr) {
        unsigned long long kb = 0;
        if (std::strncmp(linha, nome, n) == 0 && std::sscanf(linha + n, " %llu", &kb) == 1) {
            valor = static_cast<uint64_t>(kb) * 1024;
            break;
        }
    }
    std::fclose(f);
    return valor;
}

} // namespace

uint64_t memoriaDisponivel()
{
    uint64_t livre = campoEmBytes("/proc/meminfo", "MemAvailable:");
    rlimit limite{};
    if (getrlimit(RLIMIT_AS, &limite) == 0 && limite.rlim_cur != RLIM_INFINITY) {
        const uint64_t usado = campoEmBytes("/proc/self/status", "VmSize:");
        const uint64_t teto = static_cast<uint64_t>(limite.rlim_cur);
        livre = std::min(livre, usado == UINT64_MAX || usado >= teto ? 0 : teto - usado);
    }
    return livre;
}

} // namespace corretor
