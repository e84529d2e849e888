// Video files through OpenCV's video library with its FFmpeg backend (no other backend is
// asked): a reader that tells a video cut short from one that ended, and a writer that puts its
// file in place only when it holds every frame.
//
// Frames are 8-bit, 3-channel pictures (blue, green, red). Frames are counted from 1 in
// messages. Every failure records one reason in Portuguese naming the file
// (utilities/report.h); nothing the libraries print reaches standard error.
#pragma once

#include "utilities/whole_file.h"

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>

namespace corretor {

// Keeps FFmpeg's own log lines off standard error for the whole process. Call before the first
// video is opened (the library reads the setting once).
void silenciarBibliotecaDeVideo();

class LeitorDeVideo
{
public:
    // Opens `nome`, a regular file holding a video the library decodes; false, reason recorded,
    // otherwise (missing, a folder or a FIFO, no video in it).
    bool abrir(const std::string& nome);

    // Reads the next frame into `quadro`. False at the end; when the end comes before the frame
    // count that the file declares, the video is damaged: false with that reason recorded,
    // naming the frame that could not be read.
    bool ler(cv::Mat& quadro);

    double quadrosPorSegundo() const { return quadrosPorSegundo_; } // as declared; may be 0
    long quadrosDeclarados() const { return declarados_; }          // 0 when unknown
    cv::Size tamanho() const { return tamanho_; }                   // of the first frame

private:
    std::string nome_;
    cv::VideoCapture video_;
    double quadrosPorSegundo_ = 0;
    long declarados_ = 0, lidos_ = 0;
    cv::Size tamanho_;
};

// A codec of the writer: its name for messages and its four-character code.
struct CodecDeVideo
{
    std::string nome;
    int fourcc = 0;
};

// The codec `nome` names: "h264", "ffv1", "mjpeg" (any case), or any other four characters
// taken as a four-character code. False for anything else.
bool codecPeloNome(const std::string& nome, CodecDeVideo& codec);

// The codec that the extension of `arquivo` chooses: ".mp4" H.264, ".mkv" FFV1 (lossless),
// ".avi" MJPEG, in any case. False for any other extension.
bool codecPelaExtensao(const std::string& arquivo, CodecDeVideo& codec);

class GravadorDeVideo
{
public:
    // Opens a temporary file beside `nome` (same extension, so that the container is the one
    // `nome` asks for) for frames of `tamanho` at `quadrosPorSegundo`. False, reason recorded,
    // when the folder cannot take the file or the library has no encoder for the codec in that
    // container.
    bool abrir(const std::string& nome, const CodecDeVideo& codec, double quadrosPorSegundo,
               cv::Size tamanho);

    // Writes one frame of the size given to abrir.
    void gravar(const cv::Mat& quadro);

    // Closes the file, checks that it holds every frame written and renames it over the name.
    // False, reason recorded, with the temporary file removed and an earlier file of that name
    // left as it was, when any of that fails (a full disk, a file size limit).
    bool concluir();

private:
    std::string nome_;
    ArquivoTemporario temporario_;
    cv::VideoWriter video_;
    long gravados_ = 0;
};

} // namespace corretor
