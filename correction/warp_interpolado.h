// The interpolated warp: the backward counterpart of the mesh warp (correction/warp.h). Every
// output pixel fetches its colour from the loaded image, so the result has no holes and its
// cost follows the output's size, not the enlargement's.
//
// For the output pixel in column c, row r, inside the field circle (dentroDoCampo):
// - its triangle is the first entry t of the triangle list (file order) whose target triangle,
//   the corners vert2[trg[t][k]] as (column, row), holds (c, r); the triangle is closed, so a
//   pixel on an edge or a corner shared by two triangles goes to the one listed first. A
//   target triangle without area holds no pixel.
// - the inverse of matrix[t].mat (the stored map, source to target) gives the point (X, Y) of
//   the enlarged image that the forward warp would carry to (c, r);
// - that is the point (X / 4, (Y - 1.5) / 4) of the loaded image: the enlargement interpolates
//   along rows, so column X shows column X / 4, and repeats each row four times, so row Y shows
//   a row whose centre lies at enlarged row 4y + 1.5. The loaded image is sampled there with
//   the chosen filter, pixels beyond its border taken as copies of the border's.
// The pixel stays black when no target triangle holds it, when the map of its triangle has a
// coefficient that is not finite or cannot be inverted, or when (X, Y) lies outside the
// enlarged image's pixels (-0.5 <= X < 4 * width - 0.5, the same for Y and height): where the
// forward warp has no pixel to move, this one has nothing to show. Outside the field, black.
//
// The coordinates depend only on the mesh, the input's size and the output's size, so they are
// computed once (MapasInterpolados) and reused for every image of that size.
#pragma once

#include "correction/image_ops.h"

#include <opencv2/core.hpp>
#include <opencv2/core/core_c.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace corretor {

// The filters of the interpolated warp, those of cv::remap: bilinear, bicubic (4 x 4), Lanczos
// (8 x 8).
enum class Interpolacao { Linear, Cubica, Lanczos };

// The interpolated correction asked for: its filter, and with `suave` the curved map through
// the same nodes (montarMapas) in place of each triangle's flat one.
struct ModoInterpolado
{
    Interpolacao filtro = Interpolacao::Cubica;
    bool suave = false;
};

// The source coordinates of every output pixel for one input size and one output size, in the
// fixed-point form cv::remap reads fastest (cv::convertMaps: whole coordinates CV_16SC2, and
// the index of the fraction, 1/32 of a pixel in each direction, CV_16UC1); the stretches of
// each row that stay black; and bands of rows, each as wide as the pixels it must sample, that
// together hold every pixel that is not black (the field circle fills only 73 % of its
// square, so the corners are never computed).
struct MapasInterpolados
{
    cv::Size entrada, saida;
    cv::Mat inteiros, fracoes;
    struct Trecho
    {
        int linha, inicio, fim; // columns [inicio, fim) of the row
    };
    std::vector<Trecho> pretos;
    std::vector<cv::Rect> faixas;
    bool suave = false;      // built with the curved map
    std::vector<int> planos; // with it, the triangles where it would fold, mapped flat
};

// Builds the maps of the mesh store as it stands for images of `entrada` corrected onto
// `saida`. Returns null, recording why, when the input is too large for the maps (a side of
// 32767 pixels or more) or either size is empty. Several threads may build at once.
// With `suave`, each field pixel's source point comes from the curved map through the same
// nodes (correction/curved_map.h) instead of its triangle's inverted map, but in the triangles
// where the curved map would fold (its Jacobian at one of their pixels with no inverse, or
// turning the other way than the triangle's map), which keep the flat map and are listed in
// `planos`. Everything else (the triangle of each pixel, black pixels) is as without it.
std::shared_ptr<const MapasInterpolados> montarMapas(cv::Size entrada, cv::Size saida,
                                                     bool suave = false);

// The interpolated warp of `image` (8-bit, 3 channels, of the size the maps were built for)
// onto a new 8-bit, 3-channel image of the maps' output size, returned to the caller. The bands
// run on the threads of OpenCV's parallel loops. Returns null, recording why, when the image does
// not fit the maps. `colocouAlgum`, when given, is told whether any pixel of the field was
// sampled.
Imagem morphInterpolado(const IplImage* image, const MapasInterpolados& mapas, Interpolacao filtro,
                        bool* colocouAlgum = nullptr);

// The maps of the input sizes met in a batch, onto one output size, shared by the threads that
// correct its images: each size is built once, by the first thread that needs it, while the
// others wait for it. The last kGuardados sizes are kept; a batch of many sizes builds again a
// size it met long before, rather than holding about 6 bytes per output pixel for every size.
class MapasPorTamanho
{
public:
    static constexpr std::size_t kGuardados = 8;
    explicit MapasPorTamanho(cv::Size saida, bool suave = false) : saida_(saida), suave_(suave) {}

    // The maps for images of `entrada`, or null with the reason recorded on the calling thread.
    std::shared_ptr<const MapasInterpolados> para(cv::Size entrada);

private:
    cv::Size saida_;
    bool suave_;
    std::mutex trava_;
    std::vector<std::shared_ptr<const MapasInterpolados>> guardados_; // the newest last
};

} // namespace corretor
