// malha refinar: a hand-picked source mesh moved onto the capture's own detail
// (calibration/calibration.h).
#include "authoring/mesh_check.h"
#include "authoring/mesh_value.h"
#include "calibration/calibration.h"
#include "correction/image_ops.h"
#include "mesh/ampliacao.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace corretor {

namespace {

constexpr double kRaioPadrao = 8;
constexpr double kRaioMaximo = 100;

bool lerOpcoesDeRefinar(const Argumentos& argumentos, std::string& captura, double& raio,
                        bool& forcar)
{
    for (std::size_t i = 0; i < argumentos.size(); ++i) {
        const std::string& a = argumentos[i];
        if (a == "--forcar") {
            forcar = true;
        } else if (a == "--raio") {
            if (i + 1 == argumentos.size()) {
                falhar("falta o valor de --raio");
                return false;
            }
            const std::string& valor = argumentos[++i];
            char* fim = nullptr;
            raio = std::strtod(valor.c_str(), &fim);
            if (valor.empty() || *fim != '\0' || !(raio >= 1 && raio <= kRaioMaximo)) {
                falhar("--raio pede um número de pixels de 1 a 100, não \"" +
                       escaparControles(valor) + "\"");
                return false;
            }
        } else if (a.size() >= 2 && a[0] == '-') {
            falhar("opção desconhecida \"" + a + "\"");
            return false;
        } else if (captura.empty()) {
            captura = a;
        } else {
            falhar("argumento inesperado \"" + a + "\"");
            return false;
        }
    }
    if (captura.empty()) {
        falhar("falta o nome da captura do padrão");
        return false;
    }
    return true;
}

// The hand-picked mesh: both vertex files of one length and the triangle file.
bool carregarMalhaMarcada(MalhaNova& malha)
{
    if (!lerMalhaDaPasta(malha, false)) return false;
    const int nosOrigem = static_cast<int>(malha.origem.size());
    const int nosDestino = static_cast<int>(malha.destino.size());
    if (nosOrigem != nosDestino || nosOrigem < 3) {
        falhar(nosDiferentes(nosOrigem, nosDestino) +
               "; para refinar, os dois devem listar os mesmos nós (3 ou mais), na mesma ordem");
        return false;
    }
    if (!lerMalhaDaPasta(malha, true)) {
        limparFalha();
        falhar("não foi possível ler \"" + caminhoLocal("data\\quelvarina.txt") +
               "\"; os triângulos vêm de lá (faça-os com \"malha triangular\")");
        return false;
    }
    return true;
}

// The picks that lie outside the capture or far from where the others put them, by node
// number, each with what became of it.
std::string listaDeSuspeitos(const std::vector<NoRefinado>& nos, bool movidos)
{
    std::string lista;
    for (std::size_t k = 0; k < nos.size(); ++k)
        if ((nos[k].fora || nos[k].discorda) && nos[k].movido == movidos)
            lista += (lista.empty() ? "" : ", ") + std::to_string(k + 1) + " (" +
                     (nos[k].fora ? "fora da captura" : "longe de onde os outros o põem") + ")";
    return lista;
}

} // namespace

int malhaRefinar(const Argumentos& argumentos)
{
    std::string nomeDaCaptura;
    double raio = kRaioPadrao;
    bool forcar = false;
    if (!lerOpcoesDeRefinar(argumentos, nomeDaCaptura, raio, forcar)) return kSaidaUso;
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Escrita) || !malhaCompleta()) return kSaidaFalha;
    const std::string mostrado = escaparControles(nomeDaCaptura);

    MalhaNova malha;
    cv::Mat padrao, captura;
    if (!carregarMalhaMarcada(malha) ||
        !carregarImagem(caminhoLocal("data\\pattern.jpg"), padrao) ||
        !carregarImagem(nomeDaCaptura, captura))
        return kSaidaFalha;
    const std::vector<cv::Point> origem = malha.origem;
    std::printf("malha marcada: %zu nós; captura \"%s\": %d x %d\n", origem.size(),
                mostrado.c_str(), captura.cols, captura.rows);

    std::vector<cv::Point2d> naCaptura;
    naCaptura.reserve(origem.size());
    for (const auto& v : origem)
        naCaptura.push_back(daAmpliada(v));
    std::vector<NoRefinado> nos;
    RelatorioDeCalibracao relatorio;
    const auto etapa = [](const std::string& linha) {
        std::printf("%s\n", linha.c_str());
        std::fflush(stdout);
    };
    if (!refinarNos(padrao, captura, mostrado, malha.destino, naCaptura, raio, nos, relatorio,
                    etapa))
        return kSaidaFalha;

    std::string parados;
    std::vector<cv::Point>& novos = malha.origem;
    for (std::size_t k = 0; k < nos.size(); ++k) {
        if (!nos[k].movido) {
            parados += (parados.empty() ? "" : ", ") + std::to_string(k + 1);
            continue;
        }
        novos[k] = paraAmpliada(nos[k].depois);
        const cv::Point2d d = nos[k].depois - nos[k].antes;
        std::printf("nó %zu: (%d, %d) -> (%d, %d), movido %.2f pixel da captura (%+.2f, %+.2f), "
                    "confiança %.2f\n",
                    k + 1, origem[k].x, origem[k].y, novos[k].x, novos[k].y, cv::norm(d), d.x, d.y,
                    nos[k].confianca);
    }
    std::printf("nós sem casamento a até %.1f pixels, deixados onde estavam: %s\n", raio,
                parados.empty() ? "nenhum" : parados.c_str());
    const std::string achados = listaDeSuspeitos(nos, true);
    if (!achados.empty())
        avisar("nós marcados fora do lugar, levados ao que a captura mostra: " + achados);
    const std::string perdidos = listaDeSuspeitos(nos, false);
    if (!perdidos.empty()) {
        falhar("nós marcados fora do lugar e sem casamento na captura \"" + mostrado +
               "\": " + perdidos + "; corrija-os com \"malha editar\"");
        return kSaidaFalha;
    }
    if (!conferirComACaptura(padrao, captura, mostrado, malha, forcar)) return kSaidaFalha;

    // The target nodes and the triangles stay as they are: only the source file and the maps
    // are written.
    gerarMapas(malha);
    Verificacao verificacao;
    if (!verificarEGravar(malha, kVerticesDeOrigem | kMapas, verificacao)) return kSaidaFalha;
    std::printf("verificação (malha verificar): nenhum problema encontrado\n");
    std::printf("gravados: \"data/verticesamp4.txt\" e \"matrix/0.txt\" a \"matrix/98.txt\"\n");
    return kSaidaOk;
}

} // namespace corretor
