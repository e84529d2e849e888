// The correction driver: the process-wide images and point storage, and the run itself.
#pragma once

#include "correction/stages.h"
#include "correction/warp.h"
#include "correction/warp_interpolado.h"

#include <opencv2/core/core_c.h>

#include <optional>
#include <string>

namespace corretor {

extern IplImage* img;       // the image to correct, as loaded
extern IplImage* img2;      // the pattern image; its size is the result's
extern IplImage* resultado; // the output of the stage run last
extern char filename[200];  // the name typed at the prompt
extern char filename2[200]; // "data\pattern.jpg"

// Created before main's first step: a storage with the library's default block size, and two
// empty sequences of CvPoint in it. Point picking appends to them; the run clears the storage
// at its end.
extern CvMemStorage* storage;
extern CvSeq* seq;
extern CvSeq* seq2;

// The stages between the loaded image and the result: two twofold enlargements, then the
// warp onto the size of `padrao`, reporting to `progresso` (which may be empty) and telling
// `colocouAlgum` (when given) whether any pixel landed in the field; the enlargement is warped
// as it is made, never held whole (morphAmpliando, correction/warp.h), in `area` when given (a
// caller that corrects many images keeps one). Returns the new image, or null (reason
// recorded). Reads the mesh store.
Imagem corrigirImagem(const IplImage* image, const IplImage* padrao, const Progresso& progresso,
                      bool* colocouAlgum = nullptr, AreaDoAvanco* area = nullptr);

// The warning for a correction that placed no pixel in the field (its result is black), with
// the likely causes.
std::string avisoDeCampoVazio();

// The interpolated correction of `image` onto the size of `padrao` (correction/warp_interpolado.h):
// no enlargement, the maps built for this image's size. Returns the new image, or null (reason
// recorded). Reads the mesh store. `colocouAlgum`, when given, is told
// whether any pixel of the field was sampled.
Imagem corrigirInterpolado(const IplImage* image, const IplImage* padrao, Interpolacao filtro,
                           bool* colocouAlgum = nullptr);

// The whole correction run on the console: load the mesh, ask for the image name, load the
// image and the pattern, correct (the forward warp, or the interpolated one with `interpolacao`),
// save "result.jpg", wait for a key. Returns the exit status: 0 on success, 1 after printing
// the recorded reason of a failure on standard error.
int executarCorrecao(std::optional<Interpolacao> interpolacao = std::nullopt);

} // namespace corretor
