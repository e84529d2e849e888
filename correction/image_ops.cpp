#include "correction/image_ops.h"

#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <string>
#include <vector>

namespace corretor {

IplImage* open(const char* nome)
{
    cv::Mat lida;
    try {
        // The mesh lives in the file's own pixel grid, so an orientation tag is not applied.
        lida = cv::imread(nome, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    } catch (const cv::Exception& e) {
        falhar("não foi possível ler a imagem \"" + std::string(nome) + "\": " + e.err);
        return nullptr;
    }
    if (lida.empty()) {
        falhar("não foi possível ler a imagem \"" + std::string(nome) + "\"");
        return nullptr;
    }
    IplImage* image = cvCreateImage(cvSize(lida.cols, lida.rows), IPL_DEPTH_8U, 3);
    const std::size_t bytesPorLinha = static_cast<std::size_t>(lida.cols) * 3;
    for (int y = 0; y < lida.rows; ++y)
        std::memcpy(image->imageData + static_cast<std::size_t>(y) * image->widthStep, lida.ptr(y),
                    bytesPorLinha);
    return image;
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
    } catch (const cv::Exception& e) {
        falhar("não foi possível codificar a imagem \"" + std::string(nome) + "\": " + e.err);
        return false;
    }
    return gravarArquivoInteiro(nome, bytes.data(), bytes.size());
}

void free(IplImage* image)
{
    if (image != nullptr) cvReleaseImage(&image);
}

} // namespace corretor
