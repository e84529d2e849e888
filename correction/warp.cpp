// The accelerated mesh warp.
//
// The source is taken in chunks of rows. For a chunk, the rows are located and mapped in
// parallel: each row gets the triangle of every column from RowLocator (the same index as
// triangulo), and each pixel its destination, packed as row << 16 | column, or -1 when it
// places nothing. Then the chunk's pixels are written in scan order, in parallel by bands of
// destination columns: every destination pixel belongs to one band, and each band takes the
// chunk's pixels in scan order, so every destination receives its sources in the defined order
// and the bytes equal those of the pixel-by-pixel warp.
#include "correction/warp.h"
#include "correction/console.h"
#include "correction/driver.h"
#include "correction/locate.h"
#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace corretor {

namespace {

constexpr int kPrimeiro = kPrimeiroDoCampo, kUltimo = kUltimoDoCampo;
// Destinations of one chunk, in entries: small enough to stay in the cache between passes.
constexpr int kEntradasPorBloco = 512 * 1024;

// The destination of the source column j, packed as row << 16 | column, or -1.
inline int32_t destinationOf(double a, double b, double c, double d, double e, double f, int j,
                             int largura, int altura)
{
    const int x = round(static_cast<float>((a * j + b) + c));
    const int y = round(static_cast<float>((d * j + e) + f));
    return dentroDoCampo(x, y) && x < largura && y < altura ? (y << 16 | x) : -1;
}

// Destinations of the columns [inicio, fim) of source row i, all held by one map.
void mapRunScalar(const float (&m)[2][3], int i, int inicio, int fim, int largura, int altura,
                  int32_t* destinos)
{
    const double a = m[0][0], b = double{m[0][1]} * i, c = m[0][2];
    const double d = m[1][0], e = double{m[1][1]} * i, f = m[1][2];
    for (int j = inicio; j < fim; ++j)
        destinos[j] = destinationOf(a, b, c, d, e, f, j, largura, altura);
}

#if defined(__x86_64__)
// The same eight columns at a time with AVX2, lane for lane the operations of the scalar form:
// the sums in double, narrowed to float, truncated with cvttps (which gives -2^31 for values
// that do not fit, as round does), plus one where the fraction exceeds one half.
__attribute__((target("avx2"))) inline __m256i roundAvx2(__m256 v)
{
    const __m256i t = _mm256_cvttps_epi32(v);
    const __m256 fracao = _mm256_sub_ps(v, _mm256_cvtepi32_ps(t));
    const __m256 acima = _mm256_cmp_ps(fracao, _mm256_set1_ps(0.5f), _CMP_GT_OQ);
    return _mm256_sub_epi32(t, _mm256_castps_si256(acima)); // the mask is -1 where it adds one
}

// Lanes whose value lies in kPrimeiro .. kUltimo.
__attribute__((target("avx2"))) inline __m256i inSquareAvx2(__m256i v)
{
    return _mm256_and_si256(_mm256_cmpgt_epi32(v, _mm256_set1_epi32(kPrimeiro - 1)),
                            _mm256_cmpgt_epi32(_mm256_set1_epi32(kUltimo + 1), v));
}

__attribute__((target("avx2"))) void mapRunAvx2(const float (&m)[2][3], int i, int inicio, int fim,
                                                int largura, int altura, int32_t* destinos)
{
    const double a = m[0][0], b = double{m[0][1]} * i, c = m[0][2];
    const double d = m[1][0], e = double{m[1][1]} * i, f = m[1][2];
    const __m256d va = _mm256_set1_pd(a), vb = _mm256_set1_pd(b), vc = _mm256_set1_pd(c);
    const __m256d vd = _mm256_set1_pd(d), ve = _mm256_set1_pd(e), vf = _mm256_set1_pd(f);
    const __m256i centro = _mm256_set1_epi32(kCentroDoCampo);
    const __m256i raio2 = _mm256_set1_epi32(kRaioDoCampo * kRaioDoCampo);
    const __m256i w = _mm256_set1_epi32(largura), h = _mm256_set1_epi32(altura);
    const __m256d passo = _mm256_set1_pd(8.0);
    __m256d j0 = _mm256_setr_pd(inicio, inicio + 1, inicio + 2, inicio + 3);
    __m256d j1 = _mm256_add_pd(j0, _mm256_set1_pd(4.0));
    int j = inicio;
    for (; j + 8 <= fim; j += 8) {
        const __m256 x = _mm256_set_m128(
            _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(va, j1), vb), vc)),
            _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(va, j0), vb), vc)));
        const __m256 y = _mm256_set_m128(
            _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(vd, j1), ve), vf)),
            _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(vd, j0), ve), vf)));
        const __m256i xi = roundAvx2(x), yi = roundAvx2(y);
        const __m256i dx = _mm256_sub_epi32(xi, centro), dy = _mm256_sub_epi32(yi, centro);
        const __m256i s = _mm256_add_epi32(_mm256_mullo_epi32(dx, dx), _mm256_mullo_epi32(dy, dy));
        __m256i aceito = _mm256_and_si256(inSquareAvx2(xi), inSquareAvx2(yi));
        aceito = _mm256_and_si256(aceito, _mm256_cmpgt_epi32(raio2, s));
        aceito = _mm256_and_si256(aceito, _mm256_cmpgt_epi32(w, xi));
        aceito = _mm256_and_si256(aceito, _mm256_cmpgt_epi32(h, yi));
        const __m256i empacotado = _mm256_or_si256(_mm256_slli_epi32(yi, 16), xi);
        const __m256i destino = _mm256_or_si256(_mm256_and_si256(aceito, empacotado),
                                                _mm256_andnot_si256(aceito, _mm256_set1_epi32(-1)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destinos + j), destino);
        j0 = _mm256_add_pd(j0, passo);
        j1 = _mm256_add_pd(j1, passo);
    }
    for (; j < fim; ++j)
        destinos[j] = destinationOf(a, b, c, d, e, f, j, largura, altura);
}
#endif

using MapRun = void (*)(const float (&)[2][3], int, int, int, int, int, int32_t*);

// Destinations of every column of source row i.
void mapRow(MapRun mapRun, const RowLocator& locator, int i, int nc, int largura, int altura,
            int8_t* indices, int32_t* destinos)
{
    locator.locate(i, nc, indices);
    for (int j = 0; j < nc;) {
        const int8_t t = indices[j];
        int fim = j + 1;
        uint64_t oito; // eight copies of t: whole words of the run are passed at once
        std::memset(&oito, t, sizeof oito);
        for (uint64_t palavra; fim + 8 <= nc; fim += 8) {
            std::memcpy(&palavra, indices + fim, sizeof palavra);
            if (palavra != oito) break;
        }
        while (fim < nc && indices[fim] == t)
            ++fim;
        if (t < 0)
            std::fill(destinos + j, destinos + fim, -1);
        else
            mapRun(matrix[t].mat, i, j, fim, largura, altura, destinos);
        j = fim;
    }
}

// The destination being blended, held in registers: neighbouring sources often land on the
// same place, so it is loaded once and stored once for a whole run of them. The sequence of
// blends is the one the collision rule defines.
class Blender
{
public:
    explicit Blender(IplImage* saida)
        : res_(reinterpret_cast<uchar*>(saida->imageData)), passo_(saida->widthStep)
    {
    }
    ~Blender() { flush(); }

    // Blends the source pixel `s` into the destination packed in `v` (row << 16 | column).
    void place(int32_t v, const uchar* s)
    {
        colocou_ = true;
        if (v != atual_) {
            flush();
            destino_ =
                res_ + static_cast<size_t>(v >> 16) * passo_ + static_cast<size_t>(v & 0xFFFF) * 3;
            d0_ = destino_[0], d1_ = destino_[1], d2_ = destino_[2];
            atual_ = v;
        }
        if (d0_ != 0) {
            d0_ = (s[0] + d0_) >> 1;
            d1_ = (s[1] + d1_) >> 1;
            d2_ = (s[2] + d2_) >> 1;
        } else {
            d0_ = s[0], d1_ = s[1], d2_ = s[2];
        }
    }

    void flush()
    {
        if (destino_ == nullptr) return;
        destino_[0] = static_cast<uchar>(d0_);
        destino_[1] = static_cast<uchar>(d1_);
        destino_[2] = static_cast<uchar>(d2_);
        destino_ = nullptr;
        atual_ = -1;
    }

    // True once a source has been placed.
    bool colocou() const { return colocou_; }

private:
    uchar* res_;
    size_t passo_;
    bool colocou_ = false;
    uchar* destino_ = nullptr;
    int32_t atual_ = -1; // -1 never names a place
    unsigned d0_ = 0, d1_ = 0, d2_ = 0;
};

// Writes, in scan order, the sources of rows [primeira, ultima) whose destination column lies
// in [c0, c1); the pixels of row i are at linhas[i - primeira], three bytes each. -1 (no place)
// has the column 0xFFFF, beyond every band. True when it placed any.
bool writeBandScalar(const uchar* const* linhas, int nc, const int32_t* destinos, int primeira,
                     int ultima, int c0, int c1, IplImage* saida)
{
    const unsigned largura = static_cast<unsigned>(c1 - c0);
    Blender blender(saida);
    for (int i = primeira; i < ultima; ++i) {
        const int32_t* linha = destinos + static_cast<size_t>(i - primeira) * nc;
        const uchar* fonte = linhas[i - primeira];
        for (int j = 0; j < nc; ++j)
            if (static_cast<unsigned>((linha[j] & 0xFFFF) - c0) < largura)
                blender.place(linha[j], fonte + static_cast<size_t>(j) * 3);
    }
    return blender.colocou();
}

#if defined(__x86_64__)
// The same, passing over eight sources at a time where none of them lands in the band.
__attribute__((target("avx2"))) bool writeBandAvx2(const uchar* const* linhas, int nc,
                                                   const int32_t* destinos, int primeira,
                                                   int ultima, int c0, int c1, IplImage* saida)
{
    const unsigned largura = static_cast<unsigned>(c1 - c0);
    const __m256i antes = _mm256_set1_epi32(c0 - 1), depois = _mm256_set1_epi32(c1);
    const __m256i coluna = _mm256_set1_epi32(0xFFFF);
    Blender blender(saida);
    for (int i = primeira; i < ultima; ++i) {
        const int32_t* linha = destinos + static_cast<size_t>(i - primeira) * nc;
        const uchar* fonte = linhas[i - primeira];
        int j = 0;
        for (; j + 8 <= nc; j += 8) {
            const __m256i x = _mm256_and_si256(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(linha + j)), coluna);
            const __m256i naFaixa =
                _mm256_and_si256(_mm256_cmpgt_epi32(x, antes), _mm256_cmpgt_epi32(depois, x));
            unsigned mascara =
                static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(naFaixa)));
            while (mascara != 0) {
                const int k = j + __builtin_ctz(mascara);
                blender.place(linha[k], fonte + static_cast<size_t>(k) * 3);
                mascara &= mascara - 1;
            }
        }
        for (; j < nc; ++j)
            if (static_cast<unsigned>((linha[j] & 0xFFFF) - c0) < largura)
                blender.place(linha[j], fonte + static_cast<size_t>(j) * 3);
    }
    return blender.colocou();
}
#endif

using WriteBand = bool (*)(const uchar* const*, int, const int32_t*, int, int, int, int, IplImage*);

// The two steps of one form of the warp.
struct Form
{
    MapRun mapRun;
    WriteBand writeBand;
};

constexpr Form kPortable{mapRunScalar, writeBandScalar};

// The fastest form this processor runs, chosen once.
Form fastestForm()
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return Form{mapRunAvx2, writeBandAvx2};
#endif
    return kPortable;
}

// The form in use: the fastest, unless usarFormaPortavel asked for the portable one.
Form form = fastestForm();

// Splits the destination columns into `faixas` bands that receive about as many of the chunk's
// sources each, judged from a sample of them. Returns faixas + 1 bounds, from kPrimeiro to
// kUltimo + 1.
std::vector<int> bandBounds(const int32_t* destinos, size_t n, int faixas)
{
    int contagem[kUltimo + 2] = {};
    size_t amostras = 0;
    for (size_t k = 0; k < n; k += 61) {
        const int x = destinos[k] & 0xFFFF;
        if (x <= kUltimo) ++contagem[x], ++amostras;
    }
    std::vector<int> limites{kPrimeiro};
    size_t acumulado = 0;
    for (int x = kPrimeiro; x <= kUltimo && static_cast<int>(limites.size()) < faixas; ++x) {
        acumulado += contagem[x];
        if (acumulado * faixas >= amostras * limites.size() && acumulado > 0)
            limites.push_back(x + 1);
    }
    while (static_cast<int>(limites.size()) < faixas)
        limites.push_back(kUltimo + 1);
    limites.push_back(kUltimo + 1);
    return limites;
}

// Rows of enlarged images of `nc` columns in one chunk: the chunk's destinations, one entry for
// each of its pixels, stay near kEntradasPorBloco; a whole number of `grupo` rows.
int linhasPorBloco(int nc, int grupo)
{
    return std::max(grupo, kEntradasPorBloco / std::max(1, nc) / grupo * grupo);
}

// Makes the rows [primeira, ultima) of the source readable: linhas[i - primeira] is row i.
using PrepararBloco = std::function<void(int primeira, int ultima, const uchar** linhas)>;

// The warp of a source of `nl` rows of `nc` pixels, handed over a chunk of `porBloco` rows at a
// time by `preparar`, onto a new black image; `destinos` holds porBloco * nc entries. The
// definition's bytes, progress and colocouAlgum (morphPara).
Imagem avancar(int nl, int nc, int porBloco, const PrepararBloco& preparar, int32_t* destinos,
               CvSize tamanho, int profundidade, const Progresso& progresso, bool* colocouAlgum)
{
    Imagem saida = criarImagem(tamanho, profundidade);
    std::memset(saida->imageData, 0, static_cast<size_t>(saida->imageSize));
    const Form f = form;
    std::atomic<bool> colocou{false};
    const RowLocator locator;
    std::vector<const uchar*> linhas(static_cast<size_t>(porBloco));
    const int faixas = std::max(1, cv::getNumThreads());
    int mostrado = 0;

    for (int primeira = 0; primeira < nl; primeira += porBloco) {
        const int ultima = std::min(nl, primeira + porBloco);
        preparar(primeira, ultima, linhas.data());
        cv::parallel_for_(cv::Range(primeira, ultima), [&](const cv::Range& r) {
            std::vector<int8_t> indices(static_cast<size_t>(nc));
            for (int i = r.start; i < r.end; ++i)
                mapRow(f.mapRun, locator, i, nc, tamanho.width, tamanho.height, indices.data(),
                       destinos + static_cast<size_t>(i - primeira) * nc);
        });
        const std::vector<int> limites =
            bandBounds(destinos, static_cast<size_t>(ultima - primeira) * nc, faixas);
        cv::parallel_for_(cv::Range(0, faixas), [&](const cv::Range& r) {
            for (int k = r.start; k < r.end; ++k)
                if (f.writeBand(linhas.data(), nc, destinos, primeira, ultima, limites[k],
                                limites[k + 1], saida.get()))
                    colocou = true;
        });
        for (int i = primeira; i < ultima && progresso; ++i) {
            const int valor = static_cast<int>(100LL * i / nl) + 1;
            if (valor != mostrado) progresso(valor);
            mostrado = valor;
        }
    }
    if (progresso && mostrado != 100) progresso(100);
    if (colocouAlgum != nullptr) *colocouAlgum = colocou;
    return saida;
}

bool aceitarFormas(const IplImage* img, int profundidade)
{
    if (img->depth == IPL_DEPTH_8U && img->nChannels == 3 && profundidade == IPL_DEPTH_8U)
        return true;
    falhar("a correção recebe só imagens de 8 bits com 3 canais");
    return false;
}

} // namespace

Imagem morphPara(const IplImage* img, CvSize tamanho, int profundidade, const Progresso& progresso,
                 bool* colocouAlgum)
{
    if (!aceitarFormas(img, profundidade)) return nullptr;
    const int nl = img->height, nc = img->width;
    const int porBloco = linhasPorBloco(nc, 1);
    std::vector<int32_t> destinos(static_cast<size_t>(porBloco) * nc);
    const auto preparar = [img](int primeira, int ultima, const uchar** linhas) {
        for (int i = primeira; i < ultima; ++i)
            linhas[i - primeira] = reinterpret_cast<const uchar*>(img->imageData) +
                                   static_cast<size_t>(i) * img->widthStep;
    };
    return avancar(nl, nc, porBloco, preparar, destinos.data(), tamanho, profundidade, progresso,
                   colocouAlgum);
}

uint64_t bytesDoAvanco(int largura)
{
    const uint64_t nc = 4 * uint64_t(std::max(1, largura));
    const uint64_t porBloco = linhasPorBloco(static_cast<int>(std::min<uint64_t>(nc, INT_MAX)), 4);
    return porBloco * nc * sizeof(int32_t) + porBloco / 4 * nc * 3;
}

Imagem morphAmpliando(const IplImage* image, CvSize tamanho, int profundidade,
                      const Progresso& progresso, bool* colocouAlgum, AreaDoAvanco* area)
{
    if (!aceitarFormas(image, profundidade)) return nullptr;
    const int largura = image->width, altura = image->height;
    AreaDoAvanco propria;
    AreaDoAvanco& a = area != nullptr ? *area : propria;
    const int nc = 4 * largura; // fits: reservarAvanco checks the enlargement
    if (a.largura != largura) {
        std::vector<int32_t>().swap(a.destinos);
        std::vector<uchar>().swap(a.linhas);
        a.largura = 0;
        if (!reservarAvanco(largura, altura, a.reserva)) return nullptr;
        const size_t porBloco = static_cast<size_t>(linhasPorBloco(4 * largura, 4));
        a.destinos.resize(porBloco * static_cast<size_t>(nc));
        a.linhas.resize(porBloco / 4 * static_cast<size_t>(nc) * 3);
        a.largura = largura;
    }
    // Every enlarged row 4y .. 4y + 3 shows the same row made from source row y; a chunk starts
    // on a multiple of four, so its source rows are made once each.
    const auto preparar = [&](int primeira, int ultima, const uchar** linhas) {
        const int r0 = primeira / 4, r1 = (ultima + 3) / 4;
        cv::parallel_for_(cv::Range(r0, r1), [&](const cv::Range& r) {
            std::vector<uchar> meio(static_cast<size_t>(largura) * 6);
            for (int y = r.start; y < r.end; ++y) {
                uchar* ampliada = a.linhas.data() + static_cast<size_t>(y - r0) * nc * 3;
                ampliaLinhaQuatroVezes(reinterpret_cast<const uchar*>(image->imageData) +
                                           static_cast<size_t>(y) * image->widthStep,
                                       largura, meio.data(), ampliada);
                for (int i = std::max(4 * y, primeira); i < std::min(4 * y + 4, ultima); ++i)
                    linhas[i - primeira] = ampliada;
            }
        });
    };
    return avancar(4 * altura, nc, linhasPorBloco(nc, 4), preparar, a.destinos.data(), tamanho,
                   profundidade, progresso, colocouAlgum);
}

void usarFormaPortavel(bool portavel)
{
    form = portavel ? kPortable : fastestForm();
}

IplImage* morph(const IplImage* img)
{
    return morphPara(img, cvGetSize(img2), img2->depth, mostrarProgresso).release();
}

} // namespace corretor
