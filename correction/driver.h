// The correction driver: the process-wide images and point storage, and the run itself.
#pragma once

#include "correction/stages.h"
#include "correction/warp.h"
#include "correction/warp_interpolado.h"

#include <opencv2/core/core_c.h>

#include <optional>
#include <string>
#include <vector>

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

// The mode that a filter of the interpolated correction (`filtro`, empty when none was asked
// for) and the curved map (`suave`) ask for together, as every program reads "--interpolado"
// and "--suave": none when neither was asked for; the curved map alone takes the cubic filter.
std::optional<ModoInterpolado> modoPedido(std::optional<Interpolacao> filtro, bool suave);

// The warning for the triangles where the curved map would fold and was made flat
// (MapasInterpolados::planos), naming them by their number in the triangle list.
std::string avisoDePlanos(const std::vector<int>& triangulos);

// The interpolated correction of `image` onto the size of `padrao` (correction/warp_interpolado.h)
// in mode `modo`: no enlargement, the maps built for this image's size. Returns the new image,
// or null (reason recorded). Reads the mesh store. `colocouAlgum`, when given, is told whether
// any pixel of the field was sampled; `planos`, when given, gets the triangles where the curved
// map would fold (none for the flat one).
Imagem corrigirInterpolado(const IplImage* image, const IplImage* padrao, ModoInterpolado modo,
                           bool* colocouAlgum = nullptr, std::vector<int>* planos = nullptr);

// The whole correction run on the console: load the mesh, ask for the image name, load the
// image and the pattern, correct (the forward warp, or the interpolated one with `interpolado`),
// save "result.jpg", wait for a key. Returns the exit status: 0 on success, 1 after printing
// the recorded reason of a failure on standard error.
int executarCorrecao(std::optional<ModoInterpolado> interpolado = std::nullopt);

} // namespace corretor
