// comparar: how good a correction is. Compares a corrected image with its pattern inside the
// field circle and prints PSNR, mean absolute difference and coverage.
#include "correction/image_ops.h"
#include "utilities/program_setup.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUso =
    "uso: comparar RESULTADO PADRAO [--imagem ARQUIVO]\n"
    "Compara a imagem corrigida RESULTADO com o PADRAO dentro do círculo do campo (raio 210 em\n"
    "torno do pixel 218, 218) e mostra o PSNR em dB, a diferença absoluta média e a cobertura\n"
    "(a fração dos pixels do campo que a correção alcançou).\n"
    "  --imagem ARQUIVO  grava lado a lado: resultado, padrão, diferença (sub2) e buracos\n";

int comparar(int argc, char** argv)
{
    const char* arquivos[2] = {nullptr, nullptr};
    const char* quadro = nullptr;
    int n = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUso, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--imagem") == 0 && i + 1 < argc) {
            quadro = argv[++i];
        } else if (argv[i][0] != '-' && n < 2) {
            arquivos[n++] = argv[i];
        } else {
            std::fprintf(stderr, "comparar: argumento inesperado \"%s\"\n%s", argv[i], kUso);
            return 2;
        }
    }
    if (n != 2) {
        std::fputs(kUso, stderr);
        return 2;
    }
    IplImage* resultado = corretor::open(arquivos[0]);
    IplImage* padrao = resultado ? corretor::open(arquivos[1]) : nullptr;
    corretor::Qualidade q{};
    bool ok = padrao != nullptr && corretor::avaliarCorrecao(resultado, padrao, q);
    if (ok) {
        std::printf("PSNR: %.2f dB\n", q.psnr);
        std::printf("diferença absoluta média: %.2f\n", q.diferenca);
        std::printf("cobertura: %.4f (%d pixels do campo)\n", q.cobertura, q.pixelsDoCampo);
    }
    if (ok && quadro != nullptr) {
        IplImage* lado = corretor::quadroComparativo(resultado, padrao);
        ok = corretor::save(quadro, lado);
        corretor::free(lado);
    }
    corretor::free(padrao);
    corretor::free(resultado);
    if (!ok) corretor::relatarFalha("comparar");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    corretor::prepararPrograma();
    try {
        return comparar(argc, argv);
    } catch (const cv::Exception& e) {
        corretor::falhar(std::string("erro da biblioteca de imagens: ") + e.what());
        corretor::relatarFalha("comparar");
        return 1;
    }
}
