// malha calibrar and malha refinar as a user meets them: the refusals, each leaving the
// workspace as it was, and a mesh written whole, checked, and replaced all together or not at all.
#include "authoring/mesh_value.h"
#include "calibration/node_layout.h"
#include "calibration/sintetica/captura_sintetica.h"
#include "mesh/ampliacao.h"
#include "tests/support/workspace.h"
#include "tests/tools/simple_capture.h"
#include "tools/malha/malha_cli.h"
#include "utilities/report.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <sstream>

corretor::Caso teste::casoSimples(corretor::TipoDePadrao tipo)
{
    corretor::Caso c;
    c.padrao = tipo;
    c.lente.k1 = -0.12;
    c.lente.angulo = 0.05;
    c.lente.escala = 0.75;
    c.tamanho = cv::Size(360, 350);
    c.lente.centro = cv::Point2d(180, 172);
    c.ruido = 2;
    c.qualidade = 90;
    return c;
}

namespace {

using namespace corretor;
using teste::casoSimples;

class Tools_MalhaCalibrar : public ::testing::Test
{
protected:
    teste::RunResult malha(const std::vector<std::string>& args)
    {
        return teste::run(MALHA_PATH, args, "", ws.dir());
    }
    teste::Workspace ws;
};

} // namespace

TEST_F(Tools_MalhaCalibrar, refuses_a_capture_it_cannot_use_and_writes_nothing)
{
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Demo, 1);
    const Caso bom = casoSimples(TipoDePadrao::Demo);
    Caso cortado = bom; // a fifth of the field beyond the capture's right edge
    cortado.lente.centro.x += 60;
    cv::Mat coberta = fotografar(padrao, bom); // the left half of the field hidden
    cv::rectangle(coberta, cv::Rect(0, 0, 165, 350), cv::Scalar::all(0), cv::FILLED);
    struct Linha
    {
        const char* nome;
        cv::Mat captura;
        const char* motivo;
        bool malhaAntiga = false;
    };
    const Linha linhas[] = {
        {"outra foto", fotografar(padraoSintetico(TipoDePadrao::Natural, 7), bom),
         "não parece mostrar o padrão"},
        {"uniforme", cv::Mat(300, 300, CV_8UC3, cv::Scalar(128, 128, 128)), "uniforme ou quase"},
        {"campo cortado", fotografar(padrao, cortado), "não cobre o círculo do campo"},
        {"poucos nós", coberta, "nós dentro do campo foram achados com segurança"},
        {"malha já existe", fotografar(padrao, bom), "já existe", true},
    };
    for (const Linha& l : linhas) {
        SCOPED_TRACE(l.nome);
        teste::Workspace local;
        local.write("data/pattern.jpg", padrao);
        local.write("captura.png", l.captura);
        if (l.malhaAntiga) local.write("data/vertices2.txt", "1 2\n");
        const auto antes = teste::conteudo(local.dir());
        const auto r = teste::run(MALHA_PATH, {"calibrar", "captura.png"}, "", local.dir());
        EXPECT_EQ(1, r.status) << r.out;
        EXPECT_NE(std::string::npos, r.err.find(l.motivo)) << r.err;
        EXPECT_EQ(antes, teste::conteudo(local.dir())) << "nothing is written";
    }
}

TEST_F(Tools_MalhaCalibrar, writes_a_checked_mesh_replaces_it_whole_or_not_at_all_and_refines_it)
{
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Demo, 1);
    ws.write("data/pattern.jpg", padrao);
    ws.write("captura.png", fotografar(padrao, casoSimples(TipoDePadrao::Demo)));

    const auto feita = malha({"calibrar", "captura.png", "--nos", "40"});
    ASSERT_EQ(0, feita.status) << feita.err;
    EXPECT_NE(std::string::npos, feita.out.find("nós: 40;")) << feita.out;
    EXPECT_NE(std::string::npos, feita.out.find("maior desacordo")) << feita.out;
    const auto verificar = malha({"verificar"});
    EXPECT_EQ(0, verificar.status) << verificar.out;
    EXPECT_EQ(103u, ws.list("matrix").size() + ws.list("data").size())
        << "99 maps, 3 mesh files and the pattern";

    // One target name taken by a folder: nothing at all is replaced.
    std::filesystem::remove(ws / "matrix/50.txt");
    std::filesystem::create_directory(ws / "matrix/50.txt");
    const auto antes = teste::conteudo(ws.dir());
    EXPECT_EQ(1, malha({"calibrar", "captura.png", "--nos", "40", "--substituir"}).status);
    EXPECT_TRUE(antes == teste::conteudo(ws.dir())) << "nothing replaced";
    std::filesystem::remove(ws / "matrix/50.txt");

    // Source nodes pushed 3 capture pixels to the right come back, the target nodes untouched.
    std::istringstream origem(ws.read("data/verticesamp4.txt"));
    std::ostringstream empurrada;
    int x = 0, y = 0;
    while (origem >> x >> y)
        empurrada << x + 12 << ' ' << y << '\n';
    ws.write("data/verticesamp4.txt", empurrada.str());
    const std::string alvo = ws.read("data/vertices2.txt");
    const auto refinar = malha({"refinar", "captura.png"});
    ASSERT_EQ(0, refinar.status) << refinar.err;
    EXPECT_NE(std::string::npos, refinar.out.find("movido 3.")) << refinar.out;
    EXPECT_EQ(alvo, ws.read("data/vertices2.txt"));
    // Back to the calibrated nodes within half a capture pixel (two enlarged pixels).
    std::istringstream calibrada(antes.at("data/verticesamp4.txt")),
        refinada(ws.read("data/verticesamp4.txt"));
    int nos = 0, cx = 0, cy = 0, rx = 0, ry = 0;
    while (calibrada >> cx >> cy && refinada >> rx >> ry) {
        EXPECT_LE(std::abs(rx - cx) + std::abs(ry - cy), 2) << "node " << nos + 1;
        ++nos;
    }
    EXPECT_EQ(40, nos);
    EXPECT_EQ(0, malha({"verificar"}).status);
}

// refinar's own checks: too few picks; a pick outside the capture named and brought to what the
// capture shows; picks turned a quarter turn refused by the check against the capture, unless
// --forcar.
TEST_F(Tools_MalhaCalibrar, refinar_names_bad_picks_and_refuses_a_turned_mesh)
{
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Demo, 1);
    ws.write("data/pattern.jpg", padrao);
    ws.write("captura.png", fotografar(padrao, casoSimples(TipoDePadrao::Demo)));
    ASSERT_EQ(0, malha({"calibrar", "captura.png", "--nos", "30"}).status);
    std::vector<std::pair<int, int>> nos;
    std::istringstream origem(ws.read("data/verticesamp4.txt"));
    int x = 0, y = 0;
    while (origem >> x >> y)
        nos.emplace_back(x, y);
    const std::string alvo = ws.read("data/vertices2.txt");
    const auto gravar = [&](const std::vector<std::pair<int, int>>& lista, int quantos) {
        std::ostringstream texto, destino;
        std::istringstream linhas(alvo);
        std::string linha;
        for (int k = 0; k < quantos; ++k) {
            texto << lista[k].first << ' ' << lista[k].second << '\n';
            std::getline(linhas, linha);
            destino << linha << '\n';
        }
        ws.write("data/verticesamp4.txt", texto.str());
        ws.write("data/vertices2.txt", destino.str());
        EXPECT_EQ(0, malha({"triangular", "--substituir"}).status);
    };
    gravar(nos, 5);
    auto r = malha({"refinar", "captura.png"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("nós marcados de menos: só 5")) << r.err;

    std::vector<std::pair<int, int>> fora = nos;
    fora[20].first = -80; // node 21, left of the capture
    gravar(fora, 30);
    r = malha({"refinar", "captura.png"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("21 (fora da captura)")) << r.err;
    std::istringstream refinada(ws.read("data/verticesamp4.txt"));
    for (int k = 0; k <= 20 && refinada >> x >> y; ++k) {
    }
    EXPECT_LE(std::abs(x - nos[20].first) + std::abs(y - nos[20].second), 3);

    // A quarter turn about the capture's centre (enlarged: (720, 700)): the demo's pattern
    // matches node by node turned so, but not as a whole.
    std::vector<std::pair<int, int>> girada = nos;
    for (auto& [px, py] : girada) {
        const int dx = px - 720, dy = py - 700;
        px = 720 - dy, py = 700 + dx;
    }
    gravar(girada, 30);
    const auto antes = teste::conteudo(ws.dir());
    r = malha({"refinar", "captura.png"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("mostra o padrão girado de 270 graus")) << r.err;
    EXPECT_TRUE(antes == teste::conteudo(ws.dir())) << "nothing written";
}

// The check against the capture before writing: a mesh that does not agree is refused, and
// written with a warning under --forcar.
TEST_F(Tools_MalhaCalibrar, a_mesh_that_disagrees_with_its_capture_is_refused_unless_forced)
{
    Caso c = casoSimples(TipoDePadrao::Natural);
    const cv::Mat padrao = padraoSintetico(TipoDePadrao::Natural, 2);
    const cv::Mat captura = fotografar(padrao, c);
    MalhaNova malha;
    malha.destino = escolherNosDeDestino(kMaisNos);
    for (const auto& p : malha.destino) {
        const cv::Point2d q = aplicarLente(c.lente, cv::Point2d(p)) - c.lente.centro;
        malha.origem.push_back(paraAmpliada(c.lente.centro + cv::Point2d(-q.y, q.x)));
    }
    ASSERT_TRUE(triangular(malha));
    for (bool forcar : {false, true}) {
        limparFalha();
        testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
        const bool aceita = conferirComACaptura(padrao, captura, "c.png", malha, forcar);
        testing::internal::GetCapturedStdout();
        const std::string avisos = testing::internal::GetCapturedStderr();
        EXPECT_EQ(forcar, aceita);
        const std::string& texto = forcar ? avisos : motivoFalha();
        EXPECT_NE(std::string::npos, texto.find("não confere com a captura \"c.png\"")) << texto;
    }
}

// malha padrao writes the pattern and a sheet of the size asked, and replaces an existing
// pattern only when told.
TEST_F(Tools_MalhaCalibrar, padrao_writes_the_pattern_and_its_sheet)
{
    EXPECT_EQ(2, malha({"padrao", "--mm", "5"}).status);
    EXPECT_TRUE(ws.list().empty());
    ASSERT_EQ(0, malha({"padrao", "--mm", "100", "--dpi", "254", "--folha", "f.png"}).status);
    EXPECT_EQ(cv::Size(436, 436), cv::imread((ws / "data/pattern.jpg").string()).size());
    // 100 mm at 10 dots a millimetre, and a margin of a tenth on each side.
    EXPECT_EQ(cv::Size(1200, 1200), cv::imread((ws / "f.png").string()).size());
    const auto antes = teste::conteudo(ws.dir());
    const auto r = malha({"padrao"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("--substituir")) << r.err;
    EXPECT_TRUE(antes == teste::conteudo(ws.dir()));
}
