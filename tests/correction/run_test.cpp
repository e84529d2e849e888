// The correction run: images loaded and saved, and corrigir and corrigir-lote as a user runs
// them, one row per behaviour and per failure class. A failure leaves the workspace (and the
// earlier "result.jpg") exactly as it was.
#include "correction/batch.h"
#include "correction/batch_list.h"
#include "correction/driver.h"
#include "mesh/mesh_store.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace corretor;

// Memory that runs out in the middle of a warp: while armed, the next allocation of at least
// this many bytes throws. The forward warp's first such allocation comes after its output image
// exists, so a warp that held that image raw would lose it (the sanitizer build's leak check
// fails the test then).
static std::atomic<std::size_t> falharAlocacaoDe{0};

void* operator new(std::size_t bytes)
{
    std::size_t armado = falharAlocacaoDe.load();
    if (armado != 0 && bytes >= armado && falharAlocacaoDe.compare_exchange_strong(armado, 0))
        throw std::bad_alloc();
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
}
// The replacement's own delete gives back what its new took from malloc; the compiler, seeing
// only free after new, would warn.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

std::string encoded(const std::string& ext, const cv::Mat& image)
{
    std::vector<uchar> bytes;
    cv::imencode(ext, image, bytes);
    return std::string(bytes.begin(), bytes.end());
}

std::string encodedWith(const std::string& ext, const cv::Mat& image, const std::vector<int>& how)
{
    std::vector<uchar> bytes;
    cv::imencode(ext, image, bytes, how);
    return std::string(bytes.begin(), bytes.end());
}

std::string png(const cv::Mat& image)
{
    return encoded(".png", image);
}

// A 16 x 8 JPEG whose EXIF orientation tag says "turn 90 degrees clockwise": after the
// start-of-image marker, the APP1 segment "Exif", a big-endian TIFF header and one IFD entry,
// 0x0112 SHORT 1 = 6.
std::string turnedJpeg()
{
    const std::string plain = encoded(".jpg", cv::Mat(8, 16, CV_8UC3, cv::Scalar(40, 90, 200)));
    const char app1[] = "\xFF\xE1\x00\x22"                   // marker, length 34
                        "Exif\0\0MM\x00\x2A\x00\x00\x00\x08" // TIFF header, big-endian, IFD at 8
                        "\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" // 1 entry
                        "\x00\x00\x00\x00";                                        // no next IFD
    return plain.substr(0, 2) + std::string(app1, sizeof app1 - 1) + plain.substr(2);
}

// A JPEG of 320 x 240 pixels of busy content, some tens of kilobytes.
std::string busyJpeg()
{
    return encoded(".jpg", teste::pictureOf(320, 240, 9));
}

// `bytes` with 20 bytes of its coded data changed (past its headers), always the same ones.
std::string changed(std::string bytes)
{
    std::mt19937 random(4);
    for (int k = 0; k < 20; ++k)
        bytes[1000 + random() % (bytes.size() - 1002)] ^= static_cast<char>(1 + random() % 255);
    return bytes;
}

// A PNG chunk with its length and checksum.
std::string chunk(const std::string& type, const std::string& data)
{
    const auto be32 = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    const std::string body = type + data;
    return be32(uint32_t(data.size())) + body +
           be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// A PNG of 389 bytes that declares 20000 x 20000 pixels: decoded, 1.2 GB.
std::string bomb()
{
    const std::string ihdr("\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0", 13);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr) + chunk("IDAT", std::string(357, '\0')) +
           chunk("IEND", "");
}

const std::string kPrompt = "Entre com o nome da imagem a corrigir: ";
const std::string kClosing = "\nSua nova imagem foi salva com o nome de: result.jpg\n\n";

// The progress lines of the warp over the 20 rows of x.png enlarged, as a piped run shows them.
std::string progress()
{
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "\r" + std::to_string(5 * i + 1) + " %";
    return text + "\r100 %";
}

// The result holds x.png enlarged four times and shifted by (200, 200), as closely as JPEG
// keeps it, and nothing reaches the top-left corner.
void shiftedPicture(const teste::Workspace& ws, const teste::RunResult&)
{
    const cv::Mat result = cv::imread((ws / "result.jpg").string()), x = teste::pictureOf(6, 5, 3);
    ASSERT_EQ(cv::Size(440, 440), result.size());
    const IplImage header = cvIplImage(x);
    const Imagem enlarged = ampliaQuatroVezes(&header);
    EXPECT_LT(
        cv::norm(result(cv::Rect(200, 200, 24, 20)), cv::cvarrToMat(enlarged.get()), cv::NORM_L1),
        12.0 * 24 * 20 * 3);
    EXPECT_LT(cv::mean(result(cv::Rect(0, 0, 100, 100)))[0], 1.0);
}

// The batch's results, each with the bytes of the "result.jpg" that corrigir writes for it.
void asCorrigir(const teste::Workspace& ws, const teste::RunResult&)
{
    EXPECT_EQ((std::vector<std::string>{"a.jpg", "b.jpg", "x.jpg"}), ws.list("resultados"));
    EXPECT_EQ(0, teste::run(CORRIGIR_PATH, {}, "fotos/a.png\n", ws.dir()).status);
    EXPECT_EQ(ws.read("result.jpg"), ws.read("resultados/a.jpg"));
    EXPECT_NE(ws.read("resultados/x.jpg"), ws.read("resultados/a.jpg"));
}

void intoNewFolder(const teste::Workspace& ws, const teste::RunResult&)
{
    EXPECT_EQ((std::vector<std::string>{"-x.jpg", "a.jpg", "x.jpg"}), ws.list("saida/lote"));
    EXPECT_FALSE(fs::exists(ws / "resultados"));
}

// The small workspace with x.png, fotos/a.png, fotos/b.jpg, a broken quebrada.png and an
// earlier result.
void fotos(const teste::Workspace& ws)
{
    teste::writeSmallWorkspace(ws);
    ws.write("fotos/a.png", teste::pictureOf(7, 6, 5));
    ws.write("fotos/b.jpg", teste::pictureOf(5, 4, 6));
    ws.write("quebrada.png", "not an image");
    ws.write("result.jpg", "earlier result");
}

} // namespace

// Any picture loads as 8-bit colour in the file's own grid (an orientation tag is not applied,
// though the library would turn this one); what cannot be read, is damaged or declares a size
// no image may have gives null and names the file, judged before anything is decoded, and
// nothing the decoders say reaches standard error.
TEST(Correction_Open, loads_any_picture_as_8_bit_colour_in_its_own_grid)
{
    teste::Workspace ws;
    // Name and bytes; the size and the pixel at (0, 0), within 2; or the reason of a refusal.
    const std::tuple<std::string, std::string, cv::Size, cv::Vec3b, std::string> casos[] = {
        {"grey.png", png(cv::Mat(5, 7, CV_8UC1, cv::Scalar(90))), {7, 5}, {90, 90, 90}, ""},
        {"deep.png",
         png(cv::Mat(3, 4, CV_16UC3, cv::Scalar(65535, 0, 257))),
         {4, 3},
         {255, 0, 1},
         ""},
        {"alpha.png", png(cv::Mat(2, 3, CV_8UC4, cv::Scalar(1, 2, 3, 0))), {3, 2}, {1, 2, 3}, ""},
        {"turned.jpg", turnedJpeg(), {16, 8}, {40, 90, 200}, ""},
        {"text.jpg", "not a picture", {}, {}, "o formato não é conhecido ou os dados não formam"},
        {"empty.jpg", "", {}, {}, "o arquivo está vazio"},
        {"cut.jpg",
         encoded(".jpg", teste::pictureOf(64, 48, 5)).substr(0, 20),
         {},
         {},
         "está danificada"},
        {"folder.jpg", "", {}, {}, "é uma pasta"},
        {"fifo.jpg", "", {}, {}, "é um FIFO, não um arquivo comum"},
        {"bomb.png", bomb(), {}, {}, "declara 20000x20000 pixels"},
        // Sound files of every kind the decoders take must load.
        {"progressive.jpg",
         encodedWith(".jpg", cv::Mat(24, 16, CV_8UC3, cv::Scalar(40, 90, 200)),
                     {cv::IMWRITE_JPEG_PROGRESSIVE, 1}),
         {16, 24},
         {40, 90, 200},
         ""},
        {"plain.png", png(cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9))), {3, 2}, {7, 8, 9}, ""},
        {"plain.bmp",
         encoded(".bmp", cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9))),
         {3, 2},
         {7, 8, 9},
         ""},
        {"plain.tiff",
         encoded(".tiff", cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9))),
         {3, 2},
         {7, 8, 9},
         ""},
        {"plain.webp",
         encodedWith(".webp", cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9)),
                     {cv::IMWRITE_WEBP_QUALITY, 101}),
         {3, 2},
         {7, 8, 9},
         ""},
        // Damaged ones are refused: the decoder would fill what is missing with grey.
        {"cut700.jpg", busyJpeg().substr(0, 700), {}, {}, "está danificada"},
        {"cut10000.jpg", busyJpeg().substr(0, 10000), {}, {}, "acaba antes do fim dos dados"},
        {"no-end.jpg", busyJpeg().substr(0, busyJpeg().size() - 2), {}, {}, "está danificada"},
        {"changed.jpg", changed(busyJpeg()), {}, {}, "estão corrompidos"},
        {"crc.png", changed(png(teste::pictureOf(40, 30, 2))), {}, {}, "soma de verificação"},
        {"cut.png", png(teste::pictureOf(40, 30, 2)).substr(0, 200), {}, {}, "acaba antes"}};
    for (const auto& [nome, bytes, size, corner, motivo] : casos) {
        SCOPED_TRACE(nome);
        if (nome == "folder.jpg") fs::create_directory(ws / nome);
        if (nome == "fifo.jpg") mkfifo((ws / nome).c_str(), 0600);
        if (nome != "folder.jpg" && nome != "fifo.jpg") ws.write(nome, bytes);
        limparFalha();
        testing::internal::CaptureStderr();
        IplImage* image = open((ws / nome).c_str());
        EXPECT_EQ("", testing::internal::GetCapturedStderr()) << "the decoders keep quiet";
        EXPECT_EQ(size.empty(), image == nullptr);
        EXPECT_EQ(size.empty(),
                  motivoFalha().find("\"" + (ws / nome).string() + "\"") != std::string::npos)
            << motivoFalha();
        EXPECT_NE(std::string::npos, motivoFalha().find(motivo)) << motivoFalha();
        if (image == nullptr) continue;
        const cv::Mat pixels = cv::cvarrToMat(image);
        EXPECT_TRUE(CV_8UC3 == pixels.type() && size == pixels.size());
        EXPECT_LE(cv::norm(cv::Vec3d(pixels.at<cv::Vec3b>(0, 0)) - cv::Vec3d(corner)), 2.0);
        free(image);
    }
    EXPECT_EQ(cv::Size(8, 16), cv::imread((ws / "turned.jpg").string()).size());
}

// A save that fails leaves the earlier file and no temporary file, and names the file. (Saves
// that work are read back by the corrigir rows, JPEG, and the malha desenhar row, PNG.)
TEST(Correction_Save, a_failure_keeps_the_earlier_file_and_leaves_no_temporary_one)
{
    teste::Workspace ws;
    const cv::Mat small(2, 2, CV_8UC3), tooWide(1, 70000, CV_8UC3);
    IplImage header;
    ws.write("result.jpg", "earlier result");
    ws.write("folder.jpg/inside", "x");
    for (std::string nome : {"result.jpg", "noextension", "missing/result.jpg", "folder.jpg"}) {
        header = cvIplImage(nome == "result.jpg" ? tooWide : small); // beyond what JPEG holds
        limparFalha();
        EXPECT_FALSE(save((ws / nome).c_str(), &header)) << nome;
        EXPECT_NE(std::string::npos, motivoFalha().find(nome)) << motivoFalha();
    }
    EXPECT_EQ("earlier result", ws.read("result.jpg"));
    EXPECT_EQ((std::vector<std::string>{"folder.jpg", "result.jpg"}), ws.list());
}

// Mesh files that are missing, folders or empty: one row each, as the loader's tables prove
// each file; an empty matrix file is worth a warning (its map is zeros).
TEST(Correction_Corrigir, runs_typed_names_and_failures)
{
    const std::string full = kPrompt + "\nx.png" + progress() + kClosing, a199(199, 'a'),
                      saved = kPrompt + "\nx.png" + progress() + "\n";
    const std::vector<teste::Caso> casos = {
        {"", "", "x.png\n", 0, "", full, false, "", "", shiftedPicture},
        {"head -n 64 data/quelvarina.txt > q; mv q data/quelvarina.txt", "", "x.png", 0, "",
         "\nx.png" + progress() + kClosing, false},
        {"", "", "  x.png other.png\n", 0, "", full, false},
        {"", "--help", "", 0, "", "uso: corrigir [--interpolado[=FILTRO]]", true},
        {"", "--nada", "x.png\n", 2, "corrigir: erro: opção desconhecida \"--nada\"", "", true},
        {"", "--interpolado=quadrado", "x.png\n", 2, "filtro desconhecido", "", true},
        {"", "x.png", "x.png\n", 2, "argumento inesperado \"x.png\"", "", true},
        {"", "", a199 + "\n", 1, "\"" + a199 + "\"", kPrompt + "\n" + a199 + "\n", true},
        {"", "", a199 + "a\n", 1, "corrigir: erro: o nome da imagem tem mais de 199 caracteres",
         kPrompt, true},
        {"", "", " \n\t", 1, "corrigir: erro: a entrada terminou antes do nome", kPrompt, true},
        {"", "", "nada.png\n", 1, "corrigir: erro: não foi possível ler a imagem \"nada.png\"",
         kPrompt + "\nnada.png\n", true},
        {"rm data/pattern.jpg", "", "x.png\n", 1, "\"data/pattern.jpg\"", kPrompt + "\nx.png\n",
         true},
        {"echo 1 2 x > data/quelvarina.txt", "", "x.png\n", 1,
         "corrigir: erro: \"data/quelvarina.txt\", linha 1: encontrado texto", "", true},
        {"rm data/vertices2.txt", "", "x.png\n", 1, "\"data/vertices2.txt\"", "", true},
        {"rm matrix/98.txt; mkdir matrix/98.txt", "", "x.png\n", 1, "\"matrix/98.txt\"", "", true},
        {": > matrix/0.txt", "", "x.png\n", 0, "aviso: \"matrix/0.txt\", linha 1: o arquivo acabou",
         full, false},
        // The console line left open by the progress is closed before the message.
        {"rm result.jpg; mkdir -p result.jpg/x", "", "x.png\n", 1, "\"result.jpg\"", saved, true},
        {"", "", "x.png\n", 1, "\"result.jpg\"", saved, true, "", "ulimit -f 1;"},
        {"for f in matrix/*.txt; do echo nan nan nan nan nan nan > $f; done", "", "x.png\n", 0,
         "aviso: nenhum pixel da imagem caiu dentro do campo", full, false},
        {"head -c 3000 data/pattern.jpg > cut.jpg", "", "cut.jpg\n", 1,
         "corrigir: erro: a imagem \"cut.jpg\" está danificada", kPrompt + "\ncut.jpg\n", true},
        // Control characters of a name are escaped in messages, echoed as typed.
        {"", "", "\x1b]0;t\x07.png\n", 1, "\"\\x1b]0;t\\x07.png\"",
         kPrompt + "\n\x1b]0;t\x07.png\n", true},
#if !defined(CORRETOR_SANITIZED) // the address sanitizer cannot run under an address-space limit
        // 4000 x 3000 pixels (a PGM file) enlarged four times need 720 MiB: more than the limit
        // leaves once the program and its libraries are in; loading needs under 100 MiB.
        {"{ printf 'P5\\n4000 3000\\n255\\n'; head -c 12000000 /dev/zero; } > big.pgm", "",
         "big.pgm\n", 1,
         "\"big.pgm\": a imagem de 4000x3000 pixels ampliada quatro vezes precisa de",
         kPrompt + "\nbig.pgm\n", true, "", "ulimit -v 700000;"},
#endif
    };
    for (const auto& c : casos) {
        teste::Workspace ws;
        fotos(ws);
        teste::conferir(CORRIGIR_PATH, c, ws);
    }
}

TEST(Correction_CorrigirLote, runs_refusals_and_failures)
{
    const std::string p4 = "\r0/4 imagens\r1/4 imagens\r2/4 imagens\r3/4 imagens\r4/4 imagens\n";
    const teste::Caso casos[] = {
        {"", "x.png fotos/a.png quebrada.png fotos/b.jpg", "", 1,
         "corrigir-lote: erro: não foi possível ler a imagem \"quebrada.png\": o formato não é "
         "conhecido ou os dados não formam uma imagem\n",
         p4 + "3 de 4 imagens corrigidas em \"resultados\"\n", false, "", "", asCorrigir},
        {"cp x.png ./-x.png", "-o saida/lote x.png -- -x.png fotos/a.png", "", 0, "",
         "\r0/3 imagens", false, "3 de 3 imagens corrigidas em \"saida/lote\"\n", "",
         intoNewFolder},
        {"", "x.png --help", "", 0, "", "uso: corrigir-lote [-o PASTA] IMAGEM...\n", true,
         "--pular-existentes"},
        {"", "--parte 3/2 x.png", "", 2, "parte inválida \"3/2\"", "", true},
        // Clashes are judged over the whole list, so every part refuses it alike.
        {"mkdir outra; cp fotos/b.jpg outra/x.jpg", "--parte 1/2 x.png outra/x.jpg", "", 2,
         "o mesmo resultado", "", true},
        {"mkdir outra; cp fotos/b.jpg outra/x.jpg", "--parte 2/2 x.png outra/x.jpg", "", 2,
         "o mesmo resultado", "", true},
        {"", "--lista fotos", "", 1, "\"fotos\": é uma pasta", "", true},
        {"mkdir outra; cp fotos/b.jpg outra/x.jpg", "x.png outra/x.jpg", "", 2,
         "corrigir-lote: erro: as imagens \"x.png\" e \"outra/x.jpg\" teriam o mesmo resultado "
         "\"resultados/x.jpg\"",
         "", true},
        {"", "x.png x.png", "", 2, "as imagens \"x.png\" e \"x.png\"", "", true},
        {"", "-o fotos x.png fotos/b.jpg", "", 2,
         "o resultado de \"fotos/b.jpg\" substituiria a imagem \"fotos/b.jpg\"", "", true},
        {"", "-o ./fotos/ ./fotos/../fotos/b.jpg", "", 2, "substituiria", "", true},
        {"", "fotos/", "", 2,
         "\"fotos/\" não é o nome de um arquivo; veja \"corrigir-lote --help\"", "", true},
        {"", "-o res", "", 2, "nenhuma imagem para corrigir", "", true},
        {"", "-x x.png", "", 2, "opção desconhecida \"-x\"", "", true},
        {"", "x.png -o", "", 2, "falta a pasta depois de -o", "", true},
        {"", "-o '' x.png", "", 2, "falta a pasta depois de -o", "", true},
        {"echo 1 2 x > data/quelvarina.txt", "x.png", "", 1, "\"data/quelvarina.txt\", linha 1", "",
         true},
        {"rm data/pattern.jpg", "x.png", "", 1, "\"data/pattern.jpg\"", "", true},
        {": > ocupado", "-o ocupado/res x.png", "", 1,
         "não foi possível criar a pasta \"ocupado/res\"", "", true},
        // No result may replace the pattern or a mesh file, however the folder is spelled.
        {"cp x.png pattern.png", "-o data pattern.png", "", 2,
         "o resultado de \"pattern.png\" substituiria \"data/pattern.jpg\", um arquivo da área", "",
         true},
        {"cp x.png pattern.png", "-o ./data/../data pattern.png", "", 2, "\"data/pattern.jpg\"", "",
         true},
        {"cp x.png pattern.png; ln -s data dados", "-o dados pattern.png", "", 2,
         "\"data/pattern.jpg\"", "", true},
        {"head -c 3000 data/pattern.jpg > cut.jpg", "x.png cut.jpg", "", 1,
         "\"cut.jpg\" está danificada", "\r0/2 imagens", false, "1 de 2 imagens corrigidas"},
        {"for f in matrix/*.txt; do echo nan nan nan nan nan nan > $f; done", "x.png fotos/a.png",
         "", 0, "aviso: \"fotos/a.png\": nenhum pixel", "\r0/2 imagens", false}};
    for (const auto& c : casos) {
        teste::Workspace ws;
        fotos(ws);
        teste::conferir(CORRIGIR_LOTE_PATH, c, ws);
    }
    const std::pair<const char*, const char*> nomes[] = {{"fotos/a.png", "res/a.jpg"},
                                                         {"a.b.png", "res/a.b.jpg"},
                                                         {"/x/sem", "res/sem.jpg"},
                                                         {".oculta", "res/.oculta.jpg"},
                                                         {"", ""},
                                                         {"fotos/", ""},
                                                         {".", ""},
                                                         {"fotos/..", ""}};
    for (const auto& [imagem, resultado] : nomes)
        EXPECT_EQ(resultado, nomeDoResultado(imagem, "res")) << imagem;
    // The published test vector of 64-bit FNV-1a: "a" hashes to 0xaf63dc4c8601ec8c.
    EXPECT_EQ(static_cast<int>(0xaf63dc4c8601ec8cull % 1000) + 1, parteDe("a", 1000));
}

// An exception in the middle of one image's warp fails that image alone, with its reason; the
// worker goes on with the next, and nothing the failed warp held is lost.
TEST(Correction_CorrigirLote, a_warp_that_throws_fails_its_image_alone_and_leaks_nothing)
{
    teste::Workspace ws;
    teste::writeSmallWorkspace(ws);
    ws.write("y.png", teste::pictureOf(6, 5, 4));
    const teste::InDirectory aqui(ws.dir());
    carregaVetorVertices();
    const Imagem padrao = abrir("data/pattern.jpg");
    fs::create_directory("r");
    std::string falhas;
    falharAlocacaoDe = 1 << 20; // the warp's table of destinations: 2 MiB for these images
    EXPECT_EQ(1, corrigirLote({"x.png", "y.png"}, "r", padrao.get(), 1, nullptr,
                              [&](const std::string& i, const std::string& m) {
                                  falhas += i + ": " + m + "\n";
                              }));
    EXPECT_EQ(0u, falharAlocacaoDe.load()) << "the failure happened";
    EXPECT_EQ("x.png: \"x.png\": falta memória\n", falhas);
    EXPECT_EQ((std::vector<std::string>{"y.jpg"}), ws.list("r"));
}

// The images are shared out to several workers: the files, the counts and the reports must not
// depend on how many there are, each result is the single correction's (with enlargements of
// its own, images of one size in runs so that a worker reuses and replaces them), and OpenCV's
// own thread count is given back.
TEST(Correction_CorrigirLote, one_worker_or_several_give_the_files_of_the_single_correction)
{
    teste::Workspace ws;
    fotos(ws);
    const teste::InDirectory aqui(ws.dir());
    std::vector<std::string> imagens;
    std::map<std::string, std::string> sozinhas;
    carregaVetorVertices();
    const Imagem padrao = abrir("data/pattern.jpg");
    for (int k = 0; k < 7; ++k) {
        imagens.push_back(std::to_string(k) + ".png");
        ws.write(imagens.back(), teste::pictureOf(6 + k / 3, 5 + k / 3 % 2, 20 + k));
        const Imagem image = abrir(imagens.back().c_str());
        ASSERT_TRUE(save("sozinha.jpg", corrigirImagem(image.get(), padrao.get(), nullptr).get()));
        sozinhas[std::to_string(k) + ".jpg"] = ws.read("sozinha.jpg");
    }
    imagens.insert(imagens.begin() + 3, "quebrada.png");
    const int threads = cv::getNumThreads();
    for (int trabalhadores : {1, 2, 5}) {
        const std::string pasta = "r" + std::to_string(trabalhadores);
        std::vector<int> feitas;
        std::string falhas;
        fs::create_directory(pasta);
        EXPECT_EQ(7,
                  corrigirLote(
                      imagens, pasta, padrao.get(), trabalhadores,
                      [&](int f, int total) { feitas.push_back(total == 8 ? f : -1); },
                      [&](const std::string& i, const std::string& m) { falhas += i + ": " + m; }));
        EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}), feitas);
        EXPECT_EQ("quebrada.png: não foi possível ler a imagem \"quebrada.png\": o formato não é "
                  "conhecido ou os dados não formam uma imagem",
                  falhas);
        EXPECT_TRUE(threads == cv::getNumThreads() && !houveFalha());
        EXPECT_TRUE(sozinhas == teste::conteudo(pasta)) << trabalhadores << " workers";
    }
}

#if !defined(CORRETOR_SANITIZED) // the sanitizers' own memory would not fit the group
// Four 1920 x 1080 images in a control group of 256 MiB: the two workers' enlargements do not
// fit together, so they take turns, and every image is corrected (the kernel would otherwise
// end the process). Needs a memory control group it may make (as root, v1 or v2).
TEST(Correction_CorrigirLote, takes_turns_within_the_memory_of_its_control_group)
{
    std::string grupo, limite;
    for (const auto& [pasta, arquivo] :
         {std::pair<std::string, std::string>{"/sys/fs/cgroup/memory", "memory.limit_in_bytes"},
          {"/sys/fs/cgroup", "memory.max"}}) {
        grupo = pasta + "/corretor-teste-" + std::to_string(getpid());
        if (fs::exists(pasta + "/" + arquivo) || fs::exists(pasta + "/cgroup.controllers"))
            if (mkdir(grupo.c_str(), 0755) == 0 && fs::exists(grupo + "/" + arquivo)) {
                limite = grupo + "/" + arquivo;
                break;
            }
        rmdir(grupo.c_str());
    }
    if (limite.empty()) GTEST_SKIP() << "no memory control group can be made here";
    std::ofstream(limite) << (256 << 20);
    teste::Workspace ws;
    teste::writeSmallWorkspace(ws);
    const cv::Mat grande = teste::pictureOf(1920, 1080, 5);
    for (int k = 0; k < 4; ++k)
        ws.write(std::to_string(k) + ".ppm", grande);
    const auto r = teste::run(
        "/bin/sh",
        {"-c", "echo $$ > " + grupo + "/cgroup.procs && exec \"$0\" 0.ppm 1.ppm 2.ppm 3.ppm",
         CORRIGIR_LOTE_PATH},
        "", ws.dir());
    rmdir(grupo.c_str());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(4u, ws.list("resultados").size()) << r.err;
}
#endif
