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
// or 4), fits the image record and the memory (the image, and for fator 4 both enlargements
// while the second is made; memory claimed by threads enlarging at once counts as free, since a
// claim waits for it); otherwise false, recording why. For a check before the image is even
// decoded.
bool imagemCabe(int largura, int altura, int fator);

// Twofold upscaling: returns a new image of twice the width and twice the height of `image`.
// Along a row, the pixel between two copied source pixels is their truncated mean; down a
// column, every odd row repeats the even row above it. The last column repeats its left
// neighbour, the copy of the source's last column. `image` must be 8-bit with 3 channels.
IplImage* dobra(const IplImage* image);

// The image enlarged four times, as the correction run enlarges it: dobra twice, the first
// enlargement released once the second is made. Refuses (null, reason recorded) before
// allocating when the result would exceed the image record (2 GiB) or the free memory; the
// memory is claimed (ReservaDeMemoria, utilities/memory.h), so that threads enlarging at once
// wait for each other rather than ask together for more than there is.
Imagem ampliaQuatroVezes(const IplImage* image);

// The two enlargements of ampliaQuatroVezes, kept by a caller that enlarges many images: images
// of one size then reuse them, where new memory for each would cost a page fault for every page
// on its first touch (about 0.3 s for a 1920x1080 image on a virtual machine). Both are
// released when the object goes.
struct Ampliacoes
{
    ReservaDeMemoria reserva; // the memory claimed for the two, given back after they go
    Imagem primeira;          // twice the size of the image enlarged last
    Imagem segunda;           // four times
};

// ampliaQuatroVezes into `ampliacoes`: the same bytes, in the enlargements kept there, which are
// made anew (the earlier ones released first, then the same checks) only when `image` has
// another size than the one before. Returns ampliacoes.segunda, which stays the object's, or
// null with the reason recorded. Both enlargements are held until the next call.
const IplImage* ampliaQuatroVezesEm(const IplImage* image, Ampliacoes& ampliacoes);

// The same into an existing `saida` of exactly twice the size of `image` (8-bit, 3 channels);
// returns false, writing nothing, when the shapes do not fit. Only pixel bytes are written.
bool dobraEm(const IplImage* image, IplImage* saida);

} // namespace corretor
