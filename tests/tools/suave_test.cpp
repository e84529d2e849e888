// --suave as a user runs it: corrigir and corrigir-lote give the curved correction computed in
// the process, and name once the triangles where the curved map would fold.
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"
#include "utilities/quality.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace corretor;

// The demo as it is, then with node 12's source point moved far (a bad node): the result of
// corrigir holds the bytes of the curved correction made here, and the triangles it made flat
// are named once by corrigir, once by a batch of two images and once by comparar's table of
// the modes. On the sound demo nothing is
// made flat and the curved map beats the flat one by well over a decibel.
TEST(Tools_Suave, corrigir_and_the_batch_give_the_curved_correction_and_name_the_flat_triangles)
{
    for (const bool ruim : {false, true}) {
        SCOPED_TRACE(ruim ? "bad node" : "demo");
        teste::Workspace ws;
        ASSERT_EQ(0, teste::run(MALHA_PATH, {"demo", "."}, "", ws.dir()).status);
        if (ruim) {
            std::ifstream lido((ws / "data/verticesamp4.txt").string());
            std::string nos, linha;
            for (int k = 1; std::getline(lido, linha); ++k)
                nos += (k == 12 ? "399 422" : linha) + "\n";
            ws.write("data/verticesamp4.txt", nos);
        }
        const auto corrigir = teste::run(CORRIGIR_PATH, {"--interpolado=lanczos", "--suave"},
                                         "amostra.jpg\n", ws.dir());
        ASSERT_EQ(0, corrigir.status) << corrigir.err;
        const auto lote = teste::run(CORRIGIR_LOTE_PATH,
                                     {"--suave", "amostra.jpg", "data/pattern.jpg"}, "", ws.dir());
        ASSERT_EQ(0, lote.status) << lote.err;

        const teste::InDirectory aqui(ws.dir());
        teste::estadoInicial();
        carregaVetorVertices();
        const Imagem amostra = abrir("amostra.jpg"), padrao = abrir("data/pattern.jpg");
        std::vector<int> planos;
        const Imagem curva = corrigirInterpolado(amostra.get(), padrao.get(),
                                                 {Interpolacao::Lanczos, true}, nullptr, &planos);
        ASSERT_TRUE(save("aqui.jpg", curva.get()));
        EXPECT_EQ(ws.read("aqui.jpg"), ws.read("result.jpg"));
        ASSERT_TRUE(save(
            "aqui.jpg",
            corrigirInterpolado(amostra.get(), padrao.get(), {Interpolacao::Cubica, true}).get()));
        EXPECT_EQ(ws.read("aqui.jpg"), ws.read("resultados/amostra.jpg"));
        EXPECT_EQ(ruim, !planos.empty());
        const std::string aviso = "aviso: " + avisoDePlanos(planos) + "\n";
        EXPECT_EQ(ruim ? aviso : "", corrigir.err);
        EXPECT_EQ(ruim ? aviso : "", lote.err);

        // comparar's table: the row of these options measures the result corrigir saved.
        const Imagem salva = abrir("result.jpg");
        Qualidade q{};
        ASSERT_TRUE(avaliarCorrecao(salva.get(), padrao.get(), q));
        const auto modos = teste::run(COMPARAR_PATH, {"--modos", "amostra.jpg"}, "", ws.dir());
        ASSERT_EQ(0, modos.status) << modos.err;
        char linha[80];
        std::snprintf(linha, sizeof linha, "\n%9.2f  %9.4f  --interpolado=lanczos --suave\n",
                      q.psnr, q.cobertura);
        EXPECT_NE(std::string::npos, modos.out.find(linha)) << modos.out;
        EXPECT_EQ(8, teste::vezes(modos.out, "\n")) << modos.out;
        EXPECT_EQ(ruim ? aviso : "", modos.err);

        if (ruim) continue;
        const Imagem plana =
            corrigirInterpolado(amostra.get(), padrao.get(), {Interpolacao::Lanczos, false});
        ASSERT_TRUE(save("plana.jpg", plana.get()));
        const Imagem planaSalva = abrir("plana.jpg");
        Qualidade p{};
        ASSERT_TRUE(avaliarCorrecao(planaSalva.get(), padrao.get(), p));
        EXPECT_EQ(1.0, q.cobertura);
        EXPECT_GE(q.psnr, 21.2);
        EXPECT_GE(q.psnr, p.psnr + 1.0);
    }
}
