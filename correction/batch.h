// Batch correction: many images through one mesh and one pattern, as the program
// corrigir-lote runs it.
//
// Each image gets exactly the correction of the interactive run (corrigirImagem, then save), so
// its result holds the same bytes as the "result.jpg" that corrigir writes for it. The result of
// "fotos/a.png" is "<pasta>/a.jpg": the image's file name without its folder and its last
// extension, then ".jpg". Names are used as given ("/" separated); the mesh store must be loaded
// and is only read. Results are written whole or not at all (save).
#pragma once

#include "correction/warp_interpolado.h"

#include <opencv2/core/core_c.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corretor {

// The part of `imagem` that names its result: its file name without its folder and its last
// extension ("fotos/a.png" gives "a", "a.b.png" gives "a.b", ".oculta" gives ".oculta"). Returns
// "" when `imagem` names no file (empty, or ending in "/", "." or ".."). A view into `imagem`.
std::string_view raizDoResultado(std::string_view imagem);

// The name of the result of `imagem` in `pasta`: "fotos/a.png" in "res" gives "res/a.jpg",
// "a.b.png" gives "res/a.b.jpg". Returns "" when `imagem` names no file (raizDoResultado).
std::string nomeDoResultado(std::string_view imagem, const std::string& pasta);

// The workspace file (the pattern or a mesh file, by its local name) that `nome` names, compared
// by identity (utilities/file_identity.h: device and inode, or the resolved name of a file not
// there yet); "" when it names none of them.
std::string arquivoDaAreaDeTrabalho(const std::string& nome);

// Told, after each image, how many are done (corrected or failed) out of how many.
using ProgressoLote = std::function<void(int feitas, int total)>;
// Told the name of an image that failed and why; the batch goes on with the others.
using FalhaLote = std::function<void(const std::string& imagem, const std::string& motivo)>;

// Corrects every image of `imagens` onto the size of `padrao` and saves each result under
// nomeDoResultado(imagem, pasta); the folder must exist. `trabalhadores` images are corrected
// at once, each on one thread with the library's own parallel loops kept to that thread; with
// 1 they are corrected in turn and each warp uses every core. Images are taken in the order
// given. `aviso` is told of an image that was corrected but placed no pixel in the field
// (avisoDeCampoVazio, correction/driver.h). `progresso`, `falha` and `aviso` (any may be empty)
// are called from whichever thread finished an image, one call at a time. Returns the number of
// images corrected. The reason recorded on the calling thread (utilities/report.h) is cleared.
// With `interpolado` each image gets the interpolated correction in that mode
// (corrigirInterpolado, correction/driver.h) instead, the maps of each input size built once
// for the whole batch and shared by the workers (MapasPorTamanho); where the curved map would
// fold, `aviso` is told so once, with no image name (avisoDePlanos).
int corrigirLote(const std::vector<std::string>& imagens, const std::string& pasta,
                 const IplImage* padrao, int trabalhadores, const ProgressoLote& progresso,
                 const FalhaLote& falha, const FalhaLote& aviso = nullptr,
                 std::optional<ModoInterpolado> interpolado = std::nullopt);

} // namespace corretor
