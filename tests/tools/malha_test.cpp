// malha as a user runs it: one row per subcommand's work and per failure class, then the demo
// workspace made, checked and corrected.
#include "calibration/sintetica/demo_scene.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "tests/support/state.h"
#include "tests/support/workspace.h"
#include "tools/malha/demo_workspace.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

// `n` distinct nodes inside the field, in general position, as vertex file text.
std::string nodes(int n, unsigned seed)
{
    std::mt19937 random(seed);
    std::set<std::pair<int, int>> all;
    std::string text;
    while (static_cast<int>(all.size()) < n) {
        const int x = 30 + int(random() % 380), y = 30 + int(random() % 380);
        if (all.insert({x, y}).second) text += std::to_string(x) + " " + std::to_string(y) + "\n";
    }
    return text;
}

// Lines of a file of the workspace, and of the files of a folder.
int lines(const teste::Workspace& ws, const std::string& file)
{
    return teste::vezes(ws.read(file), "\n");
}

void twoTriangles(const teste::Workspace& ws, const teste::RunResult&)
{
    EXPECT_EQ(2, lines(ws, "data/quelvarina.txt"));
    EXPECT_EQ(4u, ws.list("data").size()) << "no temporary file left";
}

void everyMatrixFile(const teste::Workspace& ws, const teste::RunResult&)
{
    EXPECT_EQ(99u, ws.list("matrix").size()) << "the folder is made when missing";
    EXPECT_EQ(2, lines(ws, "matrix/98.txt"));
}

void appended(const teste::Workspace& ws, const teste::RunResult&)
{
    EXPECT_EQ(4, lines(ws, "matrix/0.txt"));
}

void replaced(const teste::Workspace& ws, const teste::RunResult&)
{
    EXPECT_EQ(2, lines(ws, "matrix/0.txt"));
}

// Pixels of the numbers' yellow (anti-aliased, so roughly) in the square of side 2r+1 about
// (x, y).
int yellowNear(const cv::Mat& image, int x, int y, int r)
{
    int n = 0;
    for (const cv::Vec3b& p :
         cv::Mat_<cv::Vec3b>(image(cv::Rect(x - r, y - r, 2 * r + 1, 2 * r + 1))))
        n += p[0] < 90 && p[1] > 160 && p[2] > 160;
    return n;
}

void drawings(const teste::Workspace& ws, const teste::RunResult&)
{
    const cv::Mat origem = cv::imread((ws / "malha-origem.png").string(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(cv::Size(240, 200), origem.size()) << "the picture enlarged four times";
    EXPECT_EQ(cv::Vec3b(0, 0, 255), origem.at<cv::Vec3b>(39, 120)) << "node 2, above its edges";
    EXPECT_EQ(cv::Vec3b(255, 0, 0), origem.at<cv::Vec3b>(80, 80)) << "the diagonal edge 2-3";
    EXPECT_EQ(cv::Vec3b(100, 100, 100), origem.at<cv::Vec3b>(20, 200)) << "untouched";
    EXPECT_EQ(cv::Vec3b(0, 0, 255), origem.at<cv::Vec3b>(0, 1)) << "empty entries: node 0";
    // The numbers at the centroids, away from every edge.
    EXPECT_TRUE(yellowNear(origem, 67, 67, 6) > 3 && yellowNear(origem, 93, 93, 6) > 3);
    EXPECT_EQ(0, yellowNear(origem, 200, 170, 15));
    const cv::Mat destino = cv::imread((ws / "malha-destino.png").string());
    ASSERT_EQ(cv::Size(220, 200), destino.size());
    EXPECT_EQ(cv::Vec3b(255, 255, 0), destino.at<cv::Vec3b>(60, 60)) << "the diagonal edge 2-3";
    EXPECT_TRUE(yellowNear(destino, 47, 47, 5) > 3 && yellowNear(destino, 73, 73, 5) > 3);
    EXPECT_EQ(0, yellowNear(destino, 180, 160, 15));
}

// A small workspace: a grey 60 x 50 picture (240 x 200 enlarged), a grey 220 x 200 pattern, and
// two triangles over four nodes, each with one edge on a diagonal, where anti-aliased lines
// take their whole colour.
std::vector<teste::Caso> casos()
{
    const std::string vazios = "aviso: triângulos vazios (0 0 0) não têm mapa; seus arquivos "
                               "recebem valores não finitos: 2 a 98\n",
                      vertices =
                          "> data/vertices2.txt; cp data/vertices2.txt data/verticesamp4.txt",
                      matrizes = "\"$0\" matrizes >/dev/null 2>&1";
    std::vector<teste::Caso> casos = {
        {"", "--help", "", 0, "",
         "uso: malha <subcomando> [opções]\n\nPrepara e confere, na pasta de trabalho, a malha que "
         "o programa de correção lê.\n\nsubcomandos:\n  triangular   grava",
         true},
        {"", "", "", 2, "uso: malha <subcomando>", "", true},
        {"", "triangulos", "", 2,
         "malha: erro: subcomando desconhecido \"triangulos\"; veja \"malha --help\"\n", "", true},
        {"", "verificar --substituir", "", 2, "malha: erro: opção desconhecida \"--substituir\"",
         "", true},
        {"rm data/quelvarina.txt", "triangular", "", 0, "",
         "2 triângulos sobre 4 nós gravados em \"data/quelvarina.txt\"\n", false, "", "",
         twoTriangles},
        {"", "triangular", "", 1,
         "\"data/quelvarina.txt\" já existe; para trocá-lo, use \"malha triangular --substituir\"",
         "", true},
        {"echo 1 2 3 > data/quelvarina.txt", "triangular --substituir", "", 0, "", "2 triângulos",
         false, "", "", twoTriangles},
        // Refusals leave the triangle file of the workspace as it was.
        {"printf '1 1\\n5 5\\n' > data/vertices2.txt; cp data/vertices2.txt data/verticesamp4.txt",
         "triangular --substituir", "", 1,
         "são precisos ao menos 3 nós para formar um triângulo; \"data/vertices2.txt\" tem 2", "",
         true},
        {"printf '0 0\\n10 10\\n-30 -30\\n' > data/vertices2.txt; cp data/vertices2.txt "
         "data/verticesamp4.txt",
         "triangular --substituir", "", 1,
         "os 3 nós de \"data/vertices2.txt\" estão todos numa reta", "", true},
        {"echo 3 1000001 >> data/vertices2.txt; echo 3 3 >> data/verticesamp4.txt",
         "triangular --substituir", "", 1,
         "o nó 5 de \"data/vertices2.txt\" está em (3, 1000001), fora de ±1000000", "", true},
        {"echo 3 3 >> data/verticesamp4.txt", "triangular --substituir", "", 1,
         "malha: erro: \"data/verticesamp4.txt\" tem 5 nós e \"data/vertices2.txt\" tem 4", "",
         true},
        {"printf '" + nodes(64, 2) + "'" + vertices, "triangular --substituir", "", 1,
         "mais de 63 nós", "", true},
        {"printf '" + nodes(63, 3) + "'" + vertices, "triangular --substituir", "", 1,
         "triângulos, e o arquivo de triângulos comporta 99; use menos nós", "", true},
        {"echo 20 20 >> data/vertices2.txt; echo 9 9 >> data/verticesamp4.txt",
         "triangular --substituir", "", 1, "os nós 1 e 5 têm a mesma posição (20, 20)", "", true},
        {"", "matrizes", "", 0, vazios, "ttt = 0\nttt = 1\n", false,
         "ttt = 98\nmapas gravados em \"matrix/0.txt\" a \"matrix/98.txt\"\n", "", everyMatrixFile},
        {matrizes, "matrizes", "", 0,
         "aviso: os arquivos de matriz dos triângulos 0 a 98 já tinham mapas; os novos foram "
         "anexados depois deles, mas o programa de correção lê só as duas primeiras linhas e "
         "continuará com os antigos",
         "ttt = 0", false, "", "", appended},
        {matrizes + "; " + matrizes, "matrizes --substituir", "", 0, vazios, "ttt = 0", false, "",
         "", replaced},
        {matrizes + "; rm matrix/5.txt; mkdir matrix/5.txt", "matrizes --substituir", "", 1,
         "\"matrix/5.txt\" não é um arquivo comum; nenhum dos 99 arquivos foi trocado", "ttt = 0",
         true},
        // Files just under 1 KiB and a 1 KiB file-size limit: a few bytes of the appended lines
        // get through, and must be taken back.
        {"mkdir matrix; for t in $(seq 0 98); do printf '1 0 0\\n0 1 0\\n%1006s' '' > "
         "matrix/$t.txt; done",
         "matrizes", "", 1, "não foi possível gravar 99 de 99 arquivos de matriz", "ttt = 0", true,
         "", "ulimit -f 2;"},
        // A folder that takes no file (here one of /proc): nothing written, and said so.
        {"ln -s /proc/1 matrix", "matrizes --substituir", "", 1,
         "nenhum dos 99 arquivos foi trocado", "ttt = 0", true},
        {"ln -s /proc/1 matrix", "matrizes", "", 1, "nenhum arquivo recebeu mapa novo", "ttt = 0",
         true},
        // What is not a file in a matrix file's place is named and passed over, never waited on.
        {matrizes + "; rm matrix/5.txt; mkdir matrix/5.txt; rm matrix/6.txt; mkfifo matrix/6.txt; "
                    "ln -sf /dev/zero matrix/7.txt",
         "matrizes", "", 1, "não foi possível gravar 3 de 99 arquivos de matriz", "ttt = 0", false,
         "", "", appended},
        {matrizes + "; ln -sf /dev/zero matrix/7.txt; rm matrix/8.txt; mkfifo matrix/8.txt",
         "verificar", "", 1, "", "nós: 4 na origem", true,
         "faltam ou não se leem os arquivos de matriz \"matrix/<t>.txt\" dos triângulos 7, 8"},
        // Nodes at the ends of the 32-bit range are drawn without overflow.
        {"printf -- '-2147483648 -2147483648\\n-2147483648 2147483647\\n2147483647 "
         "-2147483648\\n' > data/verticesamp4.txt; cp data/verticesamp4.txt data/vertices2.txt; "
         "echo 1 2 3 > data/quelvarina.txt",
         "desenhar foto.png", "", 0, "", "\"malha-origem.png\"", false},
        {matrizes, "verificar", "", 0, "", "nós: 4 na origem", false,
         "\nnenhum problema encontrado\n"},
        {matrizes + "; " + matrizes, "verificar", "", 1, "", "nós: 4 na origem", false,
         "\nproblema: arquivos de matriz com mais de duas linhas"},
        // With exactly 64 triangles the report says the prompt will not show.
        {"for i in $(seq 32); do echo 1 2 3; echo 2 4 3; done > data/quelvarina.txt; " + matrizes,
         "verificar", "", 1, "", "nós: 4 na origem", true,
         "triângulos: 64 em \"data/quelvarina.txt\"; com exatamente 64, o programa de correção "
         "não mostra"},
        {"", "desenhar foto.png", "", 0, "",
         "\"malha-origem.png\": malha de origem (4 nós) sobre \"foto.png\" ampliada quatro "
         "vezes\n\"malha-destino.png\": malha de destino (4 nós) sobre \"data/pattern.jpg\"\n2 "
         "triângulos, numerados de 0 a 1\n",
         false, "", "", drawings},
        {"", "desenhar nada.png", "", 1, "malha: erro: não foi possível ler a imagem \"nada.png\"",
         "", true},
        {"echo 1 2 99 > data/quelvarina.txt", "desenhar foto.png", "", 1,
         "\"data/quelvarina.txt\", linha 1: 99: número de nó fora", "", true},
        {"", "desenhar", "", 2, "falta o nome da imagem", "", true},
        {"", "desenhar a.png b.png", "", 2, "argumento inesperado \"b.png\"", "", true},
        {"", "editar foto.png", "", 1,
         "malha: erro: não há tela (DISPLAY não está definido); para gravar os desenhos das malhas "
         "sem janela, use \"malha desenhar\"",
         "", true, "", "unset DISPLAY WAYLAND_DISPLAY;"},
        {"", "demo", "", 2, "falta a pasta onde criar a demonstração", "", true},
        {"mkdir cheia; : > cheia/x", "demo cheia", "", 1,
         "\"cheia\" já existe e não é uma pasta vazia", "", true},
        {"", "demo foto.png", "", 1, "\"foto.png\" já existe", "", true},
        {"", "demo falta/nova", "", 1, "não foi possível criar uma pasta temporária em", "", true},
        {"", "demo nova", "", 1, "não foi possível gravar", "", true, "", "ulimit -f 8;"},
    };
    for (std::string s : {"triangular", "matrizes", "verificar", "desenhar", "editar", "demo"})
        casos.push_back({"", s + " --help", "", 0, "", "uso: malha " + s, true});
    casos[casos.size() - 2].alem = "  g  grava as janelas em \"editor-imagem.png\"";
    casos.back().alem = "Para corrigir a amostra: cd PASTA && echo amostra.jpg | corrigir\n";
    return casos;
}

// Runs the rows whose subcommand writes mesh files (`escrevem`), or the others.
void conferirCasos(bool escrevem)
{
    for (const auto& c : casos()) {
        const std::string sub = c.args.substr(0, c.args.find(' '));
        if ((sub == "triangular" || sub == "matrizes") != escrevem) continue;
        teste::Workspace ws;
        ws.write("foto.png", cv::Mat(50, 60, CV_8UC3, cv::Scalar(100, 100, 100)));
        ws.write("data/pattern.jpg", cv::Mat(200, 220, CV_8UC3, cv::Scalar(128, 128, 128)));
        ws.write("data/verticesamp4.txt", "40 40\n120 40\n40 120\n120 120\n");
        ws.write("data/vertices2.txt", "20 20\n100 20\n20 100\n100 100\n");
        ws.write("data/quelvarina.txt", "1 2 3\n2 4 3\n");
        teste::conferir(MALHA_PATH, c, ws);
    }
}

} // namespace

TEST(Tools_Malha, subcommands_that_write_and_their_failures)
{
    conferirCasos(true);
}

TEST(Tools_Malha, subcommands_that_read_and_their_failures)
{
    conferirCasos(false);
}

// The demo's correction measured 18.96 dB (docs/performance.md); a change that moves the mesh,
// the lens or the warp by a fraction of a pixel shows well before this.
TEST(Tools_Malha, the_demo_is_the_same_every_time_and_its_correction_covers_the_field)
{
    teste::Workspace ws;
    const auto demo = teste::run(MALHA_PATH, {"demo", "um"}, "", ws.dir());
    ASSERT_EQ(0, demo.status) << demo.err;
    EXPECT_EQ("", demo.err) << "no warning from the mesh steps";
    EXPECT_NE(std::string::npos, demo.out.find("99 triângulos sobre 63 nós")) << demo.out;
    fs::create_directory(ws / "dois");
    {
        // In the process too, into an empty folder named with a trailing separator; the working
        // directory is given back.
        const teste::InDirectory here(ws.dir());
        testing::internal::CaptureStdout();
        EXPECT_TRUE(corretor::criarDemo("dois/")) << corretor::motivoFalha();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(ws.dir(), fs::current_path());
    }
    EXPECT_EQ((std::vector<std::string>{"dois", "um"}), ws.list()) << "no temporary folder left";
    const auto um = teste::conteudo(ws / "um");
    EXPECT_EQ(1u + 1u + 4u + 1u + 99u, um.size()) << "amostra.jpg, data/*, matrix/*";
    EXPECT_TRUE(um == teste::conteudo(ws / "dois")) << "the same bytes";

    const auto verificar = teste::run(MALHA_PATH, {"verificar"}, "", ws / "um");
    EXPECT_EQ(0, verificar.status) << verificar.out;
    EXPECT_EQ(std::string::npos, verificar.out.find("observação")) << verificar.out;
    ASSERT_EQ(0, teste::run(CORRIGIR_PATH, {}, "amostra.jpg\n", ws / "um").status);
    const teste::InDirectory here(ws / "um");
    teste::estadoInicial();
    corretor::carregaVetorVertices();
    ASSERT_FALSE(corretor::houveFalha()) << corretor::motivoFalha();
    const corretor::Imagem resultado = corretor::abrir("result.jpg");
    const corretor::Imagem padrao = corretor::abrir("data/pattern.jpg");
    const corretor::Imagem amostra = corretor::abrir("amostra.jpg");
    corretor::Qualidade q{}, semPerdas{};
    EXPECT_TRUE(corretor::avaliarCorrecao(resultado.get(), padrao.get(), q))
        << corretor::motivoFalha();
    EXPECT_GE(q.cobertura, 0.99);
    EXPECT_GE(q.psnr, 18.5);
    // The same correction before it is saved: JPEG lightens an isolated black pixel past the
    // hole threshold, so only the unsaved result shows every hole.
    const corretor::Imagem direto = corretor::corrigirImagem(amostra.get(), padrao.get(), {});
    EXPECT_TRUE(corretor::avaliarCorrecao(direto.get(), padrao.get(), semPerdas));
    EXPECT_GE(semPerdas.cobertura, 0.99);
}

// The picture is the pattern seen through the inverse of the lens, which undoes the lens up to
// the fold (1.826 field radii, 1.217 after the lens), beyond which nothing lands. No pixel of the
// pattern is dark, so the coverage above counts the whole field.
TEST(Tools_Malha, the_demo_lens_is_undone_up_to_the_fold_and_its_pattern_has_no_dark_pixel)
{
    const corretor::Distorcao lente = corretor::distorcaoDaDemo();
    const cv::Point2d centro(218, 218), fora(0, 1.22 * lente.escala * 210);
    cv::Point2d volta(7, 7);
    for (int k = 0; k < 1600; ++k) {
        const cv::Point2d p(-80 + 8 * (k % 40), -80 + 8 * (k / 40));
        ASSERT_TRUE(cv::norm(p - centro) > 1.8 * 210 ||
                    (corretor::desfazerDistorcao(lente, corretor::distorcer(lente, p), volta) &&
                     cv::norm(p - volta) < 1e-9))
            << p;
    }
    EXPECT_FALSE(corretor::desfazerDistorcao(lente, lente.centro + fora, volta));
    EXPECT_TRUE(corretor::desfazerDistorcao(lente, lente.centro + fora * (1.21 / 1.22), volta));
    cv::Mat maior;
    cv::reduce(corretor::desenharPadrao().reshape(1, 436 * 436), maior, 1, cv::REDUCE_MAX);
    EXPECT_GT(*std::min_element(maior.begin<uchar>(), maior.end<uchar>()),
              3 * corretor::kLimiarDeBuraco);
}
