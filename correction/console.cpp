#include "correction/console.h"

#include "utilities/report.h"

#include <cerrno>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace corretor {

namespace {
bool espaco(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
} // namespace

bool lerPalavra(std::FILE* entrada, char* nome, std::size_t capacidade)
{
    nome[0] = '\0';
    int c;
    do {
        c = std::getc(entrada);
    } while (espaco(c));
    if (c == EOF) {
        falhar("a entrada terminou antes do nome da imagem");
        return false;
    }
    std::size_t n = 0;
    for (; c != EOF && !espaco(c); c = std::getc(entrada)) {
        if (n + 1 == capacidade) {
            nome[0] = '\0';
            falhar("o nome da imagem tem mais de " + std::to_string(capacidade - 1) +
                   " caracteres");
            return false;
        }
        nome[n++] = static_cast<char>(c);
    }
    if (c != EOF) std::ungetc(c, entrada);
    nome[n] = '\0';
    return true;
}

void mostrarProgresso(int valor)
{
    static bool primeira = true;
    const char* antes = "\r";
    if (isatty(STDOUT_FILENO)) antes = primeira ? "\033[H\033[2J" : "\r\033[K";
    primeira = false;
    std::printf("%s%d %c", antes, valor, '%');
    std::fflush(stdout);
}

void pausar()
{
    if (!isatty(STDIN_FILENO)) return;
    std::printf("Pressione qualquer tecla para continuar...");
    std::fflush(stdout);
    termios antes{};
    const bool terminal = tcgetattr(STDIN_FILENO, &antes) == 0;
    if (terminal) {
        termios cru = antes;
        cru.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        cru.c_cc[VMIN] = 1;
        cru.c_cc[VTIME] = 0;
        // Drops what was typed ahead (the line end after the name), then waits for a new key.
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &cru);
    }
    char tecla;
    while (read(STDIN_FILENO, &tecla, 1) < 0 && errno == EINTR) {
    }
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &antes);
    std::printf("\n");
}

} // namespace corretor
