#include "tools/corrigir-video/video_files.h"

#include "utilities/file_read.h"
#include "utilities/report.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace corretor {

namespace {

// A count or rate the library reports as a double: whole, finite and positive, else 0.
double declarado(double valor, double maior)
{
    return std::isfinite(valor) && valor > 0 && valor <= maior ? valor : 0;
}

std::string minusculas(std::string texto)
{
    std::transform(texto.begin(), texto.end(), texto.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return texto;
}

// The packets of the video stream of `nome`, counted without decoding them (the library's raw
// mode): every frame the writer gave the file is one packet. -1 when the file cannot be opened.
long pacotesDeVideo(const std::string& nome)
{
    const SilencioNoErro silencio; // the library prints its own lines on a file it cannot read
    cv::VideoCapture video(nome, cv::CAP_FFMPEG);
    if (!video.isOpened() || !video.set(cv::CAP_PROP_FORMAT, -1)) return -1;
    long pacotes = 0;
    while (video.grab())
        ++pacotes;
    return pacotes;
}

} // namespace

void silenciarBibliotecaDeVideo()
{
    // FFmpeg's quiet level (AV_LOG_QUIET); the library sets it when it first loads FFmpeg.
    setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 1);
}

bool LeitorDeVideo::abrir(const std::string& nome)
{
    nome_ = nome;
    std::string porque;
    // The library would wait on a FIFO or read a device without end.
    if (!arquivoComum(nome, porque)) {
        falhar("não foi possível abrir \"" + nome + "\": " + porque);
        return false;
    }
    bool aberto = false;
    {
        const SilencioNoErro silencio;
        aberto = video_.open(nome, cv::CAP_FFMPEG);
    }
    if (!aberto) {
        falhar("\"" + nome + "\" não é um vídeo que a biblioteca de vídeo (FFmpeg) consiga ler");
        return false;
    }
    quadrosPorSegundo_ = declarado(video_.get(cv::CAP_PROP_FPS), 1e6);
    declarados_ = static_cast<long>(declarado(video_.get(cv::CAP_PROP_FRAME_COUNT), 1e12));
    tamanho_ = cv::Size(static_cast<int>(declarado(video_.get(cv::CAP_PROP_FRAME_WIDTH), 1e9)),
                        static_cast<int>(declarado(video_.get(cv::CAP_PROP_FRAME_HEIGHT), 1e9)));
    return true;
}

bool LeitorDeVideo::ler(cv::Mat& quadro)
{
    if (video_.read(quadro) && !quadro.empty()) {
        ++lidos_;
        return true;
    }
    if (lidos_ < declarados_) {
        falhar("\"" + nome_ + "\" está danificado: o quadro " + std::to_string(lidos_ + 1) +
               " dos " + std::to_string(declarados_) + " que o arquivo declara não pôde ser lido");
    } else if (lidos_ == 0) {
        falhar("\"" + nome_ + "\" não tem nenhum quadro de vídeo");
    }
    return false;
}

bool codecPeloNome(const std::string& nome, CodecDeVideo& codec)
{
    const std::string n = minusculas(nome);
    if (n == "h264")
        codec = {"h264", cv::VideoWriter::fourcc('a', 'v', 'c', '1')};
    else if (n == "ffv1")
        codec = {"ffv1", cv::VideoWriter::fourcc('F', 'F', 'V', '1')};
    else if (n == "mjpeg")
        codec = {"mjpeg", cv::VideoWriter::fourcc('M', 'J', 'P', 'G')};
    else if (nome.size() == 4 && std::all_of(nome.begin(), nome.end(),
                                             [](unsigned char c) { return std::isalnum(c) != 0; }))
        codec = {nome, cv::VideoWriter::fourcc(nome[0], nome[1], nome[2], nome[3])};
    else
        return false;
    return true;
}

bool codecPelaExtensao(const std::string& arquivo, CodecDeVideo& codec)
{
    const std::string extensao = minusculas(std::filesystem::path(arquivo).extension().string());
    if (extensao == ".mp4") return codecPeloNome("h264", codec);
    if (extensao == ".mkv") return codecPeloNome("ffv1", codec);
    if (extensao == ".avi") return codecPeloNome("mjpeg", codec);
    return false;
}

bool GravadorDeVideo::abrir(const std::string& nome, const CodecDeVideo& codec,
                            double quadrosPorSegundo, cv::Size tamanho)
{
    nome_ = nome;
    if (!temporario_.criar(nome, std::filesystem::path(nome).extension().string())) {
        falhar("não foi possível gravar \"" + nome + "\": " + textoDoErro(errno));
        return false;
    }
    bool aberto = false;
    {
        const SilencioNoErro silencio; // the library prints its own line for a codec it lacks
        aberto = video_.open(temporario_.nome(), cv::CAP_FFMPEG, codec.fourcc, quadrosPorSegundo,
                             tamanho, true);
    }
    if (!aberto) {
        falhar("não foi possível gravar \"" + nome + "\" com o codec " + codec.nome +
               ": a biblioteca de vídeo (FFmpeg) não tem esse codificador, ou o formato do nome" +
               " não o aceita");
        return false;
    }
    return true;
}

void GravadorDeVideo::gravar(const cv::Mat& quadro)
{
    video_.write(quadro);
    ++gravados_;
}

bool GravadorDeVideo::concluir()
{
    {
        const SilencioNoErro silencio;
        video_.release();
    }
    // The library does not tell a failed write: the file itself shows whether it is whole.
    const long pacotes = pacotesDeVideo(temporario_.nome());
    if (pacotes != gravados_) {
        falhar("não foi possível gravar \"" + nome_ + "\" inteiro: o arquivo ficou com " +
               std::to_string(std::max(0L, pacotes)) + " dos " + std::to_string(gravados_) +
               " quadros (falta espaço no disco, ou o limite de tamanho de arquivo?)");
        return false;
    }
    if (!temporario_.colocar()) {
        falhar("não foi possível gravar \"" + nome_ + "\": " + textoDoErro(errno));
        return false;
    }
    return true;
}

} // namespace corretor
