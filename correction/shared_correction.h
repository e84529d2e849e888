// One correction applied to many images in memory by several threads at once, as corrigir-lote
// applies it to files: each image gets the bytes that corrigir-lote gives the same pixels.
#pragma once

#include "correction/stages.h"
#include "correction/warp.h"
#include "correction/warp_interpolado.h"

#include <opencv2/core/core_c.h>

#include <mutex>
#include <optional>
#include <vector>

namespace corretor {

// The forward correction (corrigirImagem, correction/driver.h) or the interpolated one
// (corrigirInterpolado) onto the size of a pattern, with the interpolated maps of each input
// size and each map (flat or curved) built once and shared by the threads (MapasPorTamanho).
// Reads the mesh store, which must hold one mesh while the object corrects: the maps are that
// mesh's.
class CorrecaoCompartilhada
{
public:
    // Corrects onto the size and depth of `padrao`, which must outlive the object.
    explicit CorrecaoCompartilhada(const IplImage* padrao);

    // Corrects `imagem` (8-bit, 3 channels; not changed): forward, or with `interpolado` the
    // interpolated correction in that mode. `area`, the forward warp's working memory
    // (correction/warp.h), belongs to the calling thread, which keeps it for its next image (the
    // interpolated correction does not use it). Returns the new image, or null with the reason
    // recorded on the calling thread. `colocouAlgum`, when given, is told whether any pixel of
    // the field was reached. Any number of threads may call at once, each with its own `area`.
    Imagem corrigir(const IplImage* imagem, std::optional<ModoInterpolado> interpolado,
                    AreaDoAvanco& area, bool* colocouAlgum = nullptr);

    // The triangles where the curved map would fold and was made flat
    // (MapasInterpolados::planos), once: the first call after a correction found some returns
    // them, every other call returns none. They depend on the mesh and the output size only, so
    // one warning tells them for the whole run. Any thread may call.
    std::vector<int> planosPorAvisar();

    const IplImage* padrao() const { return padrao_; }

private:
    const IplImage* padrao_;
    MapasPorTamanho planas_, curvas_;
    std::mutex trava_; // guards planos_ and avisados_
    std::vector<int> planos_;
    bool avisados_ = false;
};

// Holds OpenCV's parallel loops to one thread while it lives (process-wide), for work that
// spreads its own threads over the cores.
class LacosSemParalelo
{
public:
    LacosSemParalelo();
    ~LacosSemParalelo();
    LacosSemParalelo(const LacosSemParalelo&) = delete;
    LacosSemParalelo& operator=(const LacosSemParalelo&) = delete;

private:
    int antes_;
};

} // namespace corretor
