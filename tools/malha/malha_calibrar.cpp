// malha calibrar: a whole mesh from a capture of the pattern (calibration/calibration.h).
#include "authoring/mesh_check.h"
#include "authoring/mesh_value.h"
#include "calibration/calibration.h"
#include "calibration/node_layout.h"
#include "correction/image_ops.h"
#include "mesh/ampliacao.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/file_identity.h"
#include "utilities/report.h"
#include "utilities/workspace_lock.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace corretor {

namespace {

struct OpcoesDeCalibrar
{
    std::string captura;
    int nos = kMaisNos;
    bool substituir = false;
    bool forcar = false; // write a mesh that fails the check against its capture
    std::string imagem;  // empty: no picture
    OpcoesDeCalibracao calibracao;
};

// Options that take a value take it as the next word.
bool lerOpcoesDeCalibrar(const Argumentos& argumentos, OpcoesDeCalibrar& o)
{
    for (std::size_t i = 0; i < argumentos.size(); ++i) {
        const std::string& a = argumentos[i];
        if (a == "--substituir") {
            o.substituir = true;
        } else if (a == "--forcar") {
            o.forcar = true;
        } else if (a == "--nos" || a == "--imagem" || a == "--giro") {
            if (i + 1 == argumentos.size()) {
                falhar("falta o valor de " + a);
                return false;
            }
            const std::string& valor = argumentos[++i];
            if (a == "--imagem") {
                o.imagem = valor;
                continue;
            }
            if (a == "--giro") {
                if (!lerGiro(valor, o.calibracao.giro)) return false;
                o.calibracao.comGiro = true;
                continue;
            }
            char* fim = nullptr;
            const long n = std::strtol(valor.c_str(), &fim, 10);
            if (valor.empty() || *fim != '\0' || n < kMenosNos || n > kMaisNos) {
                falhar("--nos pede um número de " + std::to_string(kMenosNos) + " a " +
                       std::to_string(kMaisNos) + ", não \"" + valor + "\"");
                return false;
            }
            o.nos = static_cast<int>(n);
        } else if (a.size() >= 2 && a[0] == '-') {
            falhar("opção desconhecida \"" + a + "\"");
            return false;
        } else if (o.captura.empty()) {
            o.captura = a;
        } else {
            falhar("argumento inesperado \"" + a + "\"");
            return false;
        }
    }
    if (o.captura.empty()) {
        falhar("falta o nome da captura do padrão");
        return false;
    }
    return true;
}

const char* kCores[] = {"achado", "trocado", "previsto"};

// Whether --imagem may write `imagem`: not over a file of the workspace (the pattern, the
// capture, a mesh file), and only where a picture of its kind can be written. Records why not.
bool imagemGravavel(const std::string& imagem, const std::string& captura)
{
    std::vector<std::string> daPasta = nomesDaMalha();
    daPasta.push_back(caminhoLocal("data\\pattern.jpg"));
    daPasta.push_back(caminhoDaMalhaIncompleta());
    daPasta.push_back(captura);
    const std::string esta = identidadeDoArquivo(imagem);
    const auto mesmo = std::find_if(daPasta.begin(), daPasta.end(), [&](const std::string& nome) {
        return identidadeDoArquivo(nome) == esta;
    });
    if (mesmo != daPasta.end()) {
        falhar("--imagem \"" + escaparControles(imagem) + "\" é \"" + *mesmo +
               "\", da área de trabalho; escolha outro nome");
        return false;
    }
    return podeGravarImagem(imagem, "--imagem");
}

// The capture with the found mesh, beside the pattern with the target mesh, both at the same
// height; nodes green when found, orange when replaced, red when predicted.
bool gravarQuadro(const std::string& nome, const cv::Mat& captura, const cv::Mat& padrao,
                  const std::vector<NoCalibrado>& nos, const std::vector<Triangulo>& triangulos)
{
    const int altura = std::max(padrao.rows, std::min(captura.rows, 900));
    const double fc = static_cast<double>(altura) / captura.rows;
    const double fp = static_cast<double>(altura) / padrao.rows;
    cv::Mat a, b;
    cv::resize(captura, a, cv::Size(), fc, fc, cv::INTER_AREA);
    cv::resize(padrao, b, cv::Size(), fp, fp, cv::INTER_LINEAR);
    const cv::Scalar corDaOrigem[] = {cv::Scalar(40, 200, 40), cv::Scalar(0, 140, 255),
                                      cv::Scalar(40, 40, 230)};
    const auto desenhar = [&](cv::Mat& m, bool naCaptura) {
        const auto ponto = [&](int no) {
            const NoCalibrado& n = nos[no - 1];
            const cv::Point2d p = naCaptura ? n.captura * fc : cv::Point2d(n.destino) * fp;
            return cv::Point(cvRound(p.x * 16), cvRound(p.y * 16));
        };
        for (const auto& t : triangulos)
            for (int k = 0; k < 3; ++k)
                cv::line(m, ponto(t[k]), ponto(t[(k + 1) % 3]), cv::Scalar(255, 160, 0), 1,
                         cv::LINE_AA, 4);
        for (std::size_t k = 0; k < nos.size(); ++k)
            cv::circle(m, ponto(static_cast<int>(k) + 1), 3 * 16,
                       corDaOrigem[static_cast<int>(nos[k].origem)], cv::FILLED, cv::LINE_AA, 4);
    };
    desenhar(a, true);
    desenhar(b, false);
    cv::Mat quadro;
    cv::hconcat(a, b, quadro);
    const IplImage cabecalho = cvIplImage(quadro);
    return save(nome.c_str(), &cabecalho);
}

std::string listaDeNos(const std::vector<NoCalibrado>& nos, NoCalibrado::Origem origem)
{
    std::string lista;
    for (std::size_t k = 0; k < nos.size(); ++k)
        if (nos[k].origem == origem) {
            char item[64];
            if (origem == NoCalibrado::Origem::Trocado)
                std::snprintf(item, sizeof item, "%zu (%.1f px)", k + 1, nos[k].desacordo);
            else
                std::snprintf(item, sizeof item, "%zu", k + 1);
            lista += (lista.empty() ? "" : ", ") + std::string(item);
        }
    return lista;
}

int contar(const std::vector<NoCalibrado>& nos, NoCalibrado::Origem origem)
{
    int n = 0;
    for (const auto& no : nos)
        n += no.origem == origem;
    return n;
}

} // namespace

int malhaCalibrar(const Argumentos& argumentos)
{
    OpcoesDeCalibrar o;
    if (!lerOpcoesDeCalibrar(argumentos, o)) return kSaidaUso;
    if (!o.imagem.empty() && !imagemGravavel(o.imagem, o.captura)) return kSaidaUso;
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Escrita)) return kSaidaFalha;
    std::error_code erro;
    if (!o.substituir)
        for (const std::string& nome : nomesDaMalha())
            if (std::filesystem::exists(nome, erro)) {
                falhar("\"" + nome + "\" já existe; para trocar a malha, use \"malha calibrar " +
                       escaparControles(o.captura) + " --substituir\"");
                return kSaidaFalha;
            }

    cv::Mat padrao, captura;
    if (!carregarImagem(caminhoLocal("data\\pattern.jpg"), padrao) ||
        !carregarImagem(o.captura, captura))
        return kSaidaFalha;
    std::printf("padrão \"%s\": %d x %d; captura \"%s\": %d x %d\n",
                caminhoLocal("data\\pattern.jpg").c_str(), padrao.cols, padrao.rows,
                escaparControles(o.captura).c_str(), captura.cols, captura.rows);
    const std::vector<cv::Point> destino = escolherNosDeDestino(o.nos);
    std::printf("nós de destino: %zu no padrão, o anel de fora além da borda do campo\n",
                destino.size());
    std::fflush(stdout);

    std::vector<NoCalibrado> nos;
    RelatorioDeCalibracao relatorio;
    const auto etapa = [](const std::string& linha) {
        std::printf("%s\n", linha.c_str());
        std::fflush(stdout);
    };
    if (!calibrarCaptura(padrao, captura, escaparControles(o.captura), destino, o.calibracao, nos,
                         relatorio, etapa))
        return kSaidaFalha;

    MalhaNova malha;
    malha.destino = destino;
    for (const auto& no : nos)
        malha.origem.push_back(paraAmpliada(no.captura));
    if (!triangular(malha)) return kSaidaFalha;
    gerarMapas(malha);
    std::printf("triângulos: %zu, como \"malha triangular\" os faz\n", malha.triangulos.size());

    const int achados = contar(nos, NoCalibrado::Origem::Medido);
    std::printf("nós: %zu; %d achados na captura\n", nos.size(), achados);
    const std::string trocados = listaDeNos(nos, NoCalibrado::Origem::Trocado);
    std::printf("  trocados pela previsão do modelo suave, por discordarem dele: %s\n",
                trocados.empty() ? "nenhum" : trocados.c_str());
    const std::string previstos = listaDeNos(nos, NoCalibrado::Origem::Previsto);
    if (!previstos.empty())
        std::printf("  tomados do modelo suave, sem casamento na captura: %s\n", previstos.c_str());
    std::printf("maior desacordo entre um nó achado e o modelo suave: %.2f pixel da captura (nó "
                "%d)\n",
                relatorio.maiorDesacordo, relatorio.noDoMaiorDesacordo);
    for (const auto& aviso : relatorio.avisos)
        avisar(aviso);
    if (!conferirComACaptura(padrao, captura, escaparControles(o.captura), malha, o.forcar))
        return kSaidaFalha;

    Verificacao verificacao;
    if (!verificarEGravar(malha, kTodaAMalha, verificacao)) return kSaidaFalha;
    std::printf("verificação (malha verificar): nenhum problema encontrado\n");
    std::printf("malha gravada: \"data/verticesamp4.txt\", \"data/vertices2.txt\", "
                "\"data/quelvarina.txt\" e \"matrix/0.txt\" a \"matrix/98.txt\"\n");
    if (!o.imagem.empty()) {
        if (!gravarQuadro(o.imagem, captura, padrao, nos, malha.triangulos)) return kSaidaFalha;
        std::printf("imagem: \"%s\" (nós em verde: %s; laranja: %s; vermelho: %s)\n",
                    escaparControles(o.imagem).c_str(), kCores[0], kCores[1], kCores[2]);
    }
    return kSaidaOk;
}

} // namespace corretor
