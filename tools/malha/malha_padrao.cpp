// malha padrao: the pattern this calibration is made for, and the sheet to print it on
// (calibration/print_pattern.h).
#include "calibration/print_pattern.h"
#include "mesh/paths.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"
#include "utilities/workspace_lock.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace corretor {

namespace {

struct OpcoesDoPadrao
{
    double milimetros = 150;
    double dpi = 300;
    std::string folha = "padrao-para-imprimir.png";
    bool substituir = false;
};

bool lerNumero(const std::string& opcao, const std::string& valor, double minimo, double maximo,
               double& numero)
{
    char* fim = nullptr;
    numero = std::strtod(valor.c_str(), &fim);
    if (valor.empty() || *fim != '\0' || !std::isfinite(numero) || numero < minimo ||
        numero > maximo) {
        char faixa[64];
        std::snprintf(faixa, sizeof faixa, "%g a %g", minimo, maximo);
        falhar(opcao + " pede um número de " + faixa + ", não \"" + escaparControles(valor) + "\"");
        return false;
    }
    return true;
}

bool lerOpcoesDoPadrao(const Argumentos& argumentos, OpcoesDoPadrao& o)
{
    for (std::size_t i = 0; i < argumentos.size(); ++i) {
        const std::string& a = argumentos[i];
        if (a == "--substituir") {
            o.substituir = true;
            continue;
        }
        if (a != "--mm" && a != "--dpi" && a != "--folha") {
            falhar(a.size() >= 2 && a[0] == '-'
                       ? "opção desconhecida \"" + escaparControles(a) + "\""
                       : "argumento inesperado \"" + escaparControles(a) + "\"");
            return false;
        }
        if (i + 1 == argumentos.size()) {
            falhar("falta o valor de " + a);
            return false;
        }
        const std::string& valor = argumentos[++i];
        if (a == "--folha")
            o.folha = valor;
        else if (!lerNumero(a, valor, a == "--mm" ? 20 : 72, a == "--mm" ? 1000 : 2400,
                            a == "--mm" ? o.milimetros : o.dpi))
            return false;
    }
    // The sheet's pixels: at most 20000 on a side, the most an image library writes readily.
    if (o.milimetros / 25.4 * o.dpi * 1.2 > 20000) {
        falhar("--mm e --dpi pedem uma folha de mais de 20000 pixels de lado; use menos");
        return false;
    }
    return podeGravarImagem(o.folha, "--folha");
}

bool gravarImagem(const std::string& caminho, const cv::Mat& imagem)
{
    std::vector<uchar> bytes;
    const bool jpeg = caminho.size() >= 4 && caminho.compare(caminho.size() - 4, 4, ".jpg") == 0;
    const std::vector<int> parametros =
        jpeg ? std::vector<int>{cv::IMWRITE_JPEG_QUALITY, 95} : std::vector<int>{};
    if (!cv::imencode(caminho.substr(caminho.rfind('.')), imagem, bytes, parametros)) {
        falhar("não foi possível codificar \"" + escaparControles(caminho) + "\"");
        return false;
    }
    return gravarArquivoInteiro(caminho, bytes.data(), bytes.size());
}

} // namespace

int malhaPadrao(const Argumentos& argumentos)
{
    OpcoesDoPadrao o;
    if (!lerOpcoesDoPadrao(argumentos, o)) return kSaidaUso;
    const std::string nome = caminhoLocal("data\\pattern.jpg");
    TravaDaPasta trava;
    if (!trava.travar(".", TravaDaPasta::Modo::Escrita)) return kSaidaFalha;
    std::error_code erro;
    if (!o.substituir && std::filesystem::exists(nome, erro)) {
        falhar("\"" + nome + "\" já existe, e as malhas feitas com ele dependem dele; para " +
               "trocá-lo, use \"malha padrao --substituir\"");
        return kSaidaFalha;
    }
    // The sheet is made from the pattern as its file holds it (JPEG), so that what is printed
    // is what the calibration compares with.
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", padraoDeCalibracao(), jpeg, {cv::IMWRITE_JPEG_QUALITY, 95});
    const cv::Mat padrao = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    const cv::Mat folha = folhaParaImprimir(padrao, o.milimetros, o.dpi);
    std::filesystem::create_directories("data", erro);
    if (!gravarImagem(o.folha, folha) || !gravarArquivoInteiro(nome, jpeg.data(), jpeg.size()))
        return kSaidaFalha;
    std::printf("padrão: \"%s\" (%d x %d)\n", nome.c_str(), padrao.cols, padrao.rows);
    std::printf("folha para imprimir: \"%s\" (%d x %d pixels: o padrão com %.0f mm de lado a %.0f "
                "pontos por polegada; imprima em 100%%, sem ajustar à página)\n",
                escaparControles(o.folha).c_str(), folha.cols, folha.rows, o.milimetros, o.dpi);
    return kSaidaOk;
}

} // namespace corretor
