// What an image file says about itself before it is decoded (its format, its size in pixels,
// whether its data are whole), and the JPEG decoder that judges its data as it decodes. The
// decoders of the image library take a damaged file quietly (a JPEG cut short comes out partly
// grey, a PNG with a wrong checksum decodes as far as it goes) and decode a file whatever size
// it declares; these checks come first.
#pragma once

#include <opencv2/core/types_c.h>

#include <string>

namespace corretor {

enum class FormatoDeImagem { Desconhecido, Jpeg, Png, Bmp, Tiff, WebP, Pnm };

struct CabecalhoDeImagem
{
    FormatoDeImagem formato = FormatoDeImagem::Desconhecido;
    int largura = 0, altura = 0; // pixels; 0 when the header could not be read
};

// The format by its first bytes, and the width and height its header declares. JPEG, PNG, BMP,
// TIFF, WebP and the PNM family are read (a few bytes at fixed places, or the first frame
// marker of a JPEG); for any other format, or a header too short to hold them, the size stays
// 0 and the decoder alone judges the file.
CabecalhoDeImagem lerCabecalho(const std::string& bytes);

// True when the data of a PNG file are whole: every chunk is complete and its checksum right,
// up to the closing chunk. Otherwise false, with `porque` saying what is wrong ("a imagem PNG
// acaba antes do fim dos dados", ...). JPEG data are judged while they are decoded
// (decodificarJpeg); other formats are taken as they are.
bool dadosInteiros(const std::string& bytes, FormatoDeImagem formato, std::string& porque);

// What became of a JPEG decode: read; refused as damaged (data corrupt or cut short); or refused
// for another reason (a colour layout with no conversion to BGR, samples of more than 8 bits,
// a lossless or hierarchical file, no memory).
enum class LeituraJpeg { Lida, Danificada, Recusada };

// Decodes the JPEG in `bytes` in one pass with libjpeg straight into the pixels of `imagem`
// (8-bit, 3 channels, of the size lerCabecalho gave), in blue, green, red order, with the bytes
// OpenCV's reader gives: YCbCr, RGB and grey through libjpeg's own conversions, CMYK and YCCK
// through libjpeg's CMYK output and OpenCV's formula, v = k - (255 - c) * k / 256 truncated, per
// ink. libjpeg's first warning about the data, in that same pass, stops it (Danificada: the
// decoder would fill the rest with grey); the two about metadata (JFIF revision, Adobe
// transform code) do not. `imagem` may be null when lerCabecalho found no size: the
// header is then read again only to say why. Anything but Lida leaves the reason in `porque`;
// the pixels are then partly written. Nothing is printed.
LeituraJpeg decodificarJpeg(const std::string& bytes, IplImage* imagem, std::string& porque);

} // namespace corretor
