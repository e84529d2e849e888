#include "correction/driver.h"

#include "correction/console.h"
#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "utilities/memory.h"
#include "utilities/report.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace corretor {

IplImage* img;
IplImage* img2;
IplImage* resultado;
char filename[200];
char filename2[200] = "data\\pattern.jpg";

// Definition order is creation order: the storage first, then the two sequences in it.
CvMemStorage* storage = cvCreateMemStorage(0);
CvSeq* seq = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);
CvSeq* seq2 = cvCreateSeq(CV_32SC2, sizeof(CvContour), sizeof(CvPoint), storage);

namespace {

// True when `image` enlarged four times fits the image record and the free memory, with the
// output of `padrao`'s size; otherwise false, recording why.
bool ampliacaoPossivel(const IplImage* image, const IplImage* padrao)
{
    const std::string tamanho = std::to_string(image->width) + "x" + std::to_string(image->height);
    if (!ampliacaoCabe(image->width, image->height, 4)) {
        falhar("a imagem de " + tamanho +
               " pixels ampliada quatro vezes excede o tamanho máximo de uma imagem (2 GiB)");
        return false;
    }
    // While the second enlargement is made, both enlargements are held; then the warp's output.
    const uint64_t pixels = uint64_t(image->width) * uint64_t(image->height);
    constexpr uint64_t kBytesPorPixel = 60; // 3 bytes in each enlargement: 4 + 16 pixels
    const uint64_t precisa = kBytesPorPixel * pixels + uint64_t(padrao->imageSize);
    const uint64_t livre = memoriaDisponivel();
    if (precisa > livre) {
        falhar("a imagem de " + tamanho + " pixels ampliada quatro vezes precisa de " +
               std::to_string(precisa >> 20) + " MiB, mas há só " + std::to_string(livre >> 20) +
               " MiB de memória livre");
        return false;
    }
    return true;
}

} // namespace

IplImage* corrigirImagem(const IplImage* image, const IplImage* padrao, const Progresso& progresso)
{
    if (!ampliacaoPossivel(image, padrao)) return nullptr;
    IplImage* primeira = dobra(image);
    if (primeira == nullptr) return nullptr;
    IplImage* segunda = dobra(primeira);
    free(primeira);
    if (segunda == nullptr) return nullptr;
    IplImage* corrigida = morphPara(segunda, cvGetSize(padrao), padrao->depth, progresso);
    free(segunda);
    return corrigida;
}

Ampliacoes::~Ampliacoes()
{
    free(segunda);
    free(primeira);
}

IplImage* corrigirImagem(const IplImage* image, const IplImage* padrao, const Progresso& progresso,
                         Ampliacoes& ampliacoes)
{
    IplImage*& primeira = ampliacoes.primeira;
    IplImage*& segunda = ampliacoes.segunda;
    const bool servem = primeira != nullptr && segunda != nullptr &&
                        primeira->width == 2 * image->width &&
                        primeira->height == 2 * image->height;
    if (!servem) {
        free(segunda);
        free(primeira);
        primeira = segunda = nullptr;
        if (!ampliacaoPossivel(image, padrao)) return nullptr;
        primeira = cvCreateImage(cvSize(2 * image->width, 2 * image->height), IPL_DEPTH_8U, 3);
        segunda = cvCreateImage(cvSize(4 * image->width, 4 * image->height), IPL_DEPTH_8U, 3);
    }
    if (!dobraEm(image, primeira) || !dobraEm(primeira, segunda)) {
        falhar("a ampliação recebe só imagens de 8 bits com 3 canais");
        return nullptr;
    }
    return morphPara(segunda, cvGetSize(padrao), padrao->depth, progresso);
}

namespace {

// Releases the run's images and clears the storage; the handles are not used afterwards.
void liberarTudo()
{
    cvClearMemStorage(storage);
    free(img);
    free(img2);
    free(resultado);
    img = img2 = resultado = nullptr;
}

int falhaDaCorrecao()
{
    relatarFalha("corrigir");
    liberarTudo();
    return 1;
}

} // namespace

int executarCorrecao()
{
    const bool semPrompt = carregaVetorVertices();
    if (houveFalha()) return falhaDaCorrecao();
    if (!semPrompt) std::printf("Entre com o nome da imagem a corrigir: ");
    std::fflush(stdout);
    if (!lerPalavra(stdin, filename, sizeof filename)) return falhaDaCorrecao();
    std::printf("\n%s", filename);
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    img = open(filename);
    if (img == nullptr) return falhaDaCorrecao();
    img2 = open(caminhoLocal(filename2).c_str());
    if (img2 == nullptr) return falhaDaCorrecao();

    resultado = corrigirImagem(img, img2, mostrarProgresso);
    if (resultado == nullptr || !save("result.jpg", resultado)) return falhaDaCorrecao();

    std::printf("\nSua nova imagem foi salva com o nome de: result.jpg\n\n");
    std::fflush(stdout);
    pausar();
    liberarTudo();
    return 0;
}

} // namespace corretor
