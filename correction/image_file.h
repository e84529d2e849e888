// What an image file says about itself before it is decoded: its format, its size in pixels,
// and whether its data are whole. The decoders of the image library take a damaged file
// quietly (a JPEG cut short comes out partly grey, a PNG with a wrong checksum decodes as far as
// it goes) and decode a file whatever size it declares; these checks come first.
#pragma once

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

// True when the data of a JPEG or PNG file are whole: for JPEG, the library decodes the file
// (at an eighth of its size, which reads every coded byte) and reports no corrupt or missing
// data; for PNG, every chunk is complete and its checksum right, up to the closing chunk.
// Otherwise false, with `porque` saying what is wrong ("a imagem acaba antes do fim dos
// dados", ...). Other formats are taken as they are.
bool dadosInteiros(const std::string& bytes, FormatoDeImagem formato, std::string& porque);

} // namespace corretor
