// The image stages of the correction run: the twofold upscaling here, the mesh warp in
// correction/warp.h.
//
// Rules shared by every stage:
// - Images are IplImage records with 8-bit samples and three interleaved channels (blue, green,
//   red), the first row at the top. Sample s of the pixel in column x and row y is the byte
//   y*widthStep + x*nChannels + s of imageData; x is the column and y the row, both from 0 at
//   the top-left. Exactly samples 0, 1 and 2 of a pixel are read and written; the padding at
//   the end of a row is never written.
// - A stage never changes or releases its input. It returns a new image that belongs to the
//   caller: an Imagem that releases itself, or, for dobra, whose contract is a raw image, one
//   the caller releases with free (correction/image_ops.h).
// - A stage that cannot run returns null and records why (utilities/report.h).
#pragma once

#include "correction/image_ops.h"
#include "correction/warp.h"
#include "utilities/memory.h"

#include <opencv2/core/types.hpp>

#include <cmath>

namespace corretor {

// True when an image of `largura` x `altura` pixels, enlarged `fator` times in each direction,
// fits the image record: its width, height and byte count must fit in 32-bit fields.
bool ampliacaoCabe(int largura, int altura, int fator);

// True when an image of `largura` x `altura` pixels, enlarged `fator` times (1: kept as it is,
// or 4), fits the image record and the memory (the image, and for fator 4 what the correction's
// warp works in besides it, bytesDoAvanco, correction/warp.h; memory claimed by threads
// correcting at once counts as free, since a claim waits for it); otherwise false, recording
// why. For a check before the image is even decoded.
bool imagemCabe(int largura, int altura, int fator);

// Claims in `reserva` what the correction's warp works in for an image of `largura` x `altura`
// (bytesDoAvanco, correction/warp.h), once its enlargement is known to fit the image record
// (ampliacaoCabe). False, recording why as imagemCabe words it, when either does not fit.
bool reservarAvanco(int largura, int altura, ReservaDeMemoria& reserva);

// Twofold upscaling: returns a new image of twice the width and twice the height of `image`.
// Along a row, the pixel between two copied source pixels is their truncated mean; down a
// column, every odd row repeats the even row above it. The last column repeats its left
// neighbour, the copy of the source's last column. `image` must be 8-bit with 3 channels.
IplImage* dobra(const IplImage* image);

// The same into an existing `saida` of exactly twice the size of `image` (8-bit, 3 channels);
// returns false, writing nothing, when the shapes do not fit. Only pixel bytes are written.
bool dobraEm(const IplImage* image, IplImage* saida);

// The image enlarged four times, as dobra twice enlarges it, the first enlargement released once
// the second is made: for showing it, and for tests and benchmarks (the correction itself
// warps the enlargement without holding it, morphAmpliando in correction/warp.h). Refuses
// (null, reason recorded) before allocating when the result would exceed the image record
// (2 GiB) or the free memory; the two enlargements, 60 bytes for each pixel of `image`, are
// claimed (ReservaDeMemoria, utilities/memory.h) while they are made.
Imagem ampliaQuatroVezes(const IplImage* image);

// One row of the fourfold enlargement: from the source row `fonte` of `largura` pixels,
// `saida` receives the 4 * largura pixels that the enlarged rows 4y to 4y + 3 of that source
// row y all hold (dobra's even row, taken twice); `meio` is room for the 2 * largura pixels
// between. Only pixel bytes are written.
void ampliaLinhaQuatroVezes(const uchar* fonte, int largura, uchar* meio, uchar* saida);

} // namespace corretor
