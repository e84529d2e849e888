// The stages of the correction: triangle location, the mesh warp and twofold upscaling, each
// fast form against its plain definition, with the exact cases that break naive code.
#include "correction/locate.h"
#include "correction/stages.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

using namespace corretor;
using V = cv::Vec3b;

namespace {

// Random meshes straight into the store, with every quirk that triangle location and the warp
// must get right: nodes on a coarse grid (so that many pixels lie on edges and corners) of a
// `width` x `height` image, some outside it; triangles of both windings, entries with
// coincident or collinear corners or the reserved node, a few empty entries unless `allLoaded`;
// maps mostly tame, but some huge, non-finite or strongly shrinking (many pixels landing on one
// place).
void fillRandomMesh(std::mt19937& random, int width, int height, bool allLoaded)
{
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(random); };
    const auto real = [&](float lo, float hi) {
        return std::uniform_real_distribution(lo, hi)(random);
    };
    teste::estadoInicial();
    const int step = pick(2, 12);
    for (int k = 1; k < kNos; ++k) {
        vert[k][0] = step * pick(-2, width / step + 2);
        vert[k][1] = step * pick(-2, height / step + 2);
        vert2[k][0] = pick(0, 436), vert2[k][1] = pick(0, 436);
    }
    const int loaded = allLoaded ? kTriangulos : pick(0, kTriangulos - 1);
    for (int t = 0; t < loaded; ++t) {
        int a = pick(1, kNos - 1), b = pick(1, kNos - 1), c = pick(1, kNos - 1);
        // Two corners coincide; all three (an entry that accepts every point, so that later
        // entries never count); three on one line; the reserved node (0, 0).
        const int kind = pick(0, 99);
        if (kind < 6) b = a;
        if (kind == 5) c = a;
        if (kind >= 6 && kind < 12) vert[c][0] = 2 * vert[b][0] - vert[a][0];
        if (kind >= 6 && kind < 12) vert[c][1] = 2 * vert[b][1] - vert[a][1];
        if (kind >= 12 && kind < 16) a = 0;
        trg[t][0] = a, trg[t][1] = b, trg[t][2] = c;
    }
    // Not a number, infinite, beyond 32 bits, zero (everything onto one line or place), tame
    // (a twentieth of them shrinking: many collisions).
    for (auto& m : matrix)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) {
                const int kind = pick(0, 19);
                const float scale = kind < 4 || c == 2 || pick(0, 3) ? 1.f : 0.05f;
                m.mat[r][c] = kind == 0   ? NAN
                              : kind == 1 ? (pick(0, 1) ? INFINITY : -INFINITY)
                              : kind == 2 ? (c == 2 ? 3e9f : 1e6f)
                              : kind == 3 ? 0.f
                              : c == 2    ? real(-50, 400)
                                          : scale * (r == c ? real(0.3f, 4) : real(-1, 1));
            }
}

// Pixels of `width` x `height` where the row locator differs from triangulo (three reported).
int mismatches(int width, int height)
{
    const RowLocator locator;
    std::vector<int8_t> row(width);
    int wrong = 0;
    for (int i = 0; i < height; ++i) {
        locator.locate(i, width, row.data());
        for (int j = 0; j < width; ++j)
            if (row[j] != triangulo(cvPoint(i, j)) && ++wrong <= 3)
                ADD_FAILURE() << "row " << i << " column " << j << ": locator " << int(row[j])
                              << ", scan " << triangulo(cvPoint(i, j));
    }
    return wrong;
}

// The three forms of the warp: 0 the definition (morphDireto), 1 morphPara in the fastest form
// the processor runs, 2 morphPara in its portable form.
cv::Mat warp(int forma, const cv::Mat& src, int w = 436, int h = 436)
{
    const IplImage header = cvIplImage(src);
    usarFormaPortavel(forma == 2);
    const Imagem out = forma == 0 ? morphDireto(&header, cvSize(w, h), IPL_DEPTH_8U)
                                  : morphPara(&header, cvSize(w, h), IPL_DEPTH_8U, nullptr);
    return cv::cvarrToMat(out.get()).clone();
}

// An empty triangle list: entry 0 accepts every pixel, so every pixel moves by `m`.
void everyPixelThrough(const cv::Matx23f& m)
{
    teste::estadoInicial();
    std::memcpy(matrix[0].mat, m.val, sizeof m.val);
}

} // namespace

// On random meshes (both windings, edges and corners, coincident and collinear corners, the
// reserved node), then at the ends of the 32-bit range, where the locator's interval arithmetic
// must still give triangulo's answer.
TEST(Correction_RowLocator, equals_triangulo)
{
    std::mt19937 random(20261206);
    for (int trial = 0; trial < 400; ++trial) {
        const int w = 20 + int(random() % 60), h = 10 + int(random() % 40);
        fillRandomMesh(random, w, h, trial % 3 == 0);
        ASSERT_EQ(0, mismatches(w, h)) << "trial " << trial;
    }
    teste::estadoInicial();
    const int m = INT_MIN, M = INT_MAX,
              ends[7][2] = {{0, 0}, {m, m}, {M, m}, {m, M}, {M, 5}, {3, M}, {-4, -4}};
    const int kinds[4][3] = {{4, 5, 6}, {6, 5, 4}, {1, 2, 3}, {3, 2, 1}};
    std::memcpy(vert, ends, sizeof ends);
    for (int t = 0; t < 99; ++t)
        std::copy(kinds[t % 4], kinds[t % 4] + 3, trg[t]);
    EXPECT_EQ(0, mismatches(40, 30));
}

TEST(Correction_Round, halves_go_down_negatives_truncate_and_misfits_have_fixed_results)
{
    // lround would give 3 for 2.5; floor(x + 0.5) -1 for -0.7; 2147483520 is the largest float
    // below 2^31.
    const float valores[] = {2.5f,          2.5000002f,    0.5f,        7.0f,     -0.7f,
                             -2.5f,         -2.9f,         16777216.0f, NAN,      -NAN,
                             -3e9f,         2147483520.0f, 3e9f,        INFINITY, -INFINITY,
                             2147483648.0f, -2147483648.0f};
    const int m = INT_MIN, esperados[] = {2, 3, 0,          7,     0,     -2, -2,    16777216, m,
                                          m, m, 2147483520, m + 1, m + 1, m,  m + 1, m};
    for (int k = 0; k < 17; ++k)
        EXPECT_EQ(esperados[k], corretor::round(valores[k])) << valores[k];
}

TEST(Correction_Dist, strictly_inside_the_field_circle)
{
    for (auto p : {cvPoint(INT_MIN, INT_MIN), cvPoint(INT_MIN + 1, INT_MIN + 1),
                   cvPoint(INT_MAX, INT_MAX), cvPoint(INT_MIN, 218)})
        EXPECT_FALSE(dist(p)) << p.x << "," << p.y;
    // For integer points the circle is s < 210^2 (so (218, 427) is in, (367, 367) out), and the
    // warp's integer test agrees.
    for (int x = -20; x < 460; ++x)
        for (int y = -20; y < 460; ++y) {
            const long s = (x - 218L) * (x - 218L) + (y - 218L) * (y - 218L);
            ASSERT_EQ(s < 44100, dist(cvPoint(x, y))) << x << "," << y;
            ASSERT_EQ(s < 44100, dentroDoCampo(x, y)) << x << "," << y;
        }
}

TEST(Correction_Morph, exact_cases_in_every_form)
{
    cv::Mat one(6, 8, CV_8UC3, cv::Scalar(0, 0, 0)), far(900, 2475, CV_8UC3, cv::Scalar(0, 0, 0));
    one.at<V>(3, 5) = far.at<V>(899, 2474) = {9, 8, 7};
    const cv::Matx23f tricky(0.10373807f, 0.0315564759f, -44.5172424f, 0, 0, 218),
        all(0, 0, 218, 0, 0, 218);
    const cv::Mat three = cv::Mat_<V>({1, 3}, {V(100, 50, 20), V(200, 51, 0), V(0, 0, 0)}),
                  empty = cv::Mat_<V>({1, 3}, {V(0, 90, 90), V(10, 20, 30), V(30, 0, 0)});
    // The map, the source, a destination pixel (column, row) and what it must hold. Row 3,
    // column 5 lands at column 105, row 203. 240.500013... formed in double rounds to 241;
    // formed in float it gives 240. Where every pixel lands on (218, 218), collisions blend by
    // sample 0: a copied pixel whose sample 0 is 0 looks empty, so the next one replaces it.
    const std::tuple<cv::Matx23f, cv::Mat, cv::Point, V> casos[] = {
        {{1, 0, 100, 0, 1, 200}, one, {105, 203}, {9, 8, 7}},
        {tricky, far, {241, 218}, {9, 8, 7}},
        {tricky, far, {240, 218}, {0, 0, 0}},
        {all, three, {218, 218}, {75, 25, 5}},
        {all, empty, {218, 218}, {20, 10, 15}}};
    for (int forma : {0, 1, 2}) {
        SCOPED_TRACE(forma);
        for (const auto& [mapa, src, p, esperado] : casos) {
            everyPixelThrough(mapa);
            EXPECT_EQ(esperado, warp(forma, src).at<V>(p)) << p;
        }
        // Nothing outside the circle, nor outside a pattern smaller than 428 x 428.
        everyPixelThrough(cv::Matx23f(1, 0, 0, 0, 1, 0));
        const cv::Mat out =
            warp(forma, cv::Mat(440, 440, CV_8UC3, cv::Scalar(200, 100, 50)), 300, 250);
        ASSERT_EQ(cv::Size(300, 250), out.size());
        for (int y = 0; y < 250; ++y)
            for (int x = 0; x < 300; ++x)
                ASSERT_EQ(dentroDoCampo(x, y) ? 200 : 0, out.at<V>(y, x)[0]) << x << "," << y;
    }
}

// morphPara on random enlargements, and morphAmpliando on random images against the definition
// on their enlargement (the correction's own path), each in both forms.
TEST(Correction_MorphPara, every_form_gives_the_bytes_of_the_definition_on_random_meshes)
{
    std::mt19937 random(42);
    for (int trial = 0; trial < 300; ++trial) {
        const int sw = 16 + int(random() % 90), sh = 8 + int(random() % 60);
        fillRandomMesh(random, sw, sh, trial % 4 == 0);
        cv::Mat_<V> src(sh, sw);
        for (auto& p : src) // some pixels stay black
            p = random() % 5 ? V(random() % 256, random() % 256, random() % 256) : V(0, 0, 0);
        const int w = trial % 5 == 0 ? 200 + int(random() % 300) : 436;
        const int h = trial % 7 == 0 ? 200 + int(random() % 300) : 436;
        const cv::Mat direct = warp(0, src, w, h);
        for (int forma : {1, 2})
            ASSERT_EQ(0, cv::norm(direct, warp(forma, src, w, h), cv::NORM_INF))
                << "trial " << trial << ", form " << forma;
        // An image a quarter of the size, whose first samples are often 0 or 1, so that its
        // enlargement holds pixels that look empty to the collision rule.
        cv::Mat_<V> small((sh + 3) / 4, (sw + 3) / 4);
        cv::randu(small, 0, 256);
        for (auto& p : small)
            p[0] = random() % 3 ? uchar(random() % 2) : p[0];
        const IplImage header = cvIplImage(small);
        const Imagem enlarged = ampliaQuatroVezes(&header);
        const cv::Mat ofEnlarged = warp(0, cv::cvarrToMat(enlarged.get()), w, h);
        // On several threads (several bands of destination columns) and on one (one band).
        const int threads = cv::getNumThreads();
        for (int forma = 0; forma < 4; ++forma) {
            usarFormaPortavel(forma % 2 == 1);
            cv::setNumThreads(forma < 2 ? threads : 1);
            const Imagem out = morphAmpliando(&header, cvSize(w, h), IPL_DEPTH_8U, nullptr);
            cv::setNumThreads(threads);
            ASSERT_EQ(0, cv::norm(ofEnlarged, cv::cvarrToMat(out.get()), cv::NORM_INF))
                << "trial " << trial << ", morphAmpliando, form " << forma;
        }
    }
}

// After each source row i the value 100 * i / rows + 1 when it changes, then 100 if the last
// was below: 50 rows show 1, 3, 5, ..., 99, 100.
TEST(Correction_MorphPara, progress_values_per_source_row_end_at_100)
{
    everyPixelThrough(cv::Matx23f(1, 0, 0, 0, 1, 0));
    for (int rows : {50, 1000, 1, 3}) {
        const cv::Mat src(rows, 4, CV_8UC3, cv::Scalar(0, 0, 0));
        const IplImage header = cvIplImage(src);
        std::vector<int> shown, expected;
        const auto mostrar = [&](int v) { shown.push_back(v); };
        morphPara(&header, cvSize(436, 436), IPL_DEPTH_8U, mostrar);
        for (int i = 0; i < rows; ++i)
            if (expected.empty() || expected.back() != 100 * i / rows + 1)
                expected.push_back(100 * i / rows + 1);
        if (expected.back() != 100) expected.push_back(100);
        EXPECT_EQ(expected, shown) << rows << " rows";
    }
}

// The enlargement against three passes over the output (copy, row midpoints, row repetition;
// the last column repeats its left neighbour), into an output filled with 0xAB whose row
// padding (two bytes for an odd width) must stay.
TEST(Correction_Dobra, equals_the_three_pass_definition_and_never_writes_row_padding)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = trial < 2 ? 1 + trial : 1 + int(random() % 37),
                  h = trial < 2 ? 1 : 1 + int(random() % 9);
        cv::Mat_<V> src(h, w), expected(2 * h, 2 * w);
        cv::randu(src, 0, 256);
        const cv::Mat copy = src.clone();
        for (int y = 0; y < 2 * h; y += 2) {
            for (int x = 0; x < 2 * w; ++x)
                expected(y, x) =
                    x % 2 == 0 ? src(y / 2, x / 2) : src(y / 2, std::min(x / 2 + 1, w - 1));
            for (int x = 1; x < 2 * w - 1; x += 2)
                for (int s = 0; s < 3; ++s)
                    expected(y, x)[s] = (expected(y, x - 1)[s] + expected(y, x + 1)[s]) / 2;
            expected.row(y).copyTo(expected.row(y + 1));
        }
        const IplImage header = cvIplImage(src);
        Imagem out = criarImagem(cvSize(2 * w, 2 * h));
        std::memset(out->imageData, 0xAB, static_cast<size_t>(out->imageSize));
        ASSERT_TRUE(dobraEm(&header, out.get()));
        EXPECT_EQ(0, cv::norm(expected, cv::cvarrToMat(out.get()), cv::NORM_INF)) << w << "x" << h;
        for (int y = 0; y < out->height; ++y)
            for (int i = 6 * w; i < out->widthStep; ++i)
                ASSERT_EQ(0xAB, uchar(out->imageData[y * out->widthStep + i]));
        out.reset(dobra(&header));
        EXPECT_EQ(0, cv::norm(expected, cv::cvarrToMat(out.get()), cv::NORM_INF)) << w << "x" << h;
        EXPECT_EQ(0, cv::norm(copy, src, cv::NORM_INF)) << "the source is only read";
    }
}

TEST(Correction_Dobra, refuses_what_it_cannot_hold_before_allocating)
{
    const Imagem grey(cvCreateImage(cvSize(4, 4), IPL_DEPTH_8U, 1)), small = criarImagem({3, 3});
    EXPECT_EQ(nullptr, dobra(grey.get()));
    EXPECT_EQ("a ampliação recebe só imagens de 8 bits com 3 canais", motivoFalha());
    EXPECT_FALSE(dobraEm(small.get(), small.get())) << "the output must be twice the source";
    EXPECT_TRUE(ampliacaoCabe(16000, 8000, 2));
    EXPECT_FALSE(ampliacaoCabe(16000, 16000, 4)) << "64000 x 64000 x 3 bytes exceed 32 bits";
    EXPECT_FALSE(ampliacaoCabe(INT_MAX, 1, 2) || ampliacaoCabe(0, 5, 2) || ampliacaoCabe(5, 0, 2));
    // A header without pixels: the refusal comes before anything is read or allocated.
    IplImage* huge = cvCreateImageHeader(cvSize(6700, 6700), IPL_DEPTH_8U, 3);
    limparFalha();
    EXPECT_EQ(nullptr, ampliaQuatroVezes(huge));
    EXPECT_EQ("a imagem de 6700x6700 pixels ampliada quatro vezes excede o tamanho máximo de uma "
              "imagem (2 GiB)",
              motivoFalha());
    cvReleaseImageHeader(&huge);
}
