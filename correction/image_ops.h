// The small image operations of the system: load, save and release. The fourth, show, needs a
// window and lives in authoring/show.h. Inside the code images own themselves
// (utilities/image.h); open hands its image to a caller who releases it with free.
#pragma once

#include "utilities/image.h"

#include <opencv2/core.hpp>
#include <opencv2/core/core_c.h>

#include <string>

namespace corretor {

// Loads the image file `nome` (a path as typed, used as it is) as a new 8-bit, 3-channel
// colour image in the file's own pixel grid, whatever the file holds (grey, 16-bit, alpha; an
// orientation tag is not applied). Returns null, recording why in Portuguese with the name,
// when the file cannot be read (missing, not a regular file, over kLimiteDeArquivoDeImagem),
// is damaged (a JPEG cut short or with corrupt data, a PNG with a wrong checksum or cut short:
// the decoder would fill the rest with grey), declares a size that does not fit the image record
// or the free memory (judged from its header, before decoding), or is no image the library
// decodes. Nothing the decoder prints reaches standard error. The caller owns the result and
// releases it with free.
IplImage* open(const char* nome);

// open, for the code: the image owns itself. Null, reason recorded, as open.
Imagem abrir(const char* nome);

// open into `imagem`, a picture of its own. False, reason recorded, when open fails.
bool carregarImagem(const std::string& nome, cv::Mat& imagem);

// abrir for an image that is about to be enlarged four times: the size its header declares is
// judged as the enlargement will judge it (correction/stages.h imagemCabe), before decoding.
Imagem abrirParaAmpliar(const char* nome);

// Saves `image` under `nome`, encoded by the name's extension (JPEG for ".jpg"). The file is
// written whole to a temporary file in the same folder and then renamed over `nome`, so a
// failed save leaves any earlier file of that name as it was. Returns true on success, false
// (recording why) on failure.
bool save(const char* nome, const IplImage* image);

// Releases `image` (header and pixels). Null is accepted and ignored.
void free(IplImage* image);

} // namespace corretor
