// comparar: how good a correction is. Compares a corrected image with its pattern inside the
// field circle and prints PSNR, mean absolute difference and coverage.
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "correction/quality_by_mode.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/command_line.h"
#include "utilities/field.h"
#include "utilities/program_setup.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void imprimirUso(FILE* saida)
{
    std::fprintf(saida,
                 "uso: comparar RESULTADO PADRAO [--imagem ARQUIVO]\n"
                 "     comparar --modos IMAGEM\n"
                 "Compara a imagem corrigida RESULTADO com o PADRAO dentro do círculo do campo "
                 "(raio %d em\n"
                 "torno do pixel %d, %d) e mostra o PSNR em dB, a diferença absoluta média e a "
                 "cobertura\n"
                 "(a fração dos pixels do campo que a correção alcançou).\n"
                 "  --imagem ARQUIVO  grava lado a lado: resultado, padrão, diferença (sub2) e "
                 "buracos\n"
                 "  --modos IMAGEM    corrige IMAGEM com a malha e o padrão da pasta de trabalho "
                 "em cada\n"
                 "                    modo (a correção direta, e a interpolada com cada filtro, "
                 "plana e\n"
                 "                    com --suave), cada resultado gravado em JPEG como corrigir "
                 "o grava,\n"
                 "                    e mostra o PSNR e a cobertura de cada um\n",
                 corretor::kRaioDoCampo, corretor::kCentroDoCampo, corretor::kCentroDoCampo);
}

// comparar --modos: the table of the modes for the image `nome`, with the mesh and the pattern
// of the working directory.
int compararModos(const char* nome)
{
    using namespace corretor;
    lerMalhaDaAreaDeTrabalho();
    const Imagem padrao = houveFalha() ? nullptr : abrir(caminhoLocal(filename2).c_str());
    const Imagem imagem = padrao == nullptr ? nullptr : abrirParaAmpliar(nome);
    const std::vector<QualidadeDoModo> modos = imagem == nullptr
                                                   ? std::vector<QualidadeDoModo>{}
                                                   : qualidadePorModo(imagem.get(), padrao.get());
    if (modos.empty()) {
        relatarFalha("comparar");
        return kSaidaFalha;
    }
    std::printf("PSNR (dB)  cobertura  opções de corrigir\n");
    std::vector<int> planos;
    for (const QualidadeDoModo& m : modos) {
        const std::string opcoes = m.modo ? opcoesDoModo(m.modo) : "(nenhuma: a correção direta)";
        std::printf("%9.2f  %9.4f  %s\n", m.qualidade.psnr, m.qualidade.cobertura, opcoes.c_str());
        if (planos.empty()) planos = m.planos;
    }
    std::fflush(stdout);
    if (!planos.empty()) avisar(avisoDePlanos(planos));
    return kSaidaOk;
}

int comparar(int argc, char** argv)
{
    const char* arquivos[2] = {nullptr, nullptr};
    const char* quadro = nullptr;
    int n = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            imprimirUso(stdout);
            return corretor::kSaidaOk;
        }
        if (a == "--modos") {
            if (i + 1 == argc || argv[i + 1][0] == '\0')
                return corretor::erroDeUso("comparar", "falta a IMAGEM depois de --modos");
            if (argc != 3)
                return corretor::erroDeUso("comparar", "--modos IMAGEM não leva outros argumentos");
            return compararModos(argv[i + 1]);
        }
        if (a == "--imagem") {
            if (i + 1 == argc || argv[i + 1][0] == '\0')
                return corretor::erroDeUso("comparar",
                                           "falta o nome do arquivo depois de --imagem");
            quadro = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return corretor::erroDeUso("comparar", "opção desconhecida \"" + a + "\"");
        } else if (n == 2) {
            return corretor::erroDeUso("comparar", "argumento inesperado \"" + a + "\"");
        } else {
            arquivos[n++] = argv[i];
        }
    }
    if (n != 2)
        return corretor::erroDeUso("comparar",
                                   n == 0 ? "faltam o RESULTADO e o PADRAO" : "falta o PADRAO");
    const corretor::Imagem resultado = corretor::abrir(arquivos[0]);
    const corretor::Imagem padrao = resultado ? corretor::abrir(arquivos[1]) : nullptr;
    corretor::Qualidade q{};
    bool ok = padrao != nullptr && corretor::avaliarCorrecao(resultado.get(), padrao.get(), q);
    if (ok) {
        std::printf("PSNR: %.2f dB\n", q.psnr);
        std::printf("diferença absoluta média: %.2f\n", q.diferenca);
        std::printf("cobertura: %.4f (%d pixels do campo)\n", q.cobertura, q.pixelsDoCampo);
    }
    if (ok && quadro != nullptr)
        ok = corretor::save(quadro,
                            corretor::quadroComparativo(resultado.get(), padrao.get()).get());
    if (!ok) corretor::relatarFalha("comparar");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    return corretor::executarPrograma("comparar", [&] { return comparar(argc, argv); });
}
