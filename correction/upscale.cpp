// Twofold upscaling.
//
// For a source row s of w pixels, the even output row is
//   out(2c)     = s(c)                          c = 0 .. w-1
//   out(2c + 1) = floor((s(c) + s(c + 1)) / 2)  c = 0 .. w-2
//   out(2w - 1) = s(w - 1)                      the last column repeats its left neighbour
// per sample, and the odd row below it is a copy of it. Each even row is written once and
// then copied, and bands of rows run in parallel on the threads of OpenCV's parallel loops.
#include "correction/stages.h"

#include "utilities/memory.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace corretor {

namespace {

bool formaAceita(const IplImage* image)
{
    return image != nullptr && image->depth == IPL_DEPTH_8U && image->nChannels == 3;
}

// formaAceita, recording why an image of another shape is refused.
bool aceitarForma(const IplImage* image)
{
    if (formaAceita(image)) return true;
    falhar("a ampliação recebe só imagens de 8 bits com 3 canais");
    return false;
}

// One even output row from one source row of `largura` pixels.
void dobraLinha(const uchar* fonte, uchar* saida, int largura)
{
    for (int c = 0; c + 1 < largura; ++c, fonte += 3, saida += 6) {
        saida[0] = fonte[0];
        saida[1] = fonte[1];
        saida[2] = fonte[2];
        saida[3] = static_cast<uchar>((fonte[0] + fonte[3]) >> 1);
        saida[4] = static_cast<uchar>((fonte[1] + fonte[4]) >> 1);
        saida[5] = static_cast<uchar>((fonte[2] + fonte[5]) >> 1);
    }
    saida[0] = saida[3] = fonte[0];
    saida[1] = saida[4] = fonte[1];
    saida[2] = saida[5] = fonte[2];
}

// ampliacaoCabe, recording why when an image of that size does not fit.
bool aceitarAmpliacao(int largura, int altura, int fator)
{
    if (ampliacaoCabe(largura, altura, fator)) return true;
    const char* vezes = fator == 1   ? ""
                        : fator == 2 ? " ampliada duas vezes"
                                     : " ampliada quatro vezes";
    falhar("a imagem de " + std::to_string(largura) + "x" + std::to_string(altura) + " pixels" +
           vezes + " excede o tamanho máximo de uma imagem (2 GiB)");
    return false;
}

} // namespace

bool ampliacaoCabe(int largura, int altura, int fator)
{
    const int64_t w = static_cast<int64_t>(largura) * fator;
    const int64_t h = static_cast<int64_t>(altura) * fator;
    const int64_t passo = (w * 3 + 3) / 4 * 4;
    return largura > 0 && altura > 0 && w <= INT_MAX && h <= INT_MAX && passo <= INT_MAX &&
           passo * h <= INT_MAX;
}

bool dobraEm(const IplImage* image, IplImage* saida)
{
    if (!formaAceita(image) || !formaAceita(saida) || saida->width != 2 * image->width ||
        saida->height != 2 * image->height)
        return false;
    const int largura = image->width;
    const std::size_t bytesPorLinha = static_cast<std::size_t>(saida->width) * 3;
    const int passoFonte = image->widthStep;
    const int passoSaida = saida->widthStep;
    const uchar* fonte = reinterpret_cast<const uchar*>(image->imageData);
    uchar* destino = reinterpret_cast<uchar*>(saida->imageData);
    cv::parallel_for_(cv::Range(0, image->height), [&](const cv::Range& linhas) {
        for (int r = linhas.start; r < linhas.end; ++r) {
            uchar* par = destino + static_cast<std::size_t>(2 * r) * passoSaida;
            dobraLinha(fonte + static_cast<std::size_t>(r) * passoFonte, par, largura);
            std::memcpy(par + passoSaida, par, bytesPorLinha);
        }
    });
    return true;
}

namespace {

// Bytes held for each pixel of an image while its second enlargement is made: both
// enlargements, 4 + 16 pixels of 3 bytes.
constexpr uint64_t kBytesDasAmpliacoes = 60;

// Bytes held for each pixel of an image enlarged `fator` times (1 or 4): the image itself, 3,
// and its enlargements.
uint64_t bytesPorPixel(int fator)
{
    return 3 + (fator == 4 ? kBytesDasAmpliacoes : 0);
}

std::string emMiB(uint64_t bytes)
{
    return std::to_string(bytes >> 20) + " MiB";
}

bool recusarMemoria(int largura, int altura, int fator, uint64_t precisa, uint64_t livre)
{
    falhar("a imagem de " + std::to_string(largura) + "x" + std::to_string(altura) + " pixels" +
           (fator == 4 ? " ampliada quatro vezes" : "") + " precisa de " + emMiB(precisa) +
           ", mas há só " + emMiB(livre) + " de memória livre");
    return false;
}

} // namespace

bool imagemCabe(int largura, int altura, int fator)
{
    if (!aceitarAmpliacao(largura, altura, fator)) return false;
    const uint64_t precisa = bytesPorPixel(fator) * uint64_t(largura) * uint64_t(altura);
    // What other threads have claimed (and perhaps already use) counts as free here: the claim
    // itself waits for it, and refuses only what does not fit even alone.
    const uint64_t livre = memoriaDisponivel() + memoriaReservada();
    return precisa <= livre || recusarMemoria(largura, altura, fator, precisa, livre);
}

Imagem ampliaQuatroVezes(const IplImage* image)
{
    Ampliacoes ampliacoes;
    if (ampliaQuatroVezesEm(image, ampliacoes) == nullptr) return nullptr;
    // The second enlargement is the caller's; the first goes with the object.
    return std::move(ampliacoes.segunda);
}

const IplImage* ampliaQuatroVezesEm(const IplImage* image, Ampliacoes& ampliacoes)
{
    if (!aceitarForma(image)) return nullptr;
    Imagem& primeira = ampliacoes.primeira;
    Imagem& segunda = ampliacoes.segunda;
    const bool servem = primeira != nullptr && segunda != nullptr &&
                        primeira->width == 2 * image->width &&
                        primeira->height == 2 * image->height;
    if (!servem) {
        segunda.reset();
        primeira.reset();
        ampliacoes.reserva.liberar();
        if (!aceitarAmpliacao(image->width, image->height, 4)) return nullptr;
        // Claimed before allocating, beside what other threads enlarging at once have claimed.
        const uint64_t precisa =
            kBytesDasAmpliacoes * uint64_t(image->width) * uint64_t(image->height);
        uint64_t livre = 0;
        if (!ampliacoes.reserva.reservar(precisa, livre)) {
            recusarMemoria(image->width, image->height, 4, precisa, livre);
            return nullptr;
        }
        primeira = criarImagem(cvSize(2 * image->width, 2 * image->height));
        segunda = criarImagem(cvSize(4 * image->width, 4 * image->height));
    }
    dobraEm(image, primeira.get());
    dobraEm(primeira.get(), segunda.get());
    return segunda.get();
}

IplImage* dobra(const IplImage* image)
{
    if (!aceitarForma(image)) return nullptr;
    if (!aceitarAmpliacao(image->width, image->height, 2)) return nullptr;
    Imagem saida = criarImagem(cvSize(2 * image->width, 2 * image->height), image->depth);
    dobraEm(image, saida.get());
    return saida.release();
}

} // namespace corretor
