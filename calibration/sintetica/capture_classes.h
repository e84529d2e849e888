// The classes of synthetic captures the calibration is measured on (bench/calibration_bench.cpp),
// each made as a user's photographs of that kind would be: the targets people print,
// photographed whole with the sheet about them; local distortion over a smooth lens; captures
// from far coarser to far finer than the pattern; mirrored, defocused and turned captures; and
// symmetric patterns with and without the user's turn.
#pragma once

#include "calibration/sintetica/captura_sintetica.h"

#include <string>
#include <vector>

namespace corretor {

struct ClasseDeCapturas
{
    const char* nome;
    const char* descricao;
};

// Every class, in the bench's order.
const std::vector<ClasseDeCapturas>& classesDeCapturas();

// The cases of the class `nome`, the same at every call; empty for a name no class has.
std::vector<Caso> casosDaClasse(const std::string& nome);

} // namespace corretor
