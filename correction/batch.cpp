// Batch correction: the images are handed out one at a time to a few workers, each of which
// loads, corrects and saves its image on its own; what they share (the mesh store, the pattern)
// is only read. While several workers run, OpenCV's parallel loops inside the enlargement and
// the warp are kept to one thread, so that the workers, not the loops, share the cores.
#include "correction/batch.h"

#include "correction/driver.h"
#include "correction/shared_correction.h"
#include "mesh/paths.h"
#include "utilities/file_identity.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#include <map>
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

// The files of the workspace that no result may replace: the pattern and the mesh files.
std::map<std::string, std::string> arquivosDaAreaDeTrabalho()
{
    std::vector<std::string> nomes = nomesDaMalha();
    nomes.push_back(caminhoLocal(filename2));
    std::map<std::string, std::string> arquivos;
    for (const auto& nome : nomes)
        arquivos.emplace(identidadeDoArquivo(nome), nome);
    return arquivos;
}

} // namespace

std::string arquivoDaAreaDeTrabalho(const std::string& nome)
{
    const auto daMalha = arquivosDaAreaDeTrabalho();
    const auto achado = daMalha.find(identidadeDoArquivo(nome));
    return achado == daMalha.end() ? "" : achado->second;
}

namespace {

// Loads, corrects and saves one image as nomeDoResultado(imagem, pasta). Returns true on
// success; otherwise false with the reason in `motivo`. Runs on a worker, in the worker's area
// of the warp; the reason is the worker's own (utilities/report.h). Nothing it calls throws
// past it.
bool corrigirUma(const std::string& imagem, const std::string& pasta,
                 CorrecaoCompartilhada& correcao, std::optional<ModoInterpolado> interpolado,
                 AreaDoAvanco& area, std::string& motivo, bool& colocouAlgum) noexcept
{
    limparFalha();
    try {
        try {
            const std::string resultado = nomeDoResultado(imagem, pasta);
            // The interpolated correction samples the image itself and never enlarges it.
            const Imagem image =
                interpolado ? abrir(imagem.c_str()) : abrirParaAmpliar(imagem.c_str());
            const Imagem corrigida =
                image == nullptr ? nullptr
                                 : correcao.corrigir(image.get(), interpolado, area, &colocouAlgum);
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

} // namespace

int corrigirLote(const std::vector<std::string>& imagens, const std::string& pasta,
                 const IplImage* padrao, int trabalhadores, const ProgressoLote& progresso,
                 const FalhaLote& falha, const FalhaLote& aviso,
                 std::optional<ModoInterpolado> interpolado)
{
    const int total = static_cast<int>(imagens.size());
    CorrecaoCompartilhada correcao(padrao); // shared by the workers
    std::atomic<int> proxima{0};
    std::mutex trava; // guards the counts and the calls to progresso and falha
    int feitas = 0, corrigidas = 0;
    auto trabalhar = [&] {
        AreaDoAvanco area; // this worker's, reused while the images keep one width
        for (int k = proxima++; k < total; k = proxima++) {
            std::string motivo;
            bool colocouAlgum = true;
            const bool ok =
                corrigirUma(imagens[k], pasta, correcao, interpolado, area, motivo, colocouAlgum);
            const std::lock_guard<std::mutex> vez(trava);
            ++feitas;
            corrigidas += ok;
            // The caller's reports run on this thread, which an exception must not leave.
            semDeixarEscapar("o relato de uma imagem falhou", [&] {
                if (!ok && falha) falha(imagens[k], motivo);
                if (ok && !colocouAlgum && aviso)
                    aviso(imagens[k], "\"" + imagens[k] + "\": " + avisoDeCampoVazio());
                const std::vector<int> planos = correcao.planosPorAvisar();
                if (!planos.empty() && aviso) aviso("", avisoDePlanos(planos));
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
