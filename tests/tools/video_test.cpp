// corrigir-video as a user runs it: every frame the batch's correction (read back through the
// lossless FFV1), the formats, the progress line, the refusals and failures, and an interruption.
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <gtest/gtest.h>

#include <optional>

using namespace corretor;

namespace {

// `n` frames of the demo's picture, each turned a little further, as an FFV1 video at 25 frames
// a second.
void gravarClipe(const fs::path& nome, const cv::Mat& foto, int n)
{
    cv::VideoWriter video(nome.string(), cv::CAP_FFMPEG,
                          cv::VideoWriter::fourcc('F', 'F', 'V', '1'), 25, foto.size());
    ASSERT_TRUE(video.isOpened());
    const cv::Point2f centro(foto.cols / 2.0f, foto.rows / 2.0f);
    for (int k = 0; k < n; ++k) {
        cv::Mat quadro;
        cv::warpAffine(foto, quadro, cv::getRotationMatrix2D(centro, 0.7 * k, 1.0), foto.size(),
                       cv::INTER_LINEAR, cv::BORDER_REFLECT);
        video.write(quadro);
    }
}

// The frames of a video as the library decodes them.
std::vector<cv::Mat> quadros(const fs::path& nome)
{
    cv::VideoCapture video(nome.string(), cv::CAP_FFMPEG);
    std::vector<cv::Mat> todos;
    for (cv::Mat quadro; video.read(quadro);)
        todos.push_back(quadro.clone());
    return todos;
}

class Tools_CorrigirVideo : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, teste::run(MALHA_PATH, {"demo", ws.dir().string()}, "", ws.dir()).status);
        foto = cv::imread((ws / "amostra.jpg").string());
        gravarClipe(ws / "clipe.mkv", foto, kQuadros);
    }
    teste::RunResult video(std::vector<std::string> args)
    {
        return teste::run(CORRIGIR_VIDEO_PATH, args, "", ws.dir());
    }
    static constexpr int kQuadros = 12;
    teste::Workspace ws;
    cv::Mat foto;
};

} // namespace

TEST_F(Tools_CorrigirVideo, every_frame_is_the_batch_correction_in_both_modes)
{
    const std::vector<cv::Mat> entrada = quadros(ws / "clipe.mkv");
    ASSERT_EQ(kQuadros, static_cast<int>(entrada.size()));
    const teste::InDirectory dentro(ws.dir());
    carregaVetorVertices();
    const Imagem padrao = abrir("data/pattern.jpg");
    cv::imwrite("quadro5.png", entrada[5]);

    struct Modo
    {
        const char* opcao; // null for the forward correction
        std::optional<ModoInterpolado> modo;
    };
    for (const Modo& m : {Modo{nullptr, std::nullopt}, Modo{"--interpolado", ModoInterpolado{}},
                          Modo{"--suave", ModoInterpolado{Interpolacao::Cubica, true}}}) {
        const std::optional<ModoInterpolado>& modo = m.modo;
        SCOPED_TRACE(m.opcao ? m.opcao : "forward");
        std::vector<std::string> args = {"clipe.mkv", "saida.mkv"};
        if (m.opcao) args.insert(args.begin(), m.opcao);
        const teste::RunResult r = video(args);
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ(0u, r.out.find("12 quadros corrigidos em \"saida.mkv\"")) << r.out;
        EXPECT_EQ(std::string::npos, r.out.find('\r')) << "no progress line in a pipe";
        EXPECT_EQ(1, teste::vezes(r.err, "não leva som")) << r.err;

        const std::vector<cv::Mat> saida = quadros("saida.mkv");
        ASSERT_EQ(entrada.size(), saida.size());
        for (int k = 0; k < kQuadros; ++k) {
            const IplImage quadro = cvIplImage(entrada[k]);
            const Imagem esperado = modo ? corrigirInterpolado(&quadro, padrao.get(), *modo)
                                         : corrigirImagem(&quadro, padrao.get(), nullptr);
            ASSERT_NE(nullptr, esperado);
            EXPECT_EQ(0, cv::norm(cv::cvarrToMat(esperado.get()), saida[k], cv::NORM_INF))
                << "frame " << k;
        }
        // The program corrigir-lote on one frame: the same pixels, so the same JPEG bytes.
        std::vector<std::string> lote = {"quadro5.png"};
        if (m.opcao) lote.insert(lote.begin(), m.opcao);
        ASSERT_EQ(0, teste::run(CORRIGIR_LOTE_PATH, lote, "", ws.dir()).status);
        const IplImage quinto = cvIplImage(saida[5]);
        ASSERT_TRUE(save("quinto.jpg", &quinto));
        EXPECT_EQ(ws.read("resultados/quadro5.jpg"), ws.read("quinto.jpg"));
    }

    // The other formats: every frame, the pattern's size, the input's rate.
    for (const char* nome : {"saida.mp4", "saida.avi"}) {
        ASSERT_EQ(0, video({"--interpolado=linear", "clipe.mkv", nome}).status) << nome;
        cv::VideoCapture lido(nome, cv::CAP_FFMPEG);
        EXPECT_EQ(kQuadros, lido.get(cv::CAP_PROP_FRAME_COUNT)) << nome;
        EXPECT_EQ(padrao->width, lido.get(cv::CAP_PROP_FRAME_WIDTH)) << nome;
        EXPECT_EQ(padrao->height, lido.get(cv::CAP_PROP_FRAME_HEIGHT)) << nome;
        EXPECT_EQ(25, lido.get(cv::CAP_PROP_FPS)) << nome;
    }
}

TEST_F(Tools_CorrigirVideo, shows_its_progress_on_a_terminal)
{
    const teste::RunResult r = teste::run(
        "/usr/bin/script",
        {"-qec", CORRIGIR_VIDEO_PATH " --interpolado clipe.mkv s.mp4", "/dev/null"}, "", ws.dir());
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\r\x1b[Kquadro 1 de 12, ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(" quadros/s, faltam 0:0")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\r\x1b[Kquadro 12 de 12, ")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\r\x1b[K12 quadros corrigidos")) << r.out;
}

TEST_F(Tools_CorrigirVideo, refusals_and_failures_leave_the_folder_as_it_was)
{
    const teste::Caso casos[] = {
        {"", "", "", 2, "corrigir-video: erro: faltam ENTRADA e SAIDA", "", true},
        {"", "clipe.mkv s.mkv t.mkv", "", 2, "mais de dois nomes", "", true},
        {"", "clipe.mkv s.mov", "", 2, "a extensão de \"s.mov\" não escolhe um formato", "", true},
        {"", "--codec theora clipe.mkv s.mkv", "", 2, "codec desconhecido \"theora\"", "", true},
        {"", "--interpolado=nada clipe.mkv s.mkv", "", 2, "filtro desconhecido", "", true},
        {"", "clipe.mkv s.mkv --help", "", 0, "", "uso: corrigir-video", true},
        {"", "falta.mkv s.mkv", "", 1, "não foi possível abrir \"falta.mkv\": não existe", "",
         true},
        {"mkfifo fila.mkv", "fila.mkv s.mkv", "", 1, "\"fila.mkv\": é um FIFO", "", true},
        {"echo texto > texto.mkv", "texto.mkv s.mkv", "", 1,
         "\"texto.mkv\" não é um vídeo que a biblioteca de vídeo (FFmpeg) consiga ler", "", true},
        {"", "clipe.mkv ./clipe.mkv", "", 1, "\"./clipe.mkv\" é o próprio vídeo de entrada", "",
         true},
        {"", "--codec ffv1 clipe.mkv data/../data/pattern.jpg", "", 1,
         "substituiria \"data/pattern.jpg\", um arquivo da área de trabalho", "", true},
        {"", "clipe.mkv falta/s.mkv", "", 1, "não foi possível gravar \"falta/s.mkv\": não existe",
         "", true},
        {"mkdir s.mkv", "clipe.mkv s.mkv", "", 1, "\"s.mkv\": não é um arquivo comum", "", true},
        {"", "--codec ABCD clipe.mkv s.mkv", "", 1,
         "com o codec ABCD: a biblioteca de vídeo (FFmpeg) não tem esse codificador", "", true},
        {"rm data/vertices2.txt", "clipe.mkv s.mkv", "", 1, "\"data/vertices2.txt\"", "", true},
        // A video cut short stops at the frame that cannot be read; nothing is written.
        {"head -c $(($(stat -c %s clipe.mkv) * 6 / 10)) clipe.mkv > cortado.mkv",
         "cortado.mkv s.mkv", "", 1, "\"cortado.mkv\" está danificado: o quadro ", "", true, "", "",
         [](const teste::Workspace&, const teste::RunResult& r) {
             EXPECT_NE(std::string::npos,
                       r.err.find(" dos 12 que o arquivo declara não pôde ser lido"))
                 << r.err;
         }},
        // A file size limit cuts the output: refused whole, not put in place.
        {"", "clipe.mkv s.mkv", "", 1, "não foi possível gravar \"s.mkv\" inteiro", "", true, "",
         "ulimit -f 200;"},
    };
    for (const auto& c : casos) {
        const teste::Workspace cada;
        fs::copy(ws.dir(), cada.dir(), fs::copy_options::recursive);
        teste::conferir(CORRIGIR_VIDEO_PATH, c, cada);
    }
}

TEST_F(Tools_CorrigirVideo, an_interruption_leaves_nothing_behind)
{
    gravarClipe(ws / "longo.mkv", foto, 400);
    const auto antes = teste::conteudo(ws.dir());
    // Ended once its temporary file is there (or after ten seconds, when it never is).
    const teste::RunResult r =
        teste::run("/bin/sh",
                   {"-c",
                    "\"$0\" longo.mkv s.mkv 2>/dev/null & p=$!; i=0; "
                    "until ls -a | grep -q '^[.]salvando-' || [ $i -ge 5000 ]; do sleep 0.002; "
                    "i=$((i+1)); done; kill -TERM $p; wait $p; echo $?",
                    CORRIGIR_VIDEO_PATH},
                   "", ws.dir());
    EXPECT_EQ("143\n", r.out) << "ended by the signal, before the last frame";
    EXPECT_EQ(antes, teste::conteudo(ws.dir()));
}
