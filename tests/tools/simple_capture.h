// The small capture the calibration's tool tests use.
#pragma once

#include "calibration/sintetica/captura_sintetica.h"

namespace teste {

// A 360 x 350 capture of a pattern of kind `tipo` through a gentle barrel, the field centred
// with some room, a little noise and JPEG.
corretor::Caso casoSimples(corretor::TipoDePadrao tipo);

} // namespace teste
