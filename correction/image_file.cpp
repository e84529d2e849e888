// Image file headers and data checks, and the JPEG decoder. The headers are fixed layouts of a
// few bytes, read here directly; JPEG, whose size lies in a frame marker after any number of
// other segments, is read by libjpeg, which also decodes it and reports damage in the same
// pass. PNG checksums are zlib's crc32.
#include "correction/image_file.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>
#include <zlib.h>

namespace corretor {

namespace {

uint32_t be32(const std::string& b, std::size_t i)
{
    return uint32_t(uint8_t(b[i])) << 24 | uint32_t(uint8_t(b[i + 1])) << 16 |
           uint32_t(uint8_t(b[i + 2])) << 8 | uint32_t(uint8_t(b[i + 3]));
}
uint32_t le32(const std::string& b, std::size_t i)
{
    return uint32_t(uint8_t(b[i])) | uint32_t(uint8_t(b[i + 1])) << 8 |
           uint32_t(uint8_t(b[i + 2])) << 16 | uint32_t(uint8_t(b[i + 3])) << 24;
}
uint32_t le16(const std::string& b, std::size_t i)
{
    return uint32_t(uint8_t(b[i])) | uint32_t(uint8_t(b[i + 1])) << 8;
}
uint32_t be16(const std::string& b, std::size_t i)
{
    return uint32_t(uint8_t(b[i])) << 8 | uint32_t(uint8_t(b[i + 1]));
}

bool comeca(const std::string& b, const char* prefixo, std::size_t n)
{
    return b.size() >= n && std::memcmp(b.data(), prefixo, n) == 0;
}

// A size that a decoder could be asked to make; anything else is left to the decoder.
void guardar(CabecalhoDeImagem& c, int64_t largura, int64_t altura)
{
    if (largura > 0 && altura > 0 && largura <= INT32_MAX && altura <= INT32_MAX) {
        c.largura = static_cast<int>(largura);
        c.altura = static_cast<int>(altura);
    }
}

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to the
// caller's setjmp with 1. Warnings (corrupt or missing data) come through emit_message with
// level -1; they are counted, never printed, and when `pararNoAviso` the first one jumps back
// with 2, since the file is refused whatever follows.
struct ErroJpeg
{
    jpeg_error_mgr base;
    std::jmp_buf volta;
    bool pararNoAviso = false;
    int avisos = 0;
    int primeiro = 0; // message code of the first warning
};

void sairJpeg(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErroJpeg*>(cinfo->err)->volta, 1);
}

void mensagemJpeg(j_common_ptr cinfo, int nivel)
{
    auto* erro = reinterpret_cast<ErroJpeg*>(cinfo->err);
    // Two warnings are about metadata, not pixels: an unknown JFIF revision and an unknown
    // Adobe colour transform code.
    const int codigo = erro->base.msg_code;
    if (nivel >= 0 || codigo == JWRN_JFIF_MAJOR || codigo == JWRN_ADOBE_XFORM) return;
    if (erro->avisos++ == 0) erro->primeiro = codigo;
    if (erro->pararNoAviso) std::longjmp(erro->volta, 2);
}

void silencio(j_common_ptr) {}

// A decoder over `bytes` whose errors come back to `erro`; jpeg_create_decompress follows.
void prepararJpeg(jpeg_decompress_struct& cinfo, ErroJpeg& erro)
{
    cinfo.err = jpeg_std_error(&erro.base);
    erro.base.error_exit = sairJpeg;
    erro.base.emit_message = mensagemJpeg;
    erro.base.output_message = silencio;
}

// The header of the JPEG in `bytes`: fills `c` with its size. Nothing is decoded.
void cabecalhoJpeg(const std::string& bytes, CabecalhoDeImagem& c)
{
    jpeg_decompress_struct cinfo{};
    ErroJpeg erro;
    prepararJpeg(cinfo, erro);
    if (setjmp(erro.volta) == 0) {
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        guardar(c, cinfo.image_width, cinfo.image_height);
    }
    jpeg_destroy_decompress(&cinfo);
}

// One row of libjpeg's CMYK output (also what it makes of YCCK) in blue, green, red order, as
// OpenCV converts it: each ink c of the pixel with black k gives k - ((255 - c) * k >> 8), and
// cyan, magenta, yellow become red, green, blue.
void cmykParaBgr(const JSAMPLE* cmyk, JSAMPLE* bgr, JDIMENSION largura)
{
    for (JDIMENSION x = 0; x < largura; ++x, cmyk += 4, bgr += 3) {
        const int k = cmyk[3];
        bgr[2] = static_cast<JSAMPLE>(k - ((255 - cmyk[0]) * k >> 8));
        bgr[1] = static_cast<JSAMPLE>(k - ((255 - cmyk[1]) * k >> 8));
        bgr[0] = static_cast<JSAMPLE>(k - ((255 - cmyk[2]) * k >> 8));
    }
}

// Why libjpeg stopped: the first warning when `aviso`, otherwise its error `codigo`.
LeituraJpeg motivoJpeg(bool aviso, int codigo, int componentes, std::string& porque)
{
    if (aviso) {
        porque = codigo == JWRN_JPEG_EOF ? "a imagem JPEG acaba antes do fim dos dados"
                                         : "os dados da imagem JPEG estão corrompidos";
        return LeituraJpeg::Danificada;
    }
    switch (codigo) {
    case JERR_CONVERSION_NOTIMPL:
        porque = "a imagem JPEG tem " + std::to_string(componentes) +
                 " componentes de cor, que não se convertem em cores";
        return LeituraJpeg::Recusada;
    case JERR_BAD_PRECISION:
        porque = "a imagem JPEG tem amostras de mais de 8 bits, que a biblioteca JPEG não lê";
        return LeituraJpeg::Recusada;
    case JERR_SOF_UNSUPPORTED:
        porque = "a imagem JPEG é sem perdas ou hierárquica, o que a biblioteca JPEG não lê";
        return LeituraJpeg::Recusada;
    case JERR_OUT_OF_MEMORY:
        porque = "falta memória";
        return LeituraJpeg::Recusada;
    default:
        porque = "os dados da imagem JPEG estão corrompidos ou acabam antes do fim";
        return LeituraJpeg::Danificada;
    }
}

// Every chunk of a PNG whole and with its checksum right, up to IEND.
bool pngInteiro(const std::string& b, std::string& porque)
{
    std::size_t i = 8;
    for (;;) {
        if (i + 12 > b.size()) {
            porque = "a imagem PNG acaba antes do fim dos dados";
            return false;
        }
        const uint32_t tamanho = be32(b, i);
        if (tamanho > 0x7FFFFFFFu || b.size() - i - 12 < tamanho) {
            porque = "a imagem PNG acaba antes do fim dos dados";
            return false;
        }
        const auto* tipo = reinterpret_cast<const Bytef*>(b.data() + i + 4);
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), tipo, tamanho + 4);
        if (crc != be32(b, i + 8 + tamanho)) {
            porque = "a soma de verificação de um bloco da imagem PNG não confere";
            return false;
        }
        if (std::memcmp(tipo, "IEND", 4) == 0) return true;
        i += 12 + static_cast<std::size_t>(tamanho);
    }
}

// The first two numbers of a PNM header, after its magic ("P6"), skipping white space and
// comments.
void pnm(const std::string& b, CabecalhoDeImagem& c)
{
    std::size_t i = 2;
    int64_t valores[2] = {0, 0};
    for (int64_t& v : valores) {
        for (;;) {
            while (i < b.size() && std::strchr(" \t\r\n\v\f", b[i]) != nullptr && b[i] != '\0')
                ++i;
            if (i < b.size() && b[i] == '#')
                while (i < b.size() && b[i] != '\n')
                    ++i;
            else
                break;
        }
        if (i == b.size() || b[i] < '0' || b[i] > '9') return;
        for (; i < b.size() && b[i] >= '0' && b[i] <= '9' && v <= INT32_MAX; ++i)
            v = v * 10 + (b[i] - '0');
    }
    guardar(c, valores[0], valores[1]);
}

// ImageWidth (256) and ImageLength (257) of the first directory of a TIFF.
void tiff(const std::string& b, CabecalhoDeImagem& c)
{
    const bool intel = b[0] == 'I';
    const auto u16 = [&](std::size_t i) { return intel ? le16(b, i) : be16(b, i); };
    const auto u32 = [&](std::size_t i) { return intel ? le32(b, i) : be32(b, i); };
    const std::size_t ifd = u32(4);
    if (ifd + 2 > b.size()) return;
    const std::size_t entradas = u16(ifd);
    int64_t valores[2] = {0, 0};
    for (std::size_t k = 0; k < entradas && ifd + 2 + 12 * (k + 1) <= b.size(); ++k) {
        const std::size_t e = ifd + 2 + 12 * k;
        const uint32_t marca = u16(e), tipo = u16(e + 2);
        if (marca != 256 && marca != 257) continue;
        valores[marca - 256] = tipo == 3 ? u16(e + 8) : u32(e + 8); // SHORT or LONG
    }
    guardar(c, valores[0], valores[1]);
}

void webp(const std::string& b, CabecalhoDeImagem& c)
{
    if (b.size() < 30) return;
    const std::string pedaco = b.substr(12, 4);
    if (pedaco == "VP8X")
        guardar(c, int64_t(le32(b, 24) & 0xFFFFFF) + 1, int64_t(le32(b, 27) & 0xFFFFFF) + 1);
    else if (pedaco == "VP8L" && uint8_t(b[20]) == 0x2F)
        guardar(c, int64_t(le32(b, 21) & 0x3FFF) + 1, int64_t((le32(b, 21) >> 14) & 0x3FFF) + 1);
    else if (pedaco == "VP8 ")
        guardar(c, le16(b, 26) & 0x3FFF, le16(b, 28) & 0x3FFF);
}

} // namespace

CabecalhoDeImagem lerCabecalho(const std::string& b)
{
    CabecalhoDeImagem c;
    if (comeca(b, "\xFF\xD8\xFF", 3)) {
        c.formato = FormatoDeImagem::Jpeg;
        cabecalhoJpeg(b, c);
    } else if (comeca(b, "\x89PNG\r\n\x1A\n", 8)) {
        c.formato = FormatoDeImagem::Png;
        if (b.size() >= 24) guardar(c, be32(b, 16), be32(b, 20));
    } else if (comeca(b, "BM", 2)) {
        c.formato = FormatoDeImagem::Bmp;
        if (b.size() >= 26 && le32(b, 14) == 12)
            guardar(c, le16(b, 18), le16(b, 20));
        else if (b.size() >= 26)
            guardar(c, int32_t(le32(b, 18)), std::abs(int64_t(int32_t(le32(b, 22)))));
    } else if (comeca(b, "II*\0", 4) || comeca(b, "MM\0*", 4)) {
        c.formato = FormatoDeImagem::Tiff;
        if (b.size() >= 8) tiff(b, c);
    } else if (comeca(b, "RIFF", 4) && b.size() >= 16 && b.compare(8, 4, "WEBP") == 0) {
        c.formato = FormatoDeImagem::WebP;
        webp(b, c);
    } else if (b.size() >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '6') {
        c.formato = FormatoDeImagem::Pnm;
        pnm(b, c);
    }
    return c;
}

bool dadosInteiros(const std::string& bytes, FormatoDeImagem formato, std::string& porque)
{
    return formato != FormatoDeImagem::Png || pngInteiro(bytes, porque);
}

LeituraJpeg decodificarJpeg(const std::string& bytes, IplImage* imagem, std::string& porque)
{
    jpeg_decompress_struct cinfo{};
    ErroJpeg erro;
    erro.pararNoAviso = true;
    prepararJpeg(cinfo, erro);
    const int salto = setjmp(erro.volta);
    if (salto != 0) {
        const int componentes = cinfo.num_components;
        jpeg_destroy_decompress(&cinfo);
        return motivoJpeg(salto == 2, salto == 2 ? erro.primeiro : erro.base.msg_code, componentes,
                          porque);
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (imagem == nullptr || imagem->depth != IPL_DEPTH_8U || imagem->nChannels != 3 ||
        cinfo.image_width != static_cast<JDIMENSION>(imagem->width) ||
        cinfo.image_height != static_cast<JDIMENSION>(imagem->height)) {
        jpeg_destroy_decompress(&cinfo);
        porque = "a imagem JPEG não cabe na imagem preparada para ela";
        return LeituraJpeg::Recusada;
    }
    // Four components are CMYK or YCCK, which libjpeg gives only as CMYK; everything else it
    // converts to BGR itself, as OpenCV asks it to.
    const bool cmyk = cinfo.num_components == 4;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    // From libjpeg's own pool, released with the decoder: a jump out of the library must leave
    // nothing of ours behind.
    JSAMPROW linhaCmyk = cmyk
                             ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                          JPOOL_IMAGE, cinfo.output_width * 4, 1)[0]
                             : nullptr;
    auto* pixels = reinterpret_cast<JSAMPLE*>(imagem->imageData);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPLE* destino =
            pixels + static_cast<std::size_t>(cinfo.output_scanline) * imagem->widthStep;
        JSAMPROW linha = cmyk ? linhaCmyk : destino;
        jpeg_read_scanlines(&cinfo, &linha, 1);
        if (cmyk) cmykParaBgr(linhaCmyk, destino, cinfo.output_width);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return LeituraJpeg::Lida;
}

} // namespace corretor
