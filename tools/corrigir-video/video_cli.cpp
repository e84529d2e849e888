// The command line of corrigir-video: reads the options and the two names, loads the mesh and
// the pattern, and runs the frame pipeline (correction/frame_sequence.h) from a video reader to
// a video writer (video_files.h), with a progress line on a terminal.
#include "tools/corrigir-video/video_cli.h"

#include "correction/batch.h"
#include "correction/driver.h"
#include "correction/frame_sequence.h"
#include "correction/shared_correction.h"
#include "mesh/mesh_store.h"
#include "mesh/paths.h"
#include "tools/corrigir-video/video_files.h"
#include "tools/corrigir/driver_cli.h"
#include "utilities/command_line.h"
#include "utilities/file_identity.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corretor {

namespace {

const char* const kPrograma = "corrigir-video";

const char* const kUso =
    "uso: corrigir-video [--interpolado[=FILTRO]] [--suave] [--codec CODEC] ENTRADA SAIDA\n"
    "\n"
    "Corrige cada quadro do vídeo ENTRADA com a malha e o padrão da pasta de trabalho, como\n"
    "corrigir-lote corrige uma imagem, e grava os quadros corrigidos, no tamanho do padrão e\n"
    "na taxa de quadros de ENTRADA, no vídeo SAIDA. O formato segue a extensão de SAIDA: .mp4\n"
    "em H.264, .mkv em FFV1 (sem perdas), .avi em MJPEG. O som não é levado. SAIDA só aparece\n"
    "no fim, inteira; antes disso nada com o seu nome é gravado. Sai com 0 quando todos os\n"
    "quadros foram corrigidos, 1 quando algo falhou (um vídeo ilegível ou danificado, um codec\n"
    "que falta, SAIDA que não se pode gravar, que é o próprio ENTRADA ou um arquivo da área de\n"
    "trabalho) e 2 quando a linha de comando não serve.\n"
    "\n"
    "  --codec CODEC           h264, ffv1, mjpeg, ou um código FOURCC de quatro letras, no\n"
    "                          lugar do que a extensão de SAIDA escolhe\n";

struct Opcoes
{
    std::string entrada, saida;
    std::optional<Interpolacao> interpolacao;
    bool suave = false;
    std::optional<ModoInterpolado> modo; // what the two ask for (modoPedido)
    CodecDeVideo codec;
};

int erroDeUso(const std::string& motivo)
{
    return corretor::erroDeUso(kPrograma, motivo);
}

// Reads the command line into `opcoes`. Returns -1 to go on, or the exit status (usage shown,
// or refused).
int lerOpcoes(int argc, const char* const* argv, Opcoes& opcoes)
{
    std::vector<std::string> nomes;
    std::optional<std::string> codec;
    bool soNomes = false; // after "--" every word is a name
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (soNomes || a.size() < 2 || a[0] != '-') {
            nomes.push_back(a);
        } else if (a == "--") {
            soNomes = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUso, stdout);
            std::fputs(kUsoInterpolado, stdout);
            return kSaidaOk;
        } else if (a == "--codec" || a.compare(0, 8, "--codec=") == 0) {
            if (a == "--codec" && (i + 1 == argc || argv[i + 1][0] == '\0'))
                return erroDeUso("falta o codec depois de --codec");
            codec = a == "--codec" ? argv[++i] : a.substr(8);
            if (!codecPeloNome(*codec, opcoes.codec))
                return erroDeUso("codec desconhecido \"" + *codec +
                                 "\" (h264, ffv1, mjpeg ou um código de quatro letras)");
        } else if (opcaoInterpolado(a, opcoes.interpolacao)) {
            if (!opcoes.interpolacao) return erroDeUso(filtroDesconhecido(a));
        } else if (a == "--suave") {
            opcoes.suave = true;
        } else {
            return erroDeUso("opção desconhecida \"" + a + "\"");
        }
    }
    if (nomes.size() != 2)
        return erroDeUso(nomes.size() < 2 ? "faltam ENTRADA e SAIDA"
                                          : "mais de dois nomes (só ENTRADA e SAIDA)");
    opcoes.modo = modoPedido(opcoes.interpolacao, opcoes.suave);
    opcoes.entrada = nomes[0];
    opcoes.saida = nomes[1];
    if (nomes[0].empty() || nomes[1].empty()) return erroDeUso("um nome vazio");
    if (!codec && !codecPelaExtensao(opcoes.saida, opcoes.codec))
        return erroDeUso("a extensão de \"" + opcoes.saida +
                         "\" não escolhe um formato (.mp4, .mkv ou .avi; ou --codec)");
    return -1;
}

// False, recording why, when SAIDA would replace ENTRADA or a file of the workspace, or names
// something other than a regular file.
bool conferirSaida(const Opcoes& opcoes)
{
    if (identidadeDoArquivo(opcoes.saida) == identidadeDoArquivo(opcoes.entrada)) {
        falhar("\"" + opcoes.saida + "\" é o próprio vídeo de entrada; escolha outro nome");
        return false;
    }
    const std::string daArea = arquivoDaAreaDeTrabalho(opcoes.saida);
    if (!daArea.empty()) {
        falhar("\"" + opcoes.saida + "\" substituiria \"" + daArea +
               "\", um arquivo da área de trabalho");
        return false;
    }
    struct stat st
    {
    };
    if (stat(opcoes.saida.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        falhar("não foi possível gravar \"" + opcoes.saida + "\": não é um arquivo comum");
        return false;
    }
    return true;
}

// "1:05" or "2:03:07".
std::string duracao(double segundos)
{
    const long s = std::lround(segundos);
    char texto[32];
    if (s >= 3600)
        std::snprintf(texto, sizeof texto, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(texto, sizeof texto, "%ld:%02ld", s / 60, s % 60);
    return texto;
}

// The progress line, on a terminal only: frames written, frames per second, time left (when the
// file declares its frame count), rewritten in place at most five times a second.
class LinhaDeProgresso
{
public:
    explicit LinhaDeProgresso(long total) : total_(total), terminal_(isatty(STDOUT_FILENO) != 0) {}
    void operator()(long feitos)
    {
        const auto agora = std::chrono::steady_clock::now();
        ultimosFeitos_ = feitos;
        if (!terminal_ || (feitos != total_ && agora - mostrada_ < std::chrono::milliseconds(200)))
            return;
        mostrada_ = agora;
        const double taxa = quadrosPorSegundo();
        std::printf("\r\033[Kquadro %ld", feitos);
        if (total_ > 0) std::printf(" de %ld", total_);
        std::printf(", %.1f quadros/s", taxa);
        if (total_ > feitos && taxa > 0)
            std::printf(", faltam %s", duracao((total_ - feitos) / taxa).c_str());
        std::fflush(stdout);
    }
    // Takes the line away, so that a message or the closing line takes its place.
    void apagar() const
    {
        if (terminal_) std::printf("\r\033[K");
        std::fflush(stdout);
    }
    double quadrosPorSegundo() const
    {
        const double segundos =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio_).count();
        return segundos > 0 ? ultimosFeitos_ / segundos : 0;
    }

private:
    const long total_;
    const bool terminal_;
    long ultimosFeitos_ = 0;
    const std::chrono::steady_clock::time_point inicio_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point mostrada_{};
};

} // namespace

int executarVideo(int argc, const char* const* argv)
{
    limparFalha();
    Opcoes opcoes;
    const int saida = lerOpcoes(argc, argv, opcoes);
    if (saida >= 0) return saida;
    const auto falha = [] {
        relatarFalha(kPrograma);
        return kSaidaFalha;
    };
    if (!conferirSaida(opcoes)) return falha();

    if (!lerMalhaDaAreaDeTrabalho()) return falha();
    const Imagem padrao = abrir(caminhoLocal(filename2).c_str());
    if (padrao == nullptr) return falha();

    silenciarBibliotecaDeVideo();
    LeitorDeVideo entrada;
    if (!entrada.abrir(opcoes.entrada)) return falha();
    // Judged from what the file declares, before any frame is decoded.
    const cv::Size tamanho = entrada.tamanho();
    if (tamanho.area() > 0 && !imagemCabe(tamanho.width, tamanho.height, opcoes.modo ? 1 : 4)) {
        precederMotivo("\"" + opcoes.entrada + "\": ");
        return falha();
    }
    double quadrosPorSegundo = entrada.quadrosPorSegundo();
    if (quadrosPorSegundo <= 0) {
        quadrosPorSegundo = 25;
        avisar("\"" + opcoes.entrada +
               "\" não declara sua taxa de quadros; o vídeo corrigido terá 25 quadros/s");
    }
    GravadorDeVideo gravador;
    if (!gravador.abrir(opcoes.saida, opcoes.codec, quadrosPorSegundo,
                        cv::Size(padrao->width, padrao->height)))
        return falha();
    avisar("o vídeo corrigido não leva som: o áudio de \"" + opcoes.entrada +
           "\", se houver, fica de fora");

    CorrecaoCompartilhada correcao(padrao.get());
    LinhaDeProgresso progresso(entrada.quadrosDeclarados());
    EtapasDaSequencia etapas;
    etapas.ler = [&entrada](cv::Mat& quadro) { return entrada.ler(quadro); };
    etapas.gravar = [&gravador](const cv::Mat& quadro) {
        gravador.gravar(quadro);
        return true;
    };
    etapas.progresso = [&progresso](long feitos) { progresso(feitos); };
    etapas.campoVazio = [&progresso](long quadro) {
        progresso.apagar();
        avisar("quadro " + std::to_string(quadro + 1) + ": " + avisoDeCampoVazio());
    };
    etapas.planos = [&progresso](const std::string& aviso) {
        progresso.apagar();
        avisar(aviso);
    };
    const long quadros = corrigirSequencia(correcao, opcoes.modo, etapas, nucleosDisponiveis());
    progresso.apagar();
    if (quadros < 0 || !gravador.concluir()) return falha();
    std::printf("%ld quadros corrigidos em \"%s\" (%.1f quadros/s)\n", quadros,
                opcoes.saida.c_str(), progresso.quadrosPorSegundo());
    std::fflush(stdout);
    return kSaidaOk;
}

} // namespace corretor
