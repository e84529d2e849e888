// What every program does with its command line: the exit statuses, and the one way a command
// line is refused.
#pragma once

#include <string>

namespace corretor {

constexpr int kSaidaOk = 0;    // the work is done
constexpr int kSaidaFalha = 1; // the work failed (the reason is on standard error)
constexpr int kSaidaUso = 2;   // a command line the program does not take; nothing was done

// Refuses a command line: prints "<programa>: erro: <motivo>; veja "<programa> --help"" on
// standard error, leaving no reason recorded, and returns kSaidaUso.
int erroDeUso(const char* programa, const std::string& motivo);

} // namespace corretor
