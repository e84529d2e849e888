// The frame pipeline. Three kinds of thread meet at one lock: the reader appends frames to a
// queue, the workers take them in turn and leave their results under their numbers, and the
// writer (the calling thread) takes result k once it is there. The reader waits while too many
// frames are between it and the writer, so memory stays bounded however slow the writer is; the
// pictures of written frames go back to the reader, which decodes the next frames into them
// (new memory for every frame would cost a page fault for each page on its first touch).
#include "correction/frame_sequence.h"

#include "correction/driver.h"
#include "utilities/report.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corretor {

namespace {

// A corrected frame waiting for the writer.
struct Corrigido
{
    Imagem imagem;
    bool colocouAlgum = true;
};

// What the threads share, under `trava`.
class Fila
{
public:
    explicit Fila(int trabalhadores) : limite_(2L * trabalhadores + 2) {}

    // Stops every thread at its next wait, keeping the first reason given.
    void parar(const std::string& motivo)
    {
        const std::lock_guard<std::mutex> vez(trava_);
        if (!falhou_) motivo_ = motivo.empty() ? "falha sem motivo registrado" : motivo;
        falhou_ = parou_ = true;
        mudou_.notify_all();
    }
    // Lets every thread go at its next wait, with nothing failed.
    void encerrar()
    {
        const std::lock_guard<std::mutex> vez(trava_);
        parou_ = true;
        mudou_.notify_all();
    }

    // The reader: a picture to decode into (an earlier frame's, or empty), once fewer than the
    // limit are in flight; false when the work stopped.
    bool esperarVaga(cv::Mat& quadro)
    {
        std::unique_lock<std::mutex> vez(trava_);
        mudou_.wait(vez, [&] { return parou_ || lidos_ - gravados_ < limite_; });
        if (parou_) return false;
        if (!livres_.empty()) {
            quadro = std::move(livres_.back());
            livres_.pop_back();
        }
        return true;
    }
    void entregarLido(cv::Mat&& quadro)
    {
        const std::lock_guard<std::mutex> vez(trava_);
        aCorrigir_.emplace_back(lidos_++, std::move(quadro));
        mudou_.notify_all();
    }
    void fimDaLeitura()
    {
        const std::lock_guard<std::mutex> vez(trava_);
        fimDaLeitura_ = true;
        mudou_.notify_all();
    }

    // A worker: the next frame to correct, or false when there is none left or the work stopped.
    bool proximoACorrigir(long& numero, cv::Mat& quadro)
    {
        std::unique_lock<std::mutex> vez(trava_);
        mudou_.wait(vez, [&] { return parou_ || !aCorrigir_.empty() || fimDaLeitura_; });
        if (parou_ || aCorrigir_.empty()) return false;
        numero = aCorrigir_.front().first;
        quadro = std::move(aCorrigir_.front().second);
        aCorrigir_.pop_front();
        return true;
    }
    void entregarCorrigido(long numero, Corrigido&& corrigido, cv::Mat&& lido)
    {
        const std::lock_guard<std::mutex> vez(trava_);
        corrigidos_.emplace(numero, std::move(corrigido));
        livres_.push_back(std::move(lido));
        mudou_.notify_all();
    }

    // The writer: the next frame in order, or false at the end (`fim` true) or when the work
    // stopped.
    bool proximoAGravar(Corrigido& corrigido, bool& fim)
    {
        std::unique_lock<std::mutex> vez(trava_);
        mudou_.wait(vez, [&] {
            return parou_ || corrigidos_.count(gravados_) != 0 ||
                   (fimDaLeitura_ && gravados_ == lidos_);
        });
        fim = !parou_ && corrigidos_.count(gravados_) == 0;
        if (parou_ || fim) return false;
        const auto no = corrigidos_.find(gravados_);
        corrigido = std::move(no->second);
        corrigidos_.erase(no);
        return true;
    }
    long gravou()
    {
        const std::lock_guard<std::mutex> vez(trava_);
        mudou_.notify_all();
        return ++gravados_;
    }

    // After every thread has ended: whether a step failed, and the first reason.
    bool falhou() const { return falhou_; }
    const std::string& motivo() const { return motivo_; }

private:
    const long limite_; // frames read and not yet written
    std::mutex trava_;
    std::condition_variable mudou_;
    std::deque<std::pair<long, cv::Mat>> aCorrigir_;
    std::map<long, Corrigido> corrigidos_;
    std::vector<cv::Mat> livres_;
    long lidos_ = 0, gravados_ = 0;
    bool fimDaLeitura_ = false, parou_ = false, falhou_ = false;
    std::string motivo_;
};

// The reason recorded on this thread (or the exception being handled), then forgotten.
std::string motivoDaThread()
{
    std::string motivo = houveFalha() ? motivoFalha() : "";
    limparFalha();
    return motivo;
}

void ler(const EtapasDaSequencia& etapas, Fila& fila) noexcept
{
    try {
        cv::Mat quadro;
        while (fila.esperarVaga(quadro)) {
            limparFalha();
            if (!etapas.ler(quadro)) {
                if (houveFalha())
                    fila.parar(motivoDaThread());
                else
                    fila.fimDaLeitura();
                return;
            }
            fila.entregarLido(std::move(quadro));
            quadro = cv::Mat();
        }
    } catch (...) {
        fila.parar(motivoDaExcecao());
    }
}

void corrigir(CorrecaoCompartilhada& correcao, std::optional<ModoInterpolado> interpolado,
              Fila& fila) noexcept
{
    try {
        AreaDoAvanco area; // this worker's, reused while the frames keep one size
        long numero = 0;
        cv::Mat quadro;
        while (fila.proximoACorrigir(numero, quadro)) {
            limparFalha();
            Corrigido corrigido;
            const IplImage cabecalho = cvIplImage(quadro);
            try {
                corrigido.imagem =
                    correcao.corrigir(&cabecalho, interpolado, area, &corrigido.colocouAlgum);
            } catch (...) {
                falhar(motivoDaExcecao());
            }
            if (corrigido.imagem == nullptr) {
                fila.parar("quadro " + std::to_string(numero + 1) + ": " + motivoDaThread());
                return;
            }
            fila.entregarCorrigido(numero, std::move(corrigido), std::move(quadro));
            quadro = cv::Mat();
        }
    } catch (...) {
        fila.parar(motivoDaExcecao());
    }
}

} // namespace

long corrigirSequencia(CorrecaoCompartilhada& correcao, std::optional<ModoInterpolado> interpolado,
                       const EtapasDaSequencia& etapas, int trabalhadores)
{
    trabalhadores = std::max(1, trabalhadores);
    Fila fila(trabalhadores);
    std::vector<std::thread> threads;
    long gravados = 0;
    {
        std::optional<LacosSemParalelo> umPorTrabalhador;
        if (trabalhadores > 1) umPorTrabalhador.emplace();
        try {
            threads.emplace_back(ler, std::cref(etapas), std::ref(fila));
            for (int t = 0; t < trabalhadores; ++t)
                threads.emplace_back(corrigir, std::ref(correcao), interpolado, std::ref(fila));
            bool primeiroVazio = true;
            for (;;) {
                Corrigido corrigido;
                bool fim = false;
                if (!fila.proximoAGravar(corrigido, fim)) break;
                limparFalha();
                if (!etapas.gravar(cv::cvarrToMat(corrigido.imagem.get()))) {
                    fila.parar(motivoDaThread());
                    break;
                }
                gravados = fila.gravou();
                if (!corrigido.colocouAlgum && primeiroVazio && etapas.campoVazio) {
                    primeiroVazio = false;
                    etapas.campoVazio(gravados - 1);
                }
                const std::vector<int> planos = correcao.planosPorAvisar();
                if (!planos.empty() && etapas.planos) etapas.planos(avisoDePlanos(planos));
                if (etapas.progresso) etapas.progresso(gravados);
            }
        } catch (...) {
            fila.parar(motivoDaExcecao());
        }
        // Whatever ended the loop, the other threads are let go before they are waited for.
        fila.encerrar();
        for (auto& t : threads)
            t.join();
    }
    limparFalha();
    if (fila.falhou()) {
        falhar(fila.motivo());
        return -1;
    }
    return gravados;
}

} // namespace corretor
