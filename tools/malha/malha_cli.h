// The malha program: git-style subcommands that take a workspace from its two vertex files to
// the mesh files that the correction run reads, and check the result.
//
//   malha triangular [--substituir]   writes "data\quelvarina.txt"
//   malha matrizes [--substituir]     writes "matrix\0.txt" to "matrix\98.txt"
//   malha verificar                   reports what would make a correction go wrong
//   malha calibrar CAPTURE            the whole mesh from a capture of the pattern
//   malha refinar CAPTURE             hand-picked source nodes moved onto the capture's detail
//   malha desenhar IMAGE              draws both meshes over their images into PNG files
//   malha editar IMAGE                the authoring window: lays out a mesh by clicking
//   malha demo DIR                    writes a complete demo workspace into DIR
//   malha padrao                      writes the pattern and a sheet to print it on
//
// Every subcommand works in the working directory (demo in the folder it is given), takes
// --help, prints its messages in Portuguese (errors on standard error as "malha: erro: ...")
// and leaves no half-written file behind. Exit status: 0 on success, 1 on failure (for verificar:
// when it found a problem), 2 for a command line it does not understand.
#pragma once

#include "utilities/command_line.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace corretor {

using Argumentos = std::vector<std::string>;

// One subcommand: its name, a one-line summary for "malha --help", its own help text, and the
// function that runs it with the arguments after its name (--help already handled).
struct Subcomando
{
    const char* nome;
    const char* resumo;
    const char* ajuda;
    int (*executar)(const Argumentos& argumentos);
};

// The options of a subcommand: flags it knows, and the words that are not options. Returns
// false, recording why, for an option it does not know.
bool lerOpcoes(const Argumentos& argumentos, const std::vector<std::string>& conhecidas,
               std::vector<std::string>& dadas, Argumentos& palavras);

// The same for a subcommand that takes options only: a word is refused too.
bool lerSoOpcoes(const Argumentos& argumentos, const std::vector<std::string>& conhecidas,
                 std::vector<std::string>& dadas);

// The one word of a subcommand that takes no option and exactly one word (an image, a folder):
// false, recording "falta <oQueFalta>" or the unexpected word, otherwise.
bool lerUmaPalavra(const Argumentos& argumentos, const char* oQueFalta, std::string& palavra);

// For the subcommands that use a capture (tools/malha/capture_use.cpp).
struct MalhaNova;

// The turn of --giro GRAUS: a finite number of degrees from -360 to 360. False, recording why,
// otherwise.
bool lerGiro(const std::string& valor, double& giro);

// Whether a picture can be written to `nome` (given by `opcao`): a kind of picture the image
// library writes, in a folder that exists, not over a folder. False, recording why, otherwise;
// nothing is written.
bool podeGravarImagem(const std::string& nome, const char* opcao);

// The mesh checked against the capture it was made from (calibration/self_check.h): the
// regions and nodes that disagree are named in warnings; a mesh that does not agree is refused,
// recording why, unless `forcar`, when the refusal is only a warning.
bool conferirComACaptura(const cv::Mat& padrao, const cv::Mat& captura, const std::string& nome,
                         const MalhaNova& malha, bool forcar);

// The subcommands (tools/malha/malha_*.cpp).
int malhaTriangular(const Argumentos& argumentos);
int malhaMatrizes(const Argumentos& argumentos);
int malhaVerificar(const Argumentos& argumentos);
int malhaCalibrar(const Argumentos& argumentos);
int malhaRefinar(const Argumentos& argumentos);
int malhaDesenhar(const Argumentos& argumentos);
int malhaEditar(const Argumentos& argumentos);

// The help of "malha editar"; its part from "teclas:" on is what the editor prints.
extern const char kAjudaEditar[];
int malhaDemo(const Argumentos& argumentos);
int malhaPadrao(const Argumentos& argumentos);

// The whole program: picks the subcommand named by argv[1] and runs it. Returns the exit
// status, after printing the recorded reason of a failure on standard error.
int executarMalha(int argc, const char* const* argv);

} // namespace corretor
