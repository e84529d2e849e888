// The local matcher (calibration/pattern_matching.h) on a capture that is the pattern shifted by
// a known amount: the shift found to a small fraction of a pixel, and no match where the
// neighbourhood is flat or the best shift lies on the edge of the search.
#include "calibration/pattern_matching.h"
#include "calibration/sintetica/captura_sintetica.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace corretor;

namespace {

// The natural pattern in grey, smoothed a little (so that resampling it is exact to well
// below the tolerances), with a flat square about (100, 330).
cv::Mat padraoDeTeste()
{
    cv::Mat cinza, f;
    cv::cvtColor(padraoSintetico(TipoDePadrao::Natural, 5), cinza, cv::COLOR_BGR2GRAY);
    cinza.convertTo(f, CV_32F);
    cv::GaussianBlur(f, f, cv::Size(0, 0), 1.0);
    f(cv::Rect(60, 290, 80, 80)).setTo(120);
    return f;
}

// `padrao` shifted by `s`: capture(q) = padrao(q - s).
cv::Mat deslocado(const cv::Mat& padrao, cv::Point2d s)
{
    cv::Mat c;
    cv::warpAffine(padrao, c, cv::Matx23d(1, 0, s.x, 0, 1, s.y), padrao.size(), cv::INTER_CUBIC,
                   cv::BORDER_REFLECT);
    return c;
}

} // namespace

TEST(Calibration_PatternMatching, finds_known_shifts_and_refuses_flat_and_edge_peaks)
{
    const cv::Mat padrao = padraoDeTeste();
    // The capture straightened through a model that is a plain shift t: E(x) = capture(x + t),
    // so the match finds d = s - t.
    const cv::Point2d t(2, -1);
    const ModeloDaLente modelo = ModeloDaLente::deAfim(cv::Matx23d(1, 0, t.x, 0, 1, t.y));
    struct Linha
    {
        cv::Point2d s;
        cv::Point ponto;
        bool achado;
        const char* caso;
    };
    const Linha linhas[] = {
        {{2.37, -1.62}, {218, 218}, true, "sub-pixel, centre"},
        {{2.37, -1.62}, {300, 150}, true, "sub-pixel, elsewhere"},
        {{0.5, 0.5}, {150, 250}, true, "half a pixel"},
        {{4.4, -1.0}, {218, 218}, true, "2.4 pixels, within the search of 3"},
        {{2.0, -1.0}, {100, 330}, false, "flat neighbourhood"},
        {{7.0, -1.0}, {218, 218}, false, "5 pixels: the best shift on the edge of the search"},
        {{2.0, 4.5}, {250, 180}, false, "5.5 pixels down: on the edge"},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.caso);
        const CapturaEndireitada e = endireitar(deslocado(padrao, l.s), modelo, padrao.size(), 12);
        for (bool fino : {false, true}) {
            const Casamento c = casar(padrao, e, l.ponto, 16, 3, 0.5, fino);
            ASSERT_EQ(l.achado, c.achado) << "fino " << fino;
            if (!c.achado) continue;
            const cv::Point2d d = l.s - t;
            EXPECT_NEAR(d.x, c.deslocamento.x, 0.08) << "fino " << fino;
            EXPECT_NEAR(d.y, c.deslocamento.y, 0.08) << "fino " << fino;
            EXPECT_GT(c.confianca, 0.95);
            EXPECT_LT(c.covariancia(0, 0), 0.01);
        }
    }
}
