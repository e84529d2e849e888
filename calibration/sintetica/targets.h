// The targets people print for calibrating a camera, drawn as a pattern of this system: a new
// 436 x 436, 8-bit, 3-channel picture, white where nothing is printed, the target centred on
// the field centre (utilities/field.h) as nearly as whole pixels allow. They repeat themselves:
// a neighbourhood alone cannot tell one square or disc from the next.
#pragma once

#include <opencv2/core.hpp>

namespace corretor {

// A chessboard of `colunas` x `linhas` squares of `casa` pixels, the top-left square dark; with
// `pontos`, a disc of the other colour in the middle of every square. A board of an even
// number of squares each way is its own image turned by half a turn (to a pixel), and every
// board its own mirror image about one axis.
cv::Mat desenharXadrez(int colunas, int linhas, int casa, bool pontos);

// Black discs in `colunas` columns `passo` pixels apart, each of `porColuna` discs. Plain: the
// discs of a column `passo` apart, a grid that is its own image turned by half a turn.
// `alternado`: the asymmetric grid, the discs of a column 2 `passo` apart and every other column
// `passo` lower, which no turn but the whole one maps onto itself.
cv::Mat desenharCirculos(int colunas, int porColuna, int passo, bool alternado);

} // namespace corretor
