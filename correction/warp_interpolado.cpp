// The interpolated warp: the maps are built once from the mesh store (each output pixel's
// triangle by painting the target triangles from the last to the first, so that the first one
// listed wins, then the inverse map of that triangle), and each image is then one cv::remap
// with them, the black stretches written afterwards.
#include "correction/warp_interpolado.h"

#include "correction/curved_map.h"
#include "correction/stages.h"
#include "mesh/ampliacao.h"
#include "mesh/mesh_store.h"
#include "utilities/field.h"
#include "utilities/geometry.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace corretor {

namespace {

// The stored map of one triangle, kept for inverting it, or `valido` false when it has a
// coefficient that is not finite or no inverse.
struct Mapa
{
    bool valido = false;
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, det = 0;
};

Mapa mapaInversivel(const float (&m)[2][3])
{
    Mapa mapa;
    for (const auto& linha : m)
        for (const float v : linha)
            if (!std::isfinite(v)) return mapa;
    mapa.a = m[0][0], mapa.b = m[0][1], mapa.c = m[0][2];
    mapa.d = m[1][0], mapa.e = m[1][1], mapa.f = m[1][2];
    mapa.det = mapa.a * mapa.e - mapa.b * mapa.d;
    mapa.valido = mapa.det != 0 && std::isfinite(mapa.det);
    return mapa;
}

// The point (X, Y) of the enlarged image that `mapa` carries to (coluna, linha): the 2 x 2
// system solved by Cramer's rule.
void inverter(const Mapa& mapa, int coluna, int linha, double& X, double& Y)
{
    const double u = coluna - mapa.c, v = linha - mapa.f;
    X = (mapa.e * u - mapa.b * v) / mapa.det;
    Y = (mapa.a * v - mapa.d * u) / mapa.det;
}

// For every pixel of `rotulos` (CV_16S, set to -1), the first triangle of the list whose
// target triangle holds it: the triangles are painted from the last to the first, each over
// its bounding box with the exact side test (64-bit products of whole coordinates).
void pintarTriangulos(cv::Mat& rotulos)
{
    const int64_t w = rotulos.cols, h = rotulos.rows;
    for (int t = kTriangulos - 1; t >= 0; --t) {
        const Ponto c[3] = {pontoDe(vert2, trg[t][0]), pontoDe(vert2, trg[t][1]),
                            pontoDe(vert2, trg[t][2])};
        if (orientacao(c[0], c[1], c[2]) == 0) continue;
        const int64_t x0 = std::max<int64_t>(std::min({c[0].x, c[1].x, c[2].x}), 0);
        const int64_t x1 = std::min<int64_t>(std::max({c[0].x, c[1].x, c[2].x}), w - 1);
        const int64_t y0 = std::max<int64_t>(std::min({c[0].y, c[1].y, c[2].y}), 0);
        const int64_t y1 = std::min<int64_t>(std::max({c[0].y, c[1].y, c[2].y}), h - 1);
        for (int64_t py = y0; py <= y1; ++py) {
            int16_t* linha = rotulos.ptr<int16_t>(static_cast<int>(py));
            for (int64_t px = x0; px <= x1; ++px) {
                const Ponto p{static_cast<int>(px), static_cast<int>(py)};
                bool positivo = false, negativo = false;
                for (int k = 0; k < 3; ++k) {
                    const int lado = orientacao(c[k], c[(k + 1) % 3], p);
                    positivo |= lado > 0;
                    negativo |= lado < 0;
                }
                if (!(positivo && negativo)) linha[px] = static_cast<int16_t>(t);
            }
        }
    }
}

// The source points of the curved map (correction/curved_map.h) for the field pixels of
// `rotulos`. A curved piece whose Jacobian, at one of its pixels, has no inverse or turns the
// other way than its triangle's map would fold: its triangle is made flat (MapaSuave::aplainar,
// which keeps the map smooth) and the pixels are worked out again, up to kRodadas times, since
// flattening bends the pieces around a little. A triangle that still folds then keeps its
// stored map, inverted, as the flat correction has it; its pixels hold not-a-number. Every
// triangle made flat goes to `planos`.
cv::Mat pontosCurvos(const cv::Mat& rotulos, const Mapa (&mapas)[kTriangulos],
                     std::vector<int>& planos)
{
    constexpr int kRodadas = 4;
    MapaSuave curvo;
    cv::Mat pontos(rotulos.size(), CV_64FC2);
    bool dobra[kTriangulos] = {}, plano[kTriangulos] = {};
    for (int rodada = 0;; ++rodada) {
        std::fill(std::begin(dobra), std::end(dobra), false);
        pontos.setTo(cv::Scalar::all(std::nan("")));
        for (int r = 0; r < rotulos.rows; ++r) {
            const int16_t* rotulo = rotulos.ptr<int16_t>(r);
            cv::Vec2d* ponto = pontos.ptr<cv::Vec2d>(r);
            for (int c = 0; c < rotulos.cols; ++c) {
                const int t = rotulo[c];
                if (t < 0 || !dentroDoCampo(c, r) || !mapas[t].valido || dobra[t]) continue;
                cv::Point2d p;
                cv::Matx22d J;
                if (!curvo.avaliar(t, c, r, p, J)) continue;
                if (!(cv::determinant(J) * mapas[t].det > 0)) {
                    dobra[t] = true;
                    continue;
                }
                ponto[c] = cv::Vec2d(p.x, p.y);
            }
        }
        std::vector<int> aplainar;
        for (int t = 0; t < kTriangulos; ++t)
            if (dobra[t] || plano[t]) aplainar.push_back(t);
        const bool novos =
            std::any_of(std::begin(dobra), std::end(dobra), [](bool d) { return d; });
        if (!novos || rodada == kRodadas) break;
        for (const int t : aplainar)
            plano[t] = true;
        curvo.aplainar(aplainar);
    }
    for (int t = 0; t < kTriangulos; ++t)
        if (plano[t] || dobra[t]) planos.push_back(t);
    for (int r = 0; r < rotulos.rows; ++r) { // what still folds: the stored maps, inverted
        const int16_t* rotulo = rotulos.ptr<int16_t>(r);
        cv::Vec2d* ponto = pontos.ptr<cv::Vec2d>(r);
        for (int c = 0; c < rotulos.cols; ++c)
            if (rotulo[c] >= 0 && dobra[rotulo[c]]) ponto[c] = cv::Vec2d(std::nan(""), 0);
    }
    return pontos;
}

// The bands of rows that hold every sampled pixel: kFaixas bands of equal height over the
// rows that have one, each from its leftmost to its rightmost sampled column. Enough bands to
// leave out most of the corners of the field's square and to share the work between the
// threads; few enough that the cost of each call stays small.
std::vector<cv::Rect> faixasDeAmostras(const MapasInterpolados& mapas)
{
    constexpr int kFaixas = 8;
    const int largura = mapas.saida.width, altura = mapas.saida.height;
    // The sampled columns of each row: [primeira, ultima), empty when primeira >= ultima.
    std::vector<int> primeira(static_cast<size_t>(altura), largura), ultima(primeira.size(), 0);
    std::vector<int> ultimoPreto(primeira.size(), 0); // the end of the row's last black stretch
    int coluna = 0, linha = -1;
    for (const auto& trecho : mapas.pretos) {
        if (trecho.linha != linha) coluna = 0, linha = trecho.linha;
        if (trecho.inicio > coluna) { // samples between the last stretch and this one
            primeira[linha] = std::min(primeira[linha], coluna);
            ultima[linha] = trecho.inicio;
        }
        coluna = trecho.fim;
        ultimoPreto[linha] = trecho.fim;
    }
    for (int r = 0; r < altura; ++r)
        if (ultimoPreto[r] < largura) { // the row ends with samples
            primeira[r] = std::min(primeira[r], ultimoPreto[r]);
            ultima[r] = largura;
        }
    int r0 = 0, r1 = altura;
    while (r0 < altura && primeira[r0] >= ultima[r0])
        ++r0;
    while (r1 > r0 && primeira[r1 - 1] >= ultima[r1 - 1])
        --r1;
    std::vector<cv::Rect> faixas;
    for (int k = 0; k < kFaixas; ++k) {
        const int a = r0 + (r1 - r0) * k / kFaixas, b = r0 + (r1 - r0) * (k + 1) / kFaixas;
        int c0 = largura, c1 = 0;
        for (int r = a; r < b; ++r)
            if (primeira[r] < ultima[r])
                c0 = std::min(c0, primeira[r]), c1 = std::max(c1, ultima[r]);
        if (c0 < c1) faixas.emplace_back(c0, a, c1 - c0, b - a);
    }
    return faixas;
}

} // namespace

std::shared_ptr<const MapasInterpolados> montarMapas(cv::Size entrada, cv::Size saida, bool suave)
{
    if (entrada.empty() || saida.empty()) {
        falhar("imagem vazia para a correção interpolada");
        return nullptr;
    }
    if (entrada.width >= SHRT_MAX || entrada.height >= SHRT_MAX) {
        falhar("a imagem de " + std::to_string(entrada.width) + " x " +
               std::to_string(entrada.height) +
               " pixels é grande demais para a correção interpolada (lado máximo " +
               std::to_string(SHRT_MAX - 1) + ")");
        return nullptr;
    }
    Mapa mapas[kTriangulos];
    for (int t = 0; t < kTriangulos; ++t)
        mapas[t] = mapaInversivel(matrix[t].mat);
    cv::Mat rotulos(saida, CV_16S, cv::Scalar(-1));
    pintarTriangulos(rotulos);

    auto resultado = std::make_shared<MapasInterpolados>();
    resultado->entrada = entrada;
    resultado->saida = saida;
    resultado->suave = suave;
    std::optional<cv::Mat> curvos;
    if (suave) curvos = pontosCurvos(rotulos, mapas, resultado->planos);
    const double limiteX = 4.0 * entrada.width - 0.5, limiteY = 4.0 * entrada.height - 0.5;
    cv::Mat pontos(saida, CV_32FC2, cv::Scalar::all(0));
    for (int r = 0; r < saida.height; ++r) {
        const int16_t* rotulo = rotulos.ptr<int16_t>(r);
        cv::Vec2f* ponto = pontos.ptr<cv::Vec2f>(r);
        const cv::Vec2d* curvo = curvos ? curvos->ptr<cv::Vec2d>(r) : nullptr;
        int inicioPreto = -1; // the start of the black stretch being passed, or -1
        for (int c = 0; c <= saida.width; ++c) {
            bool preto = true;
            if (c < saida.width && rotulo[c] >= 0 && dentroDoCampo(c, r) &&
                mapas[rotulo[c]].valido) {
                double X, Y;
                if (curvo != nullptr && !std::isnan(curvo[c][0]))
                    X = curvo[c][0], Y = curvo[c][1];
                else
                    inverter(mapas[rotulo[c]], c, r, X, Y);
                // Written so that a coordinate that is not a number fails too.
                if (X >= -0.5 && X < limiteX && Y >= -0.5 && Y < limiteY) {
                    const cv::Point2d p = daAmpliada(cv::Point2d(X, Y));
                    ponto[c] = cv::Vec2f(static_cast<float>(p.x), static_cast<float>(p.y));
                    preto = false;
                }
            }
            if (preto && c < saida.width && inicioPreto < 0) inicioPreto = c;
            if (!preto || c == saida.width) {
                if (inicioPreto >= 0) resultado->pretos.push_back({r, inicioPreto, c});
                inicioPreto = -1;
            }
        }
    }
    cv::convertMaps(pontos, cv::noArray(), resultado->inteiros, resultado->fracoes, CV_16SC2);
    resultado->faixas = faixasDeAmostras(*resultado);
    return resultado;
}

Imagem morphInterpolado(const IplImage* image, const MapasInterpolados& mapas, Interpolacao filtro,
                        bool* colocouAlgum)
{
    if (image == nullptr || image->depth != IPL_DEPTH_8U || image->nChannels != 3 ||
        image->width != mapas.entrada.width || image->height != mapas.entrada.height) {
        falhar("a correção interpolada recebeu uma imagem que não é a dos seus mapas");
        return nullptr;
    }
    const int metodo = filtro == Interpolacao::Linear   ? cv::INTER_LINEAR
                       : filtro == Interpolacao::Cubica ? cv::INTER_CUBIC
                                                        : cv::INTER_LANCZOS4;
    Imagem saida = criarImagem(cvSize(mapas.saida.width, mapas.saida.height));
    cv::Mat destino = cv::cvarrToMat(saida.get()); // remap writes into the image's own pixels
    const cv::Mat fonte = cv::cvarrToMat(image);
    cv::parallel_for_(cv::Range(0, static_cast<int>(mapas.faixas.size())), [&](const cv::Range& k) {
        for (int f = k.start; f < k.end; ++f) {
            const cv::Rect& faixa = mapas.faixas[f];
            cv::Mat parte = destino(faixa);
            cv::remap(fonte, parte, mapas.inteiros(faixa), mapas.fracoes(faixa), metodo,
                      cv::BORDER_REPLICATE);
        }
    });
    for (const auto& trecho : mapas.pretos)
        std::memset(destino.ptr(trecho.linha, trecho.inicio), 0,
                    static_cast<size_t>(trecho.fim - trecho.inicio) * 3);
    if (colocouAlgum != nullptr) *colocouAlgum = !mapas.faixas.empty();
    return saida;
}

std::shared_ptr<const MapasInterpolados> MapasPorTamanho::para(cv::Size entrada)
{
    const std::lock_guard<std::mutex> vez(trava_);
    const auto achado = std::find_if(guardados_.begin(), guardados_.end(),
                                     [&](const auto& m) { return m->entrada == entrada; });
    if (achado != guardados_.end()) {
        std::rotate(achado, achado + 1, guardados_.end()); // now the newest
        return guardados_.back();
    }
    auto novos = montarMapas(entrada, saida_, suave_);
    if (novos == nullptr) return nullptr;
    if (guardados_.size() == kGuardados) guardados_.erase(guardados_.begin());
    guardados_.push_back(novos);
    return novos;
}

} // namespace corretor
