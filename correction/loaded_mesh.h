// A workspace's mesh and pattern held as values, for a host that keeps several meshes in one
// process and corrects with them from several threads at once (the Python module).
//
// The mesh store (mesh/mesh_store.h) holds one mesh at a time, and the correction reads it.
// These objects take turns at the store by mesh: any number of threads correcting with one
// mesh run at once; a thread with another mesh waits until they are done (and threads of the
// mesh in the store that come after it wait for it), puts its mesh's tables into the store and
// goes on. Loading a mesh is a turn of its own. The store keeps the tables of the mesh used
// last, so code that reads or fills the store directly must not run beside these objects.
#pragma once

#include "correction/shared_correction.h"
#include "mesh/mesh_store.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corretor {

class MalhaCarregada
{
public:
    // Loads the workspace in the folder `pasta` ("" for the working directory): its mesh files,
    // read by carregarMalhaDe, and "data/pattern.jpg", nothing else, leaving the working
    // directory as it is. Returns null, with the reason recorded, when any cannot be read.
    static std::unique_ptr<MalhaCarregada> carregar(const std::string& pasta);

    // The mesh that `encher` puts into the store (during a turn of its own, the store cleared
    // first), with `padrao` (8-bit, 3 channels; copied): for a mesh made in memory. `encher`
    // returns false, recording why, when it cannot; null is then returned.
    static std::unique_ptr<MalhaCarregada> doArmazem(const std::function<bool()>& encher,
                                                     const cv::Mat& padrao);

    // A mesh given as its tables, with its pattern (8-bit, 3 channels; copied).
    MalhaCarregada(const TabelasDaMalha& tabelas, const cv::Mat& padrao);

    MalhaCarregada(const MalhaCarregada&) = delete;
    MalhaCarregada& operator=(const MalhaCarregada&) = delete;

    // Corrects `imagem` (8-bit, 3 channels, any row stride; not changed) as corrigir-lote
    // corrects an image with this mesh and pattern: forward, or with `interpolado` the
    // interpolated correction in that mode. Returns the new image of the pattern's size, or
    // null with the reason recorded on the calling thread. `colocouAlgum`, when given, is told
    // whether any pixel of the field was reached. Any number of threads may call at once; the
    // forward warp's working areas are kept for the next calls (two at most).
    Imagem corrigir(const IplImage* imagem, std::optional<ModoInterpolado> interpolado,
                    bool* colocouAlgum = nullptr);

    // The triangles of this mesh where the curved map would fold, once
    // (CorrecaoCompartilhada::planosPorAvisar).
    std::vector<int> planosPorAvisar() { return correcao_.planosPorAvisar(); }

    const TabelasDaMalha& tabelas() const { return tabelas_; }
    const IplImage* padrao() const { return &cabecalhoDoPadrao_; }

private:
    TabelasDaMalha tabelas_;
    cv::Mat padrao_;
    IplImage cabecalhoDoPadrao_;
    std::uint64_t id_;
    CorrecaoCompartilhada correcao_; // its interpolated maps are this mesh's
    std::mutex trava_;               // guards sobras_
    std::vector<std::unique_ptr<AreaDoAvanco>> sobras_;
};

} // namespace corretor
