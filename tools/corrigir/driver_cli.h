// The command line of corrigir, and the option it shares with corrigir-lote.
#pragma once

#include "correction/warp_interpolado.h"

#include <optional>
#include <string>

namespace corretor {

// The lines of the usage texts that describe --interpolado and --suave.
extern const char* const kUsoInterpolado;

// True when `argumento` is the option "--interpolado" or "--interpolado=FILTRO"; `filtro` then
// gets the cubic filter, or the one FILTRO names (linear, cubico, lanczos), or stays empty when
// FILTRO names none of them. False, `filtro` untouched, for any other word.
bool opcaoInterpolado(const std::string& argumento, std::optional<Interpolacao>& filtro);

// The refusal of `argumento`, an "--interpolado=FILTRO" whose FILTRO opcaoInterpolado does not
// know.
std::string filtroDesconhecido(const std::string& argumento);

// Reads "[--interpolado[=FILTRO]] [--suave]" or "--help" and runs the correction (executarCorrecao,
// correction/driver.h). A command line it does not take is refused (utilities/command_line.h)
// before anything is read or written. Returns the exit status.
int executarCorrigir(int argc, const char* const* argv);

} // namespace corretor
