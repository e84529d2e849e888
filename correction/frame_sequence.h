// A sequence of frames (a video's) corrected in order by several threads at once: one thread
// reads, the workers correct, the calling thread writes, and frames move from each to the next
// as soon as they are ready, a bounded number of them in flight.
//
// Frames are 8-bit, 3-channel pictures (cv::Mat, blue, green, red), numbered from 0 in the order
// they are read; corrected frame k is written k-th, whatever order the workers finish in. The
// steps are the caller's; the first one to fail stops the others, and nothing is written after
// it.
#pragma once

#include "correction/shared_correction.h"

#include <opencv2/core.hpp>

#include <functional>
#include <optional>
#include <string>

namespace corretor {

struct EtapasDaSequencia
{
    // Puts the next frame in `quadro` (which may hold an earlier frame's pixels, to be reused
    // when the size fits). Returns false at the end, with a reason recorded (utilities/report.h)
    // when it stopped on a failure. Called on a thread of its own, one call at a time.
    std::function<bool(cv::Mat& quadro)> ler;
    // Writes the next corrected frame; false, reason recorded, on failure. Called on the calling
    // thread, in order.
    std::function<bool(const cv::Mat& corrigido)> gravar;
    // Told, on the calling thread, how many frames are written after each; may be empty.
    std::function<void(long gravados)> progresso;
    // Told, on the calling thread, the number of the first frame whose correction reached no
    // pixel of the field (its result is black); may be empty.
    std::function<void(long quadro)> campoVazio;
    // Told, on the calling thread, once, the warning for the triangles where the curved map
    // would fold (avisoDePlanos, correction/driver.h); may be empty.
    std::function<void(const std::string& aviso)> planos;
};

// Reads every frame with etapas.ler, corrects it with `correcao` (forward, or interpolated in
// mode `interpolado`) on one of `trabalhadores`
// threads (at least 1; while more than one works, OpenCV's parallel loops are held to one
// thread, LacosSemParalelo), and writes the results with etapas.gravar. Returns the number of
// frames written, or -1 with the reason recorded on the calling thread: the first failure of
// any step; a failed correction is named by its frame, counted from 1 ("quadro 7: ..."). Reads
// the mesh store.
long corrigirSequencia(CorrecaoCompartilhada& correcao, std::optional<ModoInterpolado> interpolado,
                       const EtapasDaSequencia& etapas, int trabalhadores);

} // namespace corretor
