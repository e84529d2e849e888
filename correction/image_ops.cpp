#include "correction/image_ops.h"

#include "correction/image_file.h"
#include "correction/stages.h"
#include "utilities/file_read.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <string>
#include <vector>

namespace corretor {

namespace {

const int kComoLer = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;

bool recusar(const char* nome, const std::string& porque)
{
    falhar("não foi possível ler a imagem \"" + std::string(nome) + "\": " + porque);
    return false;
}

// A JPEG decoded by libjpeg straight into a new image of `cabecalho`'s size, its data judged in
// the same pass. Null, reason recorded, on failure.
Imagem lerJpeg(const char* nome, const std::string& bytes, const CabecalhoDeImagem& cabecalho)
{
    Imagem image;
    if (cabecalho.largura > 0) image = criarImagem(cvSize(cabecalho.largura, cabecalho.altura));
    std::string porque;
    switch (decodificarJpeg(bytes, image.get(), porque)) {
    case LeituraJpeg::Lida:
        return image;
    case LeituraJpeg::Danificada:
        falhar("a imagem \"" + std::string(nome) + "\" está danificada: " + porque);
        return nullptr;
    case LeituraJpeg::Recusada:
        break;
    }
    recusar(nome, porque);
    return nullptr;
}

// Decodes `bytes` (any format but JPEG) into a new image of `cabecalho`'s size, in place (the
// decoder writes straight into the image record, so the pixels are held once); an image whose
// size its header does not give, or whose decoder finds another size, is decoded on its own and
// copied. The decoders' own lines are kept from standard error. Null, reason recorded, on
// failure.
Imagem decodificar(const char* nome, const std::string& bytes, const CabecalhoDeImagem& cabecalho)
{
    const cv::Mat arquivo(1, static_cast<int>(bytes.size()), CV_8U,
                          const_cast<char*>(bytes.data()));
    Imagem image;
    cv::Mat lida;
    if (cabecalho.largura > 0) {
        image = criarImagem(cvSize(cabecalho.largura, cabecalho.altura));
        lida = cv::cvarrToMat(image.get());
    }
    {
        const SilencioNoErro decodificador; // its own lines are not the system's
        cv::imdecode(arquivo, kComoLer, &lida);
    }
    if (lida.empty() || lida.type() != CV_8UC3) {
        recusar(nome, "o formato não é conhecido ou os dados não formam uma imagem");
        return nullptr;
    }
    if (image != nullptr && lida.data == reinterpret_cast<uchar*>(image->imageData)) return image;
    image.reset();
    if (!imagemCabe(lida.cols, lida.rows, 1)) {
        precederMotivo("\"" + std::string(nome) + "\": ");
        return nullptr;
    }
    image = criarImagem(cvSize(lida.cols, lida.rows));
    lida.copyTo(cv::cvarrToMat(image.get()));
    return image;
}

Imagem abrirImagem(const char* nome, int fator)
{
    std::string bytes, porque;
    if (!lerArquivo(nome, bytes, kLimiteDeArquivoDeImagem, porque)) {
        recusar(nome, porque);
        return nullptr;
    }
    if (bytes.empty()) {
        recusar(nome, "o arquivo está vazio");
        return nullptr;
    }
    const CabecalhoDeImagem cabecalho = lerCabecalho(bytes);
    // The size is judged before anything is decoded: a small file can declare a huge image.
    if (cabecalho.largura > 0 && !imagemCabe(cabecalho.largura, cabecalho.altura, fator)) {
        precederMotivo("\"" + std::string(nome) + "\": ");
        return nullptr;
    }
    const long long pixels = static_cast<long long>(cabecalho.largura) * cabecalho.altura;
    if (pixels > kPixelsMaximos) {
        recusar(nome, "declara " + std::to_string(cabecalho.largura) + "x" +
                          std::to_string(cabecalho.altura) + " pixels, mais que os " +
                          std::to_string(kPixelsMaximos) + " que uma imagem pode ter");
        return nullptr;
    }
    if (!dadosInteiros(bytes, cabecalho.formato, porque)) {
        falhar("a imagem \"" + std::string(nome) + "\" está danificada: " + porque);
        return nullptr;
    }
    try {
        if (cabecalho.formato == FormatoDeImagem::Jpeg) return lerJpeg(nome, bytes, cabecalho);
        return decodificar(nome, bytes, cabecalho);
    } catch (...) {
        recusar(nome, motivoDaExcecao());
    }
    return nullptr;
}

} // namespace

IplImage* open(const char* nome)
{
    return abrirImagem(nome, 1).release();
}

Imagem abrir(const char* nome)
{
    return abrirImagem(nome, 1);
}

bool carregarImagem(const std::string& nome, cv::Mat& imagem)
{
    const Imagem lida = abrir(nome.c_str());
    if (lida == nullptr) return false;
    imagem = cv::cvarrToMat(lida.get()).clone();
    return true;
}

Imagem abrirParaAmpliar(const char* nome)
{
    return abrirImagem(nome, 4);
}

namespace {

// The extension of `nome` with its dot (".jpg"), or "" when the file name has none.
std::string extensao(const std::string& nome)
{
    const std::size_t barra = nome.find_last_of('/');
    const std::size_t ponto = nome.find_last_of('.');
    if (ponto == std::string::npos || (barra != std::string::npos && ponto < barra)) return "";
    return nome.substr(ponto);
}

} // namespace

bool save(const char* nome, const IplImage* image)
{
    const std::string ext = extensao(nome);
    std::vector<uchar> bytes;
    try {
        const cv::Mat pixels = cv::cvarrToMat(image);
        if (ext.empty() || !cv::imencode(ext, pixels, bytes)) {
            falhar("não foi possível codificar a imagem \"" + std::string(nome) + "\"");
            return false;
        }
    } catch (...) {
        falhar("não foi possível codificar a imagem \"" + std::string(nome) +
               "\": " + motivoDaExcecao());
        return false;
    }
    return gravarArquivoInteiro(nome, bytes.data(), bytes.size());
}

void free(IplImage* image)
{
    if (image != nullptr) cvReleaseImage(&image);
}

} // namespace corretor
