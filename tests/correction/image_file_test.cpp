// The JPEG decoder against OpenCV's reader: the same bytes for every kind of JPEG a file can
// hold, written here with libjpeg itself so that every sampling, restart interval, coding and
// colour space occurs.
#include "correction/image_ops.h"
#include "tests/support/workspace.h"
#include "utilities/report.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <csetjmp>
#include <jpeglib.h>
#include <random>

using namespace corretor;

namespace {

struct ErroDoCodificador
{
    jpeg_error_mgr base;
    std::jmp_buf volta;
};

// Test JPEG number k, of a random size and content: its colour space (YCbCr, RGB, grey, CMYK,
// YCCK), the sampling of its first component (1x1 to 4x2; a black component sampled like it
// when that is small), restarts by rows or by blocks, progressive, arithmetic or optimised
// coding, the three DCTs, a random quality. "" when libjpeg refuses the combination.
std::string jpegDeTeste(int k, std::mt19937& random)
{
    const J_COLOR_SPACE espacos[] = {JCS_YCbCr,     JCS_YCbCr, JCS_YCbCr, JCS_RGB,
                                     JCS_GRAYSCALE, JCS_CMYK,  JCS_YCCK};
    // Noise (every ink and black from 0 to 255), in sizes that leave partial blocks.
    cv::Mat pixels(k < 4 ? 1 + 3 * k : 1 + int(random() % 50),
                   k < 4 ? 1 + k : 1 + int(random() % 70),
                   CV_8UC(k % 7 == 4   ? 1
                          : k % 7 >= 5 ? 4
                                       : 3));
    cv::randu(pixels, 0, 256);
    jpeg_compress_struct cinfo{};
    ErroDoCodificador erro;
    cinfo.err = jpeg_std_error(&erro.base);
    erro.base.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<ErroDoCodificador*>(c->err)->volta, 1);
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
    jpeg_set_colorspace(&cinfo, espacos[k % 7]);
    jpeg_set_quality(&cinfo, 20 + int(random() % 81), TRUE);
    const int amostragens[][2] = {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {4, 1}, {4, 2}, {3, 1}};
    const int h0 = amostragens[k / 7 % 7][0];
    const int v0 = pixels.channels() == 4 && h0 > 2 ? 1 : amostragens[k / 7 % 7][1];
    for (int c = 0; c < cinfo.num_components; ++c) {
        const bool comoOPrimeiro = c == 0 || (c == 3 && h0 * v0 <= 2);
        cinfo.comp_info[c].h_samp_factor = comoOPrimeiro ? h0 : 1;
        cinfo.comp_info[c].v_samp_factor = comoOPrimeiro ? v0 : 1;
    }
    cinfo.restart_in_rows = k % 5 == 1 ? 1 + int(random() % 3) : 0;
    cinfo.restart_interval = k % 5 == 3 ? 1 + random() % 5 : 0;
    cinfo.arith_code = k % 11 == 4 ? TRUE : FALSE;
    cinfo.optimize_coding = k % 4 == 2 && !cinfo.arith_code ? TRUE : FALSE; // Huffman only
    cinfo.dct_method = k % 3 == 0 ? JDCT_ISLOW : k % 3 == 1 ? JDCT_IFAST : JDCT_FLOAT;
    if (k % 3 == 1) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW linha = pixels.ptr(static_cast<int>(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &linha, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(saida), tamanho);
    std::free(saida);
    return bytes;
}

} // namespace

// 360 JPEGs of every colour space, sampling, restart interval and coding, with widths and heights
// that leave partial blocks, loaded by open and by OpenCV's reader. A decoder set up unlike
// OpenCV's (another DCT, no fancy upsampling, another CMYK formula, a wrong row stride) gives
// other bytes here.
TEST(Correction_JpegDecoder, gives_the_bytes_of_opencvs_reader)
{
    teste::Workspace ws;
    std::mt19937 random(2024);
    for (int k = 0; k < 360; ++k) {
        const std::string bytes = jpegDeTeste(k, random);
        ASSERT_FALSE(bytes.empty()) << "JPEG " << k;
        ws.write("caso.jpg", bytes);
        const cv::Mat esperada = cv::imread((ws / "caso.jpg").string(),
                                            cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
        limparFalha();
        const Imagem lida = abrir((ws / "caso.jpg").c_str());
        ASSERT_TRUE(lida != nullptr && !esperada.empty()) << "JPEG " << k << ": " << motivoFalha();
        const cv::Mat pixels = cv::cvarrToMat(lida.get());
        ASSERT_TRUE(esperada.size() == pixels.size() &&
                    cv::norm(esperada, pixels, cv::NORM_INF) == 0)
            << "JPEG " << k;
    }
}
