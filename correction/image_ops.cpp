#include "correction/image_ops.h"

#include "utilities/report.h"

#include <opencv2/highgui/highgui_c.h>
#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

void show(const char* nome, const IplImage* image)
{
    cvNamedWindow(nome, 1);
    cvMoveWindow(nome, 100, 100);
    cvShowImage(nome, image);
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

// The folder part of `nome` with its final "/", or "" for a name in the working directory.
std::string pasta(const std::string& nome)
{
    const std::size_t barra = nome.find_last_of('/');
    return barra == std::string::npos ? "" : nome.substr(0, barra + 1);
}

// Writes `bytes` to a new temporary file beside `nome` and renames it over `nome`.
bool substituirArquivo(const std::string& nome, const std::vector<uchar>& bytes)
{
    std::string temporario = pasta(nome) + ".salvando-XXXXXX";
    const int fd = mkstemp(temporario.data());
    if (fd < 0) {
        falhar("não foi possível criar um arquivo temporário para \"" + nome +
               "\": " + std::strerror(errno));
        return false;
    }
    // mkstemp creates the file for its owner only; give it the mode a new file would get.
    const mode_t mascara = umask(0);
    umask(mascara);
    bool ok = fchmod(fd, 0666 & ~mascara) == 0;
    std::size_t escrito = 0;
    while (ok && escrito < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + escrito, bytes.size() - escrito);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) escrito += static_cast<std::size_t>(n);
    }
    const int erro = ok ? 0 : errno;
    ok = (close(fd) == 0) && ok;
    if (ok && std::rename(temporario.c_str(), nome.c_str()) == 0) return true;
    const int erroFinal = erro != 0 ? erro : errno;
    unlink(temporario.c_str());
    falhar("não foi possível gravar \"" + nome + "\": " + std::strerror(erroFinal));
    return false;
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
    return substituirArquivo(nome, bytes);
}

void free(IplImage* image)
{
    if (image != nullptr) cvReleaseImage(&image);
}

} // namespace corretor
