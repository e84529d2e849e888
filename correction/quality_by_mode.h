// One image corrected in every mode of the programs (the forward correction, then each filter of
// the interpolated one with the flat map and with the curved one) and each result measured
// against the pattern as "comparar" measures a saved result: for the table of flat against
// curved that "comparar --modos" prints and the quality bench makes.
#pragma once

#include "correction/warp_interpolado.h"
#include "utilities/quality.h"

#include <opencv2/core/core_c.h>

#include <optional>
#include <string>
#include <vector>

namespace corretor {

struct QualidadeDoModo
{
    std::optional<ModoInterpolado> modo; // none for the forward correction
    Qualidade qualidade;
    std::vector<int> planos; // with the curved map, the triangles where it was made flat
};

// The options that ask for `modo`, as the programs read them ("" for the forward correction,
// "--interpolado=lanczos --suave").
std::string opcoesDoModo(const std::optional<ModoInterpolado>& modo);

// Corrects `imagem` (8-bit, 3 channels; not changed) onto `padrao` in the seven modes, forward
// first, then linear, cubic and Lanczos, each flat then curved; each result is encoded as
// corrigir saves "result.jpg" (JPEG), decoded again and measured against `padrao`
// (avaliarCorrecao). Reads the mesh store. Returns the seven, or none with the reason recorded
// when a correction or a measure fails.
std::vector<QualidadeDoModo> qualidadePorModo(const IplImage* imagem, const IplImage* padrao);

} // namespace corretor
