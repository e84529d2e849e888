#include "utilities/workspace_lock.h"

#include "utilities/report.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace corretor {

namespace {

constexpr int kEsperaPadrao = 60; // seconds

int segundosDeEspera()
{
    const char* valor = std::getenv("CORRETOR_ESPERA_DA_PASTA");
    if (valor == nullptr || *valor == '\0') return kEsperaPadrao;
    char* fim = nullptr;
    const long s = std::strtol(valor, &fim, 10);
    return *fim == '\0' && s >= 0 && s <= 3600 ? static_cast<int>(s) : kEsperaPadrao;
}

// The programs that hold a lock on the file `st` names, from the kernel's list of locks
// (/proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"), each as "pid N (its command
// line)"; empty when the list cannot be read.
std::string quemTrava(const struct stat& st)
{
    std::ifstream locks("/proc/locks");
    std::ostringstream alvo;
    alvo << std::hex << major(st.st_dev) << ':' << minor(st.st_dev) << ':' << std::dec << st.st_ino;
    std::string linha, quem;
    while (std::getline(locks, linha)) {
        std::istringstream campos(linha);
        std::string numero, tipo, modo, acesso, pid, arquivo;
        campos >> numero >> tipo >> modo >> acesso >> pid >> arquivo;
        if (numero == "->") continue; // a waiter, listed under the holder
        // The device may be written with leading zeros: compare its three numbers.
        unsigned maior = 0, menor = 0;
        unsigned long inode = 0;
        if (std::sscanf(arquivo.c_str(), "%x:%x:%lu", &maior, &menor, &inode) != 3 ||
            maior != major(st.st_dev) || menor != minor(st.st_dev) || inode != st.st_ino ||
            pid == std::to_string(getpid()))
            continue;
        std::ifstream cmdline("/proc/" + pid + "/cmdline");
        std::string comando((std::istreambuf_iterator<char>(cmdline)),
                            std::istreambuf_iterator<char>());
        for (char& c : comando)
            if (c == '\0') c = ' ';
        while (!comando.empty() && comando.back() == ' ')
            comando.pop_back();
        quem += (quem.empty() ? "" : "; ") + std::string("pid ") + pid +
                (comando.empty() ? "" : " (" + escaparControles(comando) + ")");
    }
    return quem;
}

} // namespace

TravaDaPasta::~TravaDaPasta()
{
    soltar();
}

void TravaDaPasta::soltar()
{
    if (descritor_ >= 0) close(descritor_); // closing lets go of the lock
    descritor_ = -1;
}

bool TravaDaPasta::travar(const std::string& pasta, Modo modo)
{
    soltar();
    const int d = open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d < 0) {
        falhar("não foi possível abrir a pasta \"" + pasta + "\": " + textoDoErro(errno));
        return false;
    }
    const int operacao = modo == Modo::Escrita ? LOCK_EX : LOCK_SH;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(segundosDeEspera());
    for (;;) {
        if (flock(d, operacao | LOCK_NB) == 0) {
            descritor_ = d;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            falhar("não foi possível travar a pasta \"" + pasta + "\": " + textoDoErro(errno));
            close(d);
            return false;
        }
        if (std::chrono::steady_clock::now() >= limite) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    struct stat st
    {
    };
    const std::string quem = fstat(d, &st) == 0 ? quemTrava(st) : "";
    close(d);
    falhar("a pasta \"" + pasta + "\" está em uso por outro programa" +
           (quem.empty() ? "" : " (" + quem + ")") + " há " + std::to_string(segundosDeEspera()) +
           " segundos; tente de novo quando ele terminar");
    return false;
}

} // namespace corretor
