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
#if defined(__x86_64__)
#include <immintrin.h>
#endif
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

#if defined(__x86_64__)
// The fourfold row four source pixels at a time, with SSSE3. For the source pixels a = s(c) and
// b = s(c + 1) the enlarged pixels 4c .. 4c + 3 are a, (a + m) / 2, m = (a + b) / 2 and
// (m + b) / 2, each halving rounded down: dobraLinha twice, since the first enlargement holds
// a, m, b at its columns 2c, 2c + 1, 2c + 2. The rounded-up mean of pavgb less the parity of
// a + b is the rounded-down one. Then each 16 bytes of the output are gathered by byte shuffles
// from the four vectors of a, (a + m) / 2, m and (m + b) / 2.

// Shuffle masks: for output block q (bytes 16q .. 16q + 15 of the 48 that four source pixels
// give) and vector t (0: a, 1: (a + m) / 2, 2: m, 3: (m + b) / 2), the byte of the vector each
// output byte takes, or -128 for none. Output byte o is sample o % 3 of enlarged pixel o / 3,
// which is vector (o / 3) % 4 at source pixel o / 12.
struct MascarasQuatro
{
    alignas(16) int8_t m[3][4][16];
    constexpr MascarasQuatro() : m{}
    {
        for (int q = 0; q < 3; ++q)
            for (int t = 0; t < 4; ++t)
                for (int k = 0; k < 16; ++k) {
                    const int o = 16 * q + k;
                    m[q][t][k] = static_cast<int8_t>(o / 3 % 4 == t ? 3 * (o / 12) + o % 3 : -128);
                }
    }
};
constexpr MascarasQuatro kMascarasQuatro;

__attribute__((target("ssse3"))) inline __m128i metadeAbaixo(__m128i x, __m128i y)
{
    const __m128i impar = _mm_and_si128(_mm_xor_si128(x, y), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(x, y), impar);
}

// The enlarged pixels of the source pixels [0, n) of `fonte`, n a multiple of 4, when the row
// holds at least two pixels more (each group of four loads 16 bytes from its first pixel and 16
// from the next). Returns n.
__attribute__((target("ssse3"))) int quatroVezesSsse3(const uchar* fonte, int n, uchar* saida)
{
    for (int c = 0; c < n; c += 4, fonte += 12, saida += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fonte));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fonte + 3));
        const __m128i m = metadeAbaixo(a, b);
        const __m128i v[4] = {a, metadeAbaixo(a, m), m, metadeAbaixo(m, b)};
        for (int q = 0; q < 3; ++q) {
            __m128i bloco = _mm_setzero_si128();
            for (int t = 0; t < 4; ++t)
                bloco = _mm_or_si128(
                    bloco, _mm_shuffle_epi8(v[t], _mm_load_si128(reinterpret_cast<const __m128i*>(
                                                      kMascarasQuatro.m[q][t]))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(saida + static_cast<std::size_t>(16 * q)),
                             bloco);
        }
    }
    return n;
}
#endif

} // namespace

void ampliaLinhaQuatroVezes(const uchar* fonte, int largura, uchar* meio, uchar* saida)
{
    // The enlarged pixels 4c .. 4c + 3 depend only on the source pixels c and c + 1 (or c alone
    // for the last), so a row's end is made like a row of its own.
    int feitos = 0;
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    // The last group's second load ends at byte 3 * feitos + 6, within the row.
    if (ssse3 && largura >= 6) feitos = quatroVezesSsse3(fonte, (largura - 2) / 4 * 4, saida);
#endif
    const auto feitosSz = static_cast<std::size_t>(feitos);
    dobraLinha(fonte + 3 * feitosSz, meio, largura - feitos);
    dobraLinha(meio, saida + 12 * feitosSz, 2 * (largura - feitos));
}

namespace {

// Bytes ampliaQuatroVezes holds for each pixel of an image while its second enlargement is
// made: both enlargements, 4 + 16 pixels of 3 bytes.
constexpr uint64_t kBytesDasAmpliacoes = 60;

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
    const uint64_t precisa =
        3 * uint64_t(largura) * uint64_t(altura) + (fator == 4 ? bytesDoAvanco(largura) : 0);
    // What other threads have claimed (and perhaps already use) counts as free here: the claim
    // itself waits for it, and refuses only what does not fit even alone.
    const uint64_t livre = memoriaDisponivel() + memoriaReservada();
    return precisa <= livre || recusarMemoria(largura, altura, fator, precisa, livre);
}

bool reservarAvanco(int largura, int altura, ReservaDeMemoria& reserva)
{
    if (!aceitarAmpliacao(largura, altura, 4)) return false;
    uint64_t livre = 0;
    const uint64_t precisa = bytesDoAvanco(largura);
    return reserva.reservar(precisa, livre) || recusarMemoria(largura, altura, 4, precisa, livre);
}

Imagem ampliaQuatroVezes(const IplImage* image)
{
    if (!aceitarForma(image)) return nullptr;
    if (!aceitarAmpliacao(image->width, image->height, 4)) return nullptr;
    // Claimed before allocating, beside what other threads enlarging at once have claimed.
    ReservaDeMemoria reserva;
    const uint64_t precisa = kBytesDasAmpliacoes * uint64_t(image->width) * uint64_t(image->height);
    uint64_t livre = 0;
    if (!reserva.reservar(precisa, livre)) {
        recusarMemoria(image->width, image->height, 4, precisa, livre);
        return nullptr;
    }
    Imagem primeira = criarImagem(cvSize(2 * image->width, 2 * image->height));
    Imagem segunda = criarImagem(cvSize(4 * image->width, 4 * image->height));
    dobraEm(image, primeira.get());
    dobraEm(primeira.get(), segunda.get());
    return segunda;
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
