// The turns at the mesh store: one count of the threads using it, the mesh they use, and the
// number of threads waiting to put another mesh in. A thread enters when the store holds its
// mesh and no thread waits for another one, or when nobody uses the store (it then puts its
// mesh in); otherwise it waits for the next thread to leave. A waiting thread of another mesh
// thus holds back the late comers of the mesh in use, so it cannot wait for ever.
#include "correction/loaded_mesh.h"

#include "correction/image_ops.h"
#include "mesh/paths.h"
#include "utilities/report.h"

#include <atomic>
#include <condition_variable>

namespace corretor {

namespace {

struct Turnos
{
    std::mutex trava;
    std::condition_variable mudou;
    std::uint64_t atual = 0; // the mesh in the store; 0 when unknown
    int usando = 0;          // threads using it
    int esperando = 0;       // threads waiting to put in another
};

Turnos& turnos()
{
    static Turnos t;
    return t;
}

std::uint64_t novoId()
{
    static std::atomic<std::uint64_t> proximo{1};
    return proximo++;
}

// The store, with the mesh `id` in it (its `tabelas` put in when it holds another one; null
// for a load, which fills the store itself), held while the object lives.
class TurnoNoArmazem
{
public:
    TurnoNoArmazem(std::uint64_t id, const TabelasDaMalha* tabelas)
    {
        Turnos& t = turnos();
        std::unique_lock<std::mutex> vez(t.trava);
        for (;;) {
            const bool mesma = t.atual == id;
            if ((mesma && t.esperando == 0) || (!mesma && t.usando == 0)) {
                if (!mesma) {
                    if (tabelas != nullptr) colocarMalha(*tabelas);
                    t.atual = id;
                }
                ++t.usando;
                return;
            }
            if (!mesma) ++t.esperando;
            t.mudou.wait(vez);
            if (!mesma) --t.esperando;
        }
    }
    ~TurnoNoArmazem()
    {
        Turnos& t = turnos();
        const std::lock_guard<std::mutex> vez(t.trava);
        --t.usando;
        t.mudou.notify_all();
    }
    TurnoNoArmazem(const TurnoNoArmazem&) = delete;
    TurnoNoArmazem& operator=(const TurnoNoArmazem&) = delete;

    // After a failed load the store holds no known mesh.
    static void esquecer()
    {
        Turnos& t = turnos();
        const std::lock_guard<std::mutex> vez(t.trava);
        t.atual = 0;
    }
};

} // namespace

std::unique_ptr<MalhaCarregada> MalhaCarregada::carregar(const std::string& nome)
{
    limparFalha();
    // "" is the working directory; "w/" names its files "w/data/...", not "w//data/...".
    std::string pasta = nome.empty() ? "." : nome;
    while (pasta.size() > 1 && pasta.back() == '/')
        pasta.pop_back();
    const Imagem padrao = abrir((pasta + "/data/pattern.jpg").c_str());
    if (padrao == nullptr) return nullptr;
    return doArmazem([&pasta] { return lerMalhaDaAreaDeTrabalho(pasta); },
                     cv::cvarrToMat(padrao.get()));
}

std::unique_ptr<MalhaCarregada> MalhaCarregada::doArmazem(const std::function<bool()>& encher,
                                                          const cv::Mat& padrao)
{
    TabelasDaMalha tabelas{};
    {
        const TurnoNoArmazem turno(novoId(), nullptr);
        // Cleared first: a file with fewer records than the mesh before would keep its rest.
        limparMalha();
        if (!encher()) {
            TurnoNoArmazem::esquecer();
            return nullptr;
        }
        tabelas = copiarMalha();
    }
    return std::make_unique<MalhaCarregada>(tabelas, padrao);
}

MalhaCarregada::MalhaCarregada(const TabelasDaMalha& tabelas, const cv::Mat& padrao)
    : tabelas_(tabelas), padrao_(padrao.clone()), cabecalhoDoPadrao_(cvIplImage(padrao_)),
      id_(novoId()), correcao_(&cabecalhoDoPadrao_)
{
}

Imagem MalhaCarregada::corrigir(const IplImage* imagem, std::optional<ModoInterpolado> interpolado,
                                bool* colocouAlgum)
{
    std::unique_ptr<AreaDoAvanco> area;
    {
        const std::lock_guard<std::mutex> vez(trava_);
        if (!sobras_.empty()) {
            area = std::move(sobras_.back());
            sobras_.pop_back();
        }
    }
    if (area == nullptr) area = std::make_unique<AreaDoAvanco>();
    Imagem corrigida;
    {
        const TurnoNoArmazem turno(id_, &tabelas_);
        corrigida = correcao_.corrigir(imagem, interpolado, *area, colocouAlgum);
    }
    const std::lock_guard<std::mutex> vez(trava_);
    if (sobras_.size() < 2) sobras_.push_back(std::move(area));
    return corrigida;
}

} // namespace corretor
