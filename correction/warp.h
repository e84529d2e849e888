// The mesh warp: moves every pixel of the enlarged image through the affine map of the source
// triangle that holds it into the pattern's pixel grid, keeping what lands inside the field
// circle (utilities/field.h).
//
// Mapping direction: source (enlarged image) to destination (pattern grid), forward. For the
// source pixel in row i, column j, held by triangle t with map m = matrix[t].mat:
//   X = (m[0][0]*j + m[0][1]*i) + m[0][2]     destination column
//   Y = (m[1][0]*j + m[1][1]*i) + m[1][2]     destination row
// each formed in double, the column term plus the row term first, then narrowed to float; the
// destination pixel is (round(X), round(Y)). Collision rule: when the destination's sample 0 is
// not 0, each sample becomes (source + destination) / 2, rounded down; otherwise the source's
// three samples are copied. Sources are taken row by row from the top, each row from the left,
// so the last of several pixels landing on one place weighs one half. Places that nothing
// reaches stay black, and places outside the output (a pattern under 428 x 428) are skipped.
#pragma once

#include "correction/image_ops.h"
#include "utilities/field.h"
#include "utilities/memory.h"

#include <opencv2/core/core_c.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

namespace corretor {

// Rounds a mapped coordinate: truncates toward zero, then adds 1 when the dropped fraction is
// strictly above one half. 2.5 gives 2, 2.51 gives 3, -0.7 gives 0, -2.9 gives -2. Not a
// number gives -2147483648; values at or above 2147483648 give -2147483647; values below
// -2147483648 give -2147483648.
inline int round(float num)
{
    // Only values that fit are converted: the others have their results given here.
    if (!(num >= -2147483648.0f)) return INT_MIN; // not a number, or below the range
    if (num >= 2147483648.0f) return INT_MIN + 1;
    const int d = static_cast<int>(num);
    const float f = num - static_cast<float>(d);
    return f > 0.5f ? d + 1 : d;
}

// Called with the progress value after the source rows; may be empty.
using Progresso = std::function<void(int valor)>;

// The warp of `img` onto a new black image of `tamanho` and sample depth `profundidade`, 3
// channels. Reads the mesh store. The accelerated form: it gives the
// same bytes as morphDireto, on the threads of OpenCV's parallel loops. `progresso` receives
// (100*i)/nl + 1 whenever that value changes after source row i, and 100 at the end. When
// `colocouAlgum` is given, it tells whether any source pixel was placed in the field. Returns
// null, recording why, when `img` is not 8-bit with 3 channels or `profundidade` is not 8-bit.
Imagem morphPara(const IplImage* img, CvSize tamanho, int profundidade, const Progresso& progresso,
                 bool* colocouAlgum = nullptr);

// The bytes the correction's warp (morphAmpliando) works in besides its input and output, for
// an image `largura` pixels wide: the destinations of one chunk of enlarged rows and those rows
// themselves, about 2.4 MB for any image up to 32768 pixels wide.
uint64_t bytesDoAvanco(int largura);

// What morphAmpliando works in besides its input and output, kept by a caller that corrects
// many images (a batch worker) so that images of one width reuse it: new memory for each would
// cost a page fault for every page on its first touch. While it serves a width it holds a claim
// on its bytes (ReservaDeMemoria), so that threads correcting at once take turns rather than ask
// together for more than there is.
struct AreaDoAvanco
{
    ReservaDeMemoria reserva;
    int largura = 0;               // the width of the images it serves; 0 before the first
    std::vector<int32_t> destinos; // one chunk's destinations
    std::vector<uchar> linhas;     // one chunk's enlarged rows, one for every four enlarged rows
};

// The warp of the fourfold enlargement of `image` (dobra twice, correction/stages.h), with the
// bytes, progress and `colocouAlgum` of morphPara on that enlargement, without holding it: the
// enlarged rows are made a chunk at a time as the warp reaches them, one row of
// ampliaLinhaQuatroVezes for the four enlarged rows of each source row. Works in `area` (made
// ready for the image's width first, claiming its bytes), or, when null, in memory of its own.
// Returns null, recording why, when `image` is not 8-bit with 3 channels, `profundidade` is not
// 8-bit, the enlargement would exceed the image record (ampliacaoCabe) or the claim does not
// fit.
Imagem morphAmpliando(const IplImage* image, CvSize tamanho, int profundidade,
                      const Progresso& progresso, bool* colocouAlgum = nullptr,
                      AreaDoAvanco* area = nullptr);

// The warp exactly as defined, one pixel at a time with triangulo: the reference that
// morphPara is proved against. No progress.
Imagem morphDireto(const IplImage* img, CvSize tamanho, int profundidade);

// Makes morphPara use its portable scalar form even on a processor with AVX2 (true), or again the
// fastest form the processor allows (false). Both give the same bytes; for tests and
// benchmarks. Not to be called while a warp runs.
void usarFormaPortavel(bool portavel);

// The correction run's warp: morphPara onto the size and depth of the pattern img2, with the
// progress line on the console. An interface of the system kept for hosts that drive the stages
// themselves; the programs call corrigirImagem (correction/driver.h), and only the tests call it.
// The caller releases the new image with free.
IplImage* morph(const IplImage* img);

} // namespace corretor
