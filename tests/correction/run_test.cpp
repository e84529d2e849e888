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

// The same size, 20000 x 20000 (0x4e20), declared by the header of each other format the loader
// reads, then 64 bytes of data: a BMP info header; a big-endian TIFF directory, width LONG and
// height SHORT; a WebP extended header (the size less one, 24 bits each); a binary PPM.
const std::string kBombs[] = {
    std::string("BM\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x20\x4e\0\0\x20\x4e\0\0\x01\0\x18", 29),
    std::string("MM\0*\0\0\0\x08\0\x02\x01\x00\0\x04\0\0\0\x01\0\0\x4e\x20"
                "\x01\x01\0\x03\0\0\0\x01\x4e\x20\0\0\0\0\0\0",
                38),
    std::string("RIFF\x52\0\0\0WEBPVP8X\x0a\0\0\0\0\0\0\0\x1f\x4e\0\x1f\x4e\0", 30),
    "P6\n# sem pixels\n20000 20000\n255\n"};

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

// Each row of a table of cases run in a workspace of its own made by fotos.
template <class Casos> void emFotos(const std::string& programa, const Casos& casos)
{
    for (const auto& c : casos) {
        teste::Workspace ws;
        fotos(ws);
        teste::conferir(programa, c, ws);
    }
}

} // namespace

const int kAsLoaded = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;

// Any picture loads as 8-bit colour in the file's own grid (an orientation tag is not applied,
// though the library would turn this one); what cannot be read, is damaged or declares a size
// no image may have gives null and names the file, judged before anything is decoded, and
// nothing the decoders say reaches standard error.
TEST(Correction_Open, loads_any_picture_as_8_bit_colour_in_its_own_grid)
{
    teste::Workspace ws;
    // Name and bytes; the size of the image (whose bytes must be OpenCV's reader's), or the
    // reason of a refusal.
    const std::tuple<std::string, std::string, cv::Size, std::string> casos[] = {
        {"grey.png", png(cv::Mat(5, 7, CV_8UC1, cv::Scalar(90))), {7, 5}, ""},
        {"deep.png", png(cv::Mat(3, 4, CV_16UC3, cv::Scalar(65535, 0, 257))), {4, 3}, ""},
        {"alpha.png", png(cv::Mat(2, 3, CV_8UC4, cv::Scalar(1, 2, 3, 0))), {3, 2}, ""},
        {"turned.jpg", turnedJpeg(), {16, 8}, ""},
        {"text.jpg", "not a picture", {}, "o formato não é conhecido ou os dados não formam"},
        {"empty.jpg", "", {}, "o arquivo está vazio"},
        {"cut.jpg", busyJpeg().substr(0, 20), {}, "está danificada"},
        {"folder.jpg", "", {}, "é uma pasta"},
        {"fifo.jpg", "", {}, "é um FIFO, não um arquivo comum"},
        {"bomb.png", bomb(), {}, "declara 20000x20000 pixels"},
        {"bomb.bmp", kBombs[0] + std::string(64, '\0'), {}, "declara 20000x20000 pixels"},
        {"bomb.tiff", kBombs[1] + std::string(64, '\0'), {}, "declara 20000x20000 pixels"},
        {"bomb.webp", kBombs[2] + std::string(64, '\0'), {}, "declara 20000x20000 pixels"},
        {"bomb.ppm", kBombs[3] + std::string(64, '\0'), {}, "declara 20000x20000 pixels"},
        // Sound files of every kind the decoders take must load.
        {"plain.png", png(cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9))), {3, 2}, ""},
        {"plain.bmp", encoded(".bmp", cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9))), {3, 2}, ""},
        {"plain.tiff", encoded(".tiff", cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9))), {3, 2}, ""},
        {"plain.webp",
         encodedWith(".webp", cv::Mat(2, 3, CV_8UC3, cv::Scalar(7, 8, 9)),
                     {cv::IMWRITE_WEBP_QUALITY, 101}),
         {3, 2},
         ""},
        // Damaged ones are refused: the decoder would fill what is missing with grey.
        {"cut700.jpg", busyJpeg().substr(0, 700), {}, "está danificada"},
        {"cut10000.jpg", busyJpeg().substr(0, 10000), {}, "acaba antes do fim dos dados"},
        {"no-end.jpg", busyJpeg().substr(0, busyJpeg().size() - 2), {}, "está danificada"},
        {"changed.jpg", changed(busyJpeg()), {}, "estão corrompidos"},
        {"crc.png", changed(png(teste::pictureOf(40, 30, 2))), {}, "soma de verificação"},
        {"cut.png", png(teste::pictureOf(40, 30, 2)).substr(0, 200), {}, "acaba antes"}};
    for (const auto& [nome, bytes, size, motivo] : casos) {
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
        const cv::Mat library = cv::imread((ws / nome).string(), kAsLoaded);
        EXPECT_TRUE(library.size() == pixels.size() && cv::norm(library, pixels, cv::NORM_INF) == 0)
            << "the bytes of OpenCV's reader";
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
        // 4000 x 3000 pixels (a PGM file) are corrected in about 700 MB of address space, the
        // program and its libraries included: the enlargement (576 MB) is never held whole.
        {"{ printf 'P5\\n4000 3000\\n255\\n'; tr '\\0' '\\200' < /dev/zero | head -c 12000000; } > "
         "big.pgm",
         "", "big.pgm\n", 0, "", kPrompt + "\nbig.pgm", false, "", "ulimit -v 700000;"},
        // 6600 x 6600 pixels need 126 MiB: more than 250 MB of address space leave once the
        // program is in. Judged from the header, before the pixels (which are not there) are read.
        {"printf 'P5\\n6600 6600\\n255\\n' > big.pgm", "", "big.pgm\n", 1,
         "\"big.pgm\": a imagem de 6600x6600 pixels ampliada quatro vezes precisa de 126 MiB",
         kPrompt + "\nbig.pgm\n", true, "", "ulimit -v 250000;"},
#endif
    };
    emFotos(CORRIGIR_PATH, casos);
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
         "corrigir-lote: erro: a imagem \"outra/x.jpg\" teria o mesmo resultado "
         "\"resultados/x.jpg\" que a imagem \"x.png\"",
         "", true},
        {"", "x.png x.png", "", 2, "a imagem \"x.png\" teria o mesmo resultado", "", true},
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
    emFotos(CORRIGIR_LOTE_PATH, casos);
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

// Results never mix with sources: a results folder that holds one of the batch's images, as
// its folder resolves or as a link leads, is refused before anything is written; a result of an
// earlier run, or an image that is not in the batch, may stay beside the results.
TEST(Correction_CorrigirLote, refuses_a_results_folder_that_holds_an_image_of_the_batch)
{
    const std::string recusa = "corrigir-lote: erro: a pasta ";
    const teste::Caso casos[] = {
        {"cp x.png amostra.png; cp fotos/b.jpg amostra.jpg", "-o . amostra.png", "", 2,
         recusa + "\".\" guarda a imagem \"amostra.png\" do lote", "", true},
        {"", "-o fotos x.png fotos/b.jpg", "", 2,
         recusa + "\"fotos\" guarda a imagem \"fotos/b.jpg\"", "", true},
        {"", "-o ./fotos/ ./fotos/../fotos/b.jpg", "", 2, recusa + "\"./fotos/\" guarda", "", true},
        {"ln -s fotos f", "-o fotos x.png f/a.png", "", 2, "guarda a imagem \"f/a.png\"", "", true},
        {"echo x.png > l.txt; echo fotos/a.png >> l.txt", "-o fotos --parte 2/2 --lista l.txt", "",
         2, "guarda a imagem \"fotos/a.png\" do lote", "", true},
        {"mkdir res; cp x.png res/y.png; ln -s res/y.png y.png", "-o res y.png", "", 2,
         recusa + "\"res\" guarda a imagem \"y.png\"", "", true},
        {"mkdir res; cp fotos/b.jpg res/x.jpg; cp x.png res/outra.png", "-o res x.png", "", 0, "",
         "\r0/1 imagens", false, "1 de 1 imagens corrigidas em \"res\"\n", "",
         [](const teste::Workspace& ws, const teste::RunResult&) {
             EXPECT_EQ((std::vector<std::string>{"outra.png", "x.jpg"}), ws.list("res"));
             EXPECT_NE(ws.read("fotos/b.jpg"), ws.read("res/x.jpg")) << "the earlier result";
         }}};
    emFotos(CORRIGIR_LOTE_PATH, casos);
}

// Lists read as a stream: a byte order mark and "\r\n" line ends are no part of a name, a name
// may straddle the blocks the list is read in, and line numbers stay right to the end of a long
// list; what is no list of names stops the batch before anything is written.
TEST(Correction_CorrigirLote, reads_lists_as_a_stream_and_judges_them_whole)
{
    const std::string longa =
        "{ printf '\\357\\273\\277'; head -c 65530 /dev/zero | tr '\\0' '\\n'; "
        "printf 'fotos/a.png\\r\\nx.png'; } > l.txt";
    const std::string comprida = "{ echo x.png; seq 2 29999 | sed 's|.*|n/&.png|'; "
                                 "echo outra/x.jpg; } > l.txt; mkdir outra; touch outra/x.jpg";
    const teste::Caso casos[] = {
        {"printf '\\357\\273\\277x.png\\r\\n\\r\\nfotos/a.png\\n' > l.txt", "--lista l.txt", "", 0,
         "", "\r0/2 imagens", false, "2 de 2 imagens corrigidas"},
        {longa, "--lista l.txt", "", 0, "", "\r0/2 imagens", false, "2 de 2 imagens corrigidas"},
        {comprida, "--lista l.txt --parte 7/1000", "", 2,
         "a imagem \"outra/x.jpg\" (linha 30000 de \"l.txt\") teria o mesmo resultado "
         "\"resultados/x.jpg\" que a imagem da linha 1 de \"l.txt\"",
         "", true},
        {"", "--lista - fotos/a.png", "\xEF\xBB\xBFx.png\r\nx.png\n", 2,
         "a imagem \"x.png\" (linha 2 da entrada padrão) teria o mesmo resultado "
         "\"resultados/x.jpg\" que a imagem da linha 1 da entrada padrão",
         "", true},
        {"printf 'x.png\\nfotos/\\n' > l.txt", "--lista l.txt", "", 2,
         "\"fotos/\" (linha 2 de \"l.txt\") não é o nome de um arquivo", "", true},
        {"printf 'x.png\\n\\0\\n' > l.txt", "--lista l.txt", "", 1,
         "corrigir-lote: erro: a lista \"l.txt\" tem um byte nulo", "", true},
        {"", "--lista -", std::string("x.png\n\0", 7), 1,
         "a lista da entrada padrão tem um byte nulo", "", true},
        {"head -c 5000 /dev/zero | tr '\\0' a > l.txt", "--lista l.txt x.png", "", 1,
         "a linha 1 da lista \"l.txt\" passa de 4096 bytes", "", true},
        {"", "--parte 0/2 x.png", "", 2, "parte inválida \"0/2\"", "", true},
        {"", "--parte 1/1000001 x.png", "", 2, "parte inválida \"1/1000001\"", "", true},
        {"", "--parte 2 x.png", "", 2, "parte inválida \"2\"", "", true}};
    emFotos(CORRIGIR_LOTE_PATH, casos);
}

// --pular-existentes trusts a result only when it is a whole JPEG of the pattern's size, newer
// than its image and the workspace; whatever else stands in its place (touched afterwards, so
// that its time alone would pass it) is corrected again and counted.
TEST(Correction_CorrigirLote, passes_over_whole_results_only)
{
    const std::string antes = "$0 x.png fotos/a.png >/dev/null; cp resultados/x.jpg certo; ",
                      args = "--pular-existentes x.png fotos/a.png",
                      em = "1 de 1 imagens corrigidas em \"resultados\"; 1 puladas, com o "
                           "resultado em dia",
                      refeita = em + "; 1 refeitas, com o resultado incompleto ou desatualizado\n";
    const auto refez = [](const teste::Workspace& ws, const teste::RunResult&) {
        EXPECT_EQ(ws.read("certo"), ws.read("resultados/x.jpg"));
        EXPECT_EQ((std::vector<std::string>{"a.jpg", "x.jpg"}), ws.list("resultados"));
    };
    std::vector<teste::Caso> casos = {
        {antes, args, "", 0, "", "\r0/0 imagens", true,
         "0 de 0 imagens corrigidas em \"resultados\"; 2 puladas, com o resultado em dia\n"},
        {antes + "rm resultados/x.jpg", args, "", 0, "", "\r0/1 imagens", false, em + "\n", "",
         refez}};
    // What stands in the result's place; the last, as old as its image, is not newer than it.
    for (const std::string dano :
         {": > resultados/x.jpg; touch resultados/x.jpg",
          "head -c 1000 certo > resultados/x.jpg; touch resultados/x.jpg",
          "head -c -2 certo > resultados/x.jpg; touch resultados/x.jpg",
          "echo texto > resultados/x.jpg; touch resultados/x.jpg",
          "cp fotos/b.jpg resultados/x.jpg; touch resultados/x.jpg",
          "printf '\\377\\330\\377\\331' > resultados/x.jpg; touch resultados/x.jpg",
          "touch -r x.png resultados/x.jpg"})
        casos.push_back(
            {antes + dano, args, "", 0, "", "\r0/1 imagens", false, refeita, "", refez});
    emFotos(CORRIGIR_LOTE_PATH, casos);
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
// Four 4000 x 3000 images in a control group of 256 MiB: each worker holds its image (36 MB) and
// the warp's working memory, never the enlargement (576 MB), so both workers fit and every image
// is corrected (the kernel would otherwise end the process). Needs a memory control group it
// may make (as root, v1 or v2).
TEST(Correction_CorrigirLote, corrects_large_images_within_the_memory_of_its_control_group)
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
    const cv::Mat grande = teste::pictureOf(4000, 3000, 5);
    for (int k = 0; k < 4; ++k)
        ws.write(std::to_string(k) + ".jpg", grande);
    const auto r = teste::run(
        "/bin/sh",
        {"-c", "echo $$ > " + grupo + "/cgroup.procs && exec \"$0\" 0.jpg 1.jpg 2.jpg 3.jpg",
         CORRIGIR_LOTE_PATH},
        "", ws.dir());
    rmdir(grupo.c_str());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(4u, ws.list("resultados").size()) << r.err;
}
#endif
