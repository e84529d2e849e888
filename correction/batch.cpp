// Batch correction: the images are handed out one at a time to a few workers, each of which
// loads, corrects and saves its image on its own; what they share (the mesh store, the pattern)
// is only read. While several workers run, OpenCV's parallel loops inside the enlargement and
// the warp are kept to one thread, so that the workers, not the loops, share the cores.
#include "correction/batch.h"

#include "correction/driver.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>

namespace corretor {

std::string_view raizDoResultado(std::string_view imagem)
{
    const std::size_t barra = imagem.rfind('/');
    const std::string_view nome =
        barra == std::string_view::npos ? imagem : imagem.substr(barra + 1);
    if (nome.empty() || nome == "." || nome == "..") return {};
    // The last extension goes, unless its dot is the name's first character (".oculta").
    const std::size_t ponto = nome.rfind('.');
    return ponto == 0 || ponto == std::string_view::npos ? nome : nome.substr(0, ponto);
}

std::string nomeDoResultado(std::string_view imagem, const std::string& pasta)
{
    const std::string_view raiz = raizDoResultado(imagem);
    if (raiz.empty()) return "";
    std::string nome = pasta;
    if (!nome.empty() && nome.back() != '/') nome += '/';
    return nome.append(raiz).append(".jpg");
}

namespace {

// Loads, corrects and saves one image as nomeDoResultado(imagem, pasta). Returns true on
// success; otherwise false with the reason in `motivo`. Runs on a worker, with the worker's
// enlargements; the reason is the worker's own (utilities/report.h). With `mapas` (the
// interpolated correction) the enlargements are not used. Nothing it calls throws past it.
bool corrigirUma(const std::string& imagem, const std::string& pasta, const IplImage* padrao,
                 Ampliacoes& ampliacoes, MapasPorTamanho* mapas, Interpolacao filtro,
                 std::string& motivo, bool& colocouAlgum) noexcept
{
    limparFalha();
    try {
        try {
            const std::string resultado = nomeDoResultado(imagem, pasta);
            const Imagem image =
                mapas != nullptr ? abrir(imagem.c_str()) : abrirParaAmpliar(imagem.c_str());
            Imagem corrigida;
            if (image != nullptr && mapas != nullptr) {
                const auto doTamanho = mapas->para(cv::Size(image->width, image->height));
                if (doTamanho != nullptr)
                    corrigida = morphInterpolado(image.get(), *doTamanho, filtro, &colocouAlgum);
            } else if (image != nullptr) {
                corrigida = corrigirImagem(image.get(), padrao, nullptr, ampliacoes, &colocouAlgum);
            }
            if (corrigida != nullptr && save(resultado.c_str(), corrigida.get())) return true;
        } catch (...) {
            falhar(motivoDaExcecao());
        }
        motivo = houveFalha() ? motivoFalha() : "falha sem motivo registrado";
        // A reason that does not name the image is given it, so that every report says which.
        if (motivo.find("\"" + imagem + "\"") == std::string::npos)
            motivo = "\"" + imagem + "\": " + motivo;
    } catch (...) { // no memory even for the words of the reason
        motivo.clear();
    }
    limparFalha();
    return false;
}

// Holds OpenCV's parallel loops to the calling thread while it lives.
class LacosSemParalelo
{
public:
    LacosSemParalelo() : antes_(cv::getNumThreads()) { cv::setNumThreads(1); }
    ~LacosSemParalelo() { cv::setNumThreads(antes_); }
    LacosSemParalelo(const LacosSemParalelo&) = delete;
    LacosSemParalelo& operator=(const LacosSemParalelo&) = delete;

private:
    int antes_;
};

} // namespace

int corrigirLote(const std::vector<std::string>& imagens, const std::string& pasta,
                 const IplImage* padrao, int trabalhadores, const ProgressoLote& progresso,
                 const FalhaLote& falha, const FalhaLote& aviso,
                 std::optional<Interpolacao> interpolacao)
{
    const int total = static_cast<int>(imagens.size());
    std::optional<MapasPorTamanho> mapas; // shared by the workers
    if (interpolacao) mapas.emplace(cv::Size(padrao->width, padrao->height));
    std::atomic<int> proxima{0};
    std::mutex trava; // guards the counts and the calls to progresso and falha
    int feitas = 0, corrigidas = 0;
    auto trabalhar = [&] {
        Ampliacoes ampliacoes; // this worker's, reused while the images keep one size
        for (int k = proxima++; k < total; k = proxima++) {
            std::string motivo;
            bool colocouAlgum = true;
            const bool ok =
                corrigirUma(imagens[k], pasta, padrao, ampliacoes, mapas ? &*mapas : nullptr,
                            interpolacao.value_or(Interpolacao::Cubica), motivo, colocouAlgum);
            const std::lock_guard<std::mutex> vez(trava);
            ++feitas;
            corrigidas += ok;
            // The caller's reports run on this thread, which an exception must not leave.
            semDeixarEscapar("o relato de uma imagem falhou", [&] {
                if (!ok && falha) falha(imagens[k], motivo);
                if (ok && !colocouAlgum && aviso)
                    aviso(imagens[k], "\"" + imagens[k] + "\": " + avisoDeCampoVazio());
                if (progresso) progresso(feitas, total);
            });
        }
    };
    trabalhadores = std::max(1, std::min(trabalhadores, total));
    if (trabalhadores == 1) {
        trabalhar();
    } else {
        const LacosSemParalelo umPorTrabalhador;
        std::vector<std::thread> outros;
        for (int t = 1; t < trabalhadores; ++t)
            outros.emplace_back(trabalhar);
        trabalhar();
        for (auto& t : outros)
            t.join();
    }
    limparFalha();
    return corrigidas;
}

} // namespace corretor
