// The JPEG decoder against OpenCV's reader: the same bytes for every kind of JPEG a file can
// hold, written here with libjpeg itself so that every sampling, restart interval, coding and
// colour layout occurs.
#include "correction/image_ops.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <random>

using namespace corretor;

namespace {

// How one test JPEG is written.
struct Escrita
{
    int largura, altura;
    J_COLOR_SPACE arquivo; // the colour space of the file: YCbCr, RGB, grey, CMYK or YCCK
    int h0, v0;            // sampling of the first component
    int qualidade;
    int reinicioEmLinhas, reinicioEmBlocos; // restart interval, in MCU rows or in MCUs
    bool progressivo, otimizado, aritmetico;
    J_DCT_METHOD dct;
};

struct ErroDoCodificador
{
    jpeg_error_mgr base;
    std::jmp_buf volta;
};

// `pixels` (1, 3 or 4 samples per pixel: grey, RGB, CMYK) written as `e` says, or "" when
// libjpeg refuses the parameters.
std::string comLibjpeg(const cv::Mat& pixels, const Escrita& e)
{
    jpeg_compress_struct cinfo{};
    ErroDoCodificador erro;
    cinfo.err = jpeg_std_error(&erro.base);
    erro.base.error_exit = [](j_common_ptr c) {
        c->err->output_message(c);
        std::longjmp(reinterpret_cast<ErroDoCodificador*>(c->err)->volta, 1);
    };
    erro.base.output_message = [](j_common_ptr c) {
        char t[JMSG_LENGTH_MAX];
        c->err->format_message(c, t);
        std::fprintf(stderr, "libjpeg: %s\n", t);
    };
    unsigned char* saida = nullptr;
    unsigned long tamanho = 0;
    if (setjmp(erro.volta) != 0) {
        jpeg_destroy_compress(&cinfo);
        std::free(saida);
        return "";
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &saida, &tamanho);
    cinfo.image_width = static_cast<JDIMENSION>(pixels.cols);
    cinfo.image_height = static_cast<JDIMENSION>(pixels.rows);
    cinfo.input_components = pixels.channels();
    cinfo.in_color_space = pixels.channels() == 1   ? JCS_GRAYSCALE
                           : pixels.channels() == 3 ? JCS_RGB
                                                    : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, e.arquivo);
    jpeg_set_quality(&cinfo, e.qualidade, TRUE);
    // The first component as asked, the others once, except a black (fourth) component sampled
    // like the first when that is at most two blocks.
    for (int c = 0; c < cinfo.num_components; ++c) {
        const bool comoOPrimeiro = c == 0 || (c == 3 && e.h0 * e.v0 <= 2);
        cinfo.comp_info[c].h_samp_factor = comoOPrimeiro ? e.h0 : 1;
        cinfo.comp_info[c].v_samp_factor = comoOPrimeiro ? e.v0 : 1;
    }
    cinfo.restart_in_rows = e.reinicioEmLinhas;
    cinfo.restart_interval = static_cast<unsigned>(e.reinicioEmBlocos);
    cinfo.optimize_coding = e.otimizado ? TRUE : FALSE;
    cinfo.arith_code = e.aritmetico ? TRUE : FALSE;
    cinfo.dct_method = e.dct;
    if (e.progressivo) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* linha =
            const_cast<JSAMPLE*>(pixels.ptr<JSAMPLE>(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &linha, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(saida), tamanho);
    std::free(saida);
    return bytes;
}

// A picture of `canais` samples per pixel: smooth ramps with noise, some areas flat and
// saturated, so that chroma, the inks and black all vary.
cv::Mat figura(std::mt19937& random, int largura, int altura, int canais)
{
    cv::Mat pixels(altura, largura, CV_8UC(canais));
    const int ruido = static_cast<int>(random() % 60);
    for (int y = 0; y < altura; ++y)
        for (int x = 0; x < largura; ++x)
            for (int c = 0; c < canais; ++c) {
                const int base = (x * (c + 3) * 7 + y * (5 - c) * 5) % 256;
                const int v =
                    (x / 8 + y / 8 + c) % 5 == 0 ? 255 * (c % 2) : base + int(random() % 61) - 30;
                pixels.ptr<uchar>(y)[x * canais + c] =
                    cv::saturate_cast<uchar>(v + (ruido != 0 ? int(random() % ruido) : 0));
            }
    return pixels;
}

// The image open gives for `bytes`, and OpenCV's reader's.
void comparar(const teste::Workspace& ws, const std::string& bytes, const std::string& caso)
{
    ws.write("caso.jpg", bytes);
    const cv::Mat esperada =
        cv::imread((ws / "caso.jpg").string(), cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    ASSERT_FALSE(esperada.empty()) << caso;
    limparFalha();
    const Imagem lida = abrir((ws / "caso.jpg").c_str());
    ASSERT_NE(nullptr, lida) << caso << ": " << motivoFalha();
    const cv::Mat pixels = cv::cvarrToMat(lida.get());
    ASSERT_EQ(esperada.size(), pixels.size()) << caso;
    ASSERT_EQ(0, cv::norm(esperada, pixels, cv::NORM_INF)) << caso;
}

} // namespace

// 360 JPEGs: every colour space a file holds (YCbCr, RGB, grey, CMYK, YCCK), samplings from 1x1
// to 4x2, restart markers by rows and by blocks, progressive, arithmetic and optimised coding,
// three DCTs, widths and heights that leave partial blocks; then OpenCV's own encoder with its
// options. A decoder set up unlike OpenCV's (another DCT, no fancy upsampling, another CMYK
// formula, a row stride for unpadded rows) gives other bytes here.
TEST(Correction_JpegDecoder, gives_the_bytes_of_opencvs_reader)
{
    teste::Workspace ws;
    std::mt19937 random(2024);
    const J_COLOR_SPACE espacos[] = {JCS_YCbCr,     JCS_YCbCr, JCS_YCbCr, JCS_RGB,
                                     JCS_GRAYSCALE, JCS_CMYK,  JCS_YCCK};
    const int amostragens[][2] = {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {4, 1}, {4, 2}, {3, 1}};
    const J_DCT_METHOD dcts[] = {JDCT_ISLOW, JDCT_IFAST, JDCT_FLOAT};
    for (int k = 0; k < 340; ++k) {
        Escrita e{};
        e.largura = k < 4 ? 1 + k : 1 + int(random() % 70);
        e.altura = k < 4 ? 1 + 3 * k : 1 + int(random() % 50);
        e.arquivo = espacos[k % 7];
        e.h0 = amostragens[k / 7 % 7][0], e.v0 = amostragens[k / 7 % 7][1];
        e.qualidade = 20 + int(random() % 81);
        e.reinicioEmLinhas = k % 5 == 1 ? 1 + int(random() % 3) : 0;
        e.reinicioEmBlocos = k % 5 == 3 ? 1 + int(random() % 5) : 0;
        e.progressivo = k % 3 == 1;
        e.aritmetico = k % 11 == 4;
        e.otimizado = k % 4 == 2 && !e.aritmetico; // optimising is for Huffman tables
        e.dct = dcts[k % 3];
        const int canais = e.arquivo == JCS_GRAYSCALE                       ? 1
                           : e.arquivo == JCS_CMYK || e.arquivo == JCS_YCCK ? 4
                                                                            : 3;
        if (canais == 4 && e.h0 * e.v0 > 4) e.v0 = 1; // at most 10 blocks in a unit of four
        const std::string bytes = comLibjpeg(figura(random, e.largura, e.altura, canais), e);
        const std::string caso = "caso " + std::to_string(k) + ": " + std::to_string(e.largura) +
                                 "x" + std::to_string(e.altura) + ", espaço " +
                                 std::to_string(e.arquivo) + ", amostragem " +
                                 std::to_string(e.h0) + "x" + std::to_string(e.v0);
        ASSERT_FALSE(bytes.empty()) << caso;
        comparar(ws, bytes, caso);
    }
    for (int k = 0; k < 20; ++k) {
        const cv::Mat pixels = figura(random, 1 + int(random() % 90), 1 + int(random() % 60), 3);
        std::vector<uchar> bytes;
        cv::imencode(".jpg", pixels, bytes,
                     {cv::IMWRITE_JPEG_QUALITY, 30 + 3 * k, cv::IMWRITE_JPEG_PROGRESSIVE, k % 2,
                      cv::IMWRITE_JPEG_OPTIMIZE, k / 2 % 2, cv::IMWRITE_JPEG_RST_INTERVAL, k % 7,
                      cv::IMWRITE_JPEG_LUMA_QUALITY, 50 + k, cv::IMWRITE_JPEG_CHROMA_QUALITY,
                      20 + 2 * k});
        comparar(ws, std::string(bytes.begin(), bytes.end()), "OpenCV " + std::to_string(k));
    }
}
