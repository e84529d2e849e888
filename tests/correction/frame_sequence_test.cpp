// The frame pipeline: frames that take the workers very different times come out in the order
// they went in, each the single correction of its frame; the first failure of any step stops
// the work and is reported, naming the frame when a correction failed.
#include "correction/driver.h"
#include "correction/frame_sequence.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <optional>

using namespace corretor;

TEST(Correction_FrameSequence, keeps_the_order_and_stops_at_the_first_failure)
{
    teste::Workspace ws;
    teste::writeSmallWorkspace(ws);
    const teste::InDirectory aqui(ws.dir());
    carregaVetorVertices();
    const Imagem padrao = abrir("data/pattern.jpg");
    // Large frames among small ones: a worker given a small frame finishes long before the one
    // given the large frame before it.
    std::vector<cv::Mat> quadros;
    for (int k = 0; k < 16; ++k)
        quadros.push_back(k % 4 == 1 ? teste::pictureOf(700, 500, k) : teste::pictureOf(6, 5, k));

    struct Caso
    {
        std::optional<ModoInterpolado> modo;
        int trabalhadores;
        int falhaDeLeitura = -1; // the reader fails at this frame
        int largo = -1;          // this frame is too wide for the interpolated maps
        long esperado;           // frames written, or -1
        std::string motivo;      // the reason then recorded
    };
    const Caso casos[] = {
        {std::nullopt, 3, -1, -1, 16, ""},
        {ModoInterpolado{Interpolacao::Cubica}, 2, -1, -1, 16, ""},
        {ModoInterpolado{Interpolacao::Lanczos, true}, 2, -1, -1, 16, ""},
        {ModoInterpolado{Interpolacao::Linear}, 1, -1, -1, 16, ""},
        {std::nullopt, 2, 9, -1, -1, "ilegível"},
        {ModoInterpolado{Interpolacao::Linear}, 3, -1, 6, -1, "quadro 7: "},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(std::to_string(c.trabalhadores) + " workers, read failure " +
                     std::to_string(c.falhaDeLeitura) + ", wide frame " + std::to_string(c.largo));
        CorrecaoCompartilhada correcao(padrao.get());
        std::vector<cv::Mat> gravados;
        size_t proximo = 0;
        long progresso = 0;
        EtapasDaSequencia etapas;
        etapas.ler = [&](cv::Mat& quadro) {
            if (static_cast<int>(proximo) == c.falhaDeLeitura) falhar("quadro ilegível");
            if (proximo == quadros.size() || houveFalha()) return false;
            const bool largo = static_cast<int>(proximo) == c.largo;
            (largo ? cv::Mat(1, 40000, CV_8UC3, cv::Scalar(1, 2, 3)) : quadros[proximo])
                .copyTo(quadro);
            ++proximo;
            return true;
        };
        etapas.gravar = [&](const cv::Mat& corrigido) {
            gravados.push_back(corrigido.clone());
            return true;
        };
        etapas.progresso = [&](long feitos) { progresso = feitos; };
        limparFalha();
        EXPECT_EQ(c.esperado, corrigirSequencia(correcao, c.modo, etapas, c.trabalhadores));
        EXPECT_EQ(c.motivo.empty(), !houveFalha());
        EXPECT_NE(std::string::npos, motivoFalha().find(c.motivo)) << motivoFalha();
        EXPECT_EQ(static_cast<long>(gravados.size()), progresso);
        if (c.esperado < 0)
            EXPECT_LT(gravados.size(), static_cast<size_t>(std::max(c.falhaDeLeitura, c.largo)));
        else
            EXPECT_EQ(quadros.size(), gravados.size());
        for (size_t k = 0; k < gravados.size(); ++k) {
            const IplImage quadro = cvIplImage(quadros[k]);
            const Imagem esperado = c.modo ? corrigirInterpolado(&quadro, padrao.get(), *c.modo)
                                           : corrigirImagem(&quadro, padrao.get(), nullptr);
            EXPECT_EQ(0, cv::norm(cv::cvarrToMat(esperado.get()), gravados[k], cv::NORM_INF))
                << "frame " << k;
        }
        limparFalha();
    }
}
