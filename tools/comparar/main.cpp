// comparar: how good a correction is. Compares a corrected image with its pattern inside the
// field circle and prints PSNR, mean absolute difference and coverage.
#include "correction/image_ops.h"
#include "utilities/command_line.h"
#include "utilities/field.h"
#include "utilities/program_setup.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void imprimirUso(FILE* saida)
{
    std::fprintf(saida,
                 "uso: comparar RESULTADO PADRAO [--imagem ARQUIVO]\n"
                 "Compara a imagem corrigida RESULTADO com o PADRAO dentro do círculo do campo "
                 "(raio %d em\n"
                 "torno do pixel %d, %d) e mostra o PSNR em dB, a diferença absoluta média e a "
                 "cobertura\n"
                 "(a fração dos pixels do campo que a correção alcançou).\n"
                 "  --imagem ARQUIVO  grava lado a lado: resultado, padrão, diferença (sub2) e "
                 "buracos\n",
                 corretor::kRaioDoCampo, corretor::kCentroDoCampo, corretor::kCentroDoCampo);
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
