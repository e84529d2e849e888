// Files written whole or not at all, and lines appended whole or not at all.
//
// Names are local paths ("/" separated). A file is written by writing a temporary file
// (".salvando-" and 12 random letters and digits) in the folder of its name and renaming it over
// the name, so that a reader sees the old file or the new one, never a part; the new file gets the
// permissions any new file of the user gets. A signal that ends the process while a temporary file
// exists removes it (utilities/temporary_files.h).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corretor {

// Writes `tamanho` bytes from `dados` over `caminho`. Returns false, with errno telling why, and
// leaves neither a temporary file nor a changed `caminho` behind when that fails. Records
// nothing: for callers that report failures their own way.
bool substituirArquivo(const std::string& caminho, const void* dados, std::size_t tamanho);

// The same, recording why on failure.
bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho);

inline bool gravarArquivoInteiro(const std::string& caminho, const std::string& conteudo)
{
    return gravarArquivoInteiro(caminho, conteudo.data(), conteudo.size());
}

struct ArquivoNovo
{
    std::string caminho;
    std::string conteudo;
};

// Writes several files as one: every content to its temporary file first, and only when all
// were written are they renamed over their names, in order, with the ending signals held back
// until the last rename, so that an interruption leaves every file old or every file new. When a
// name is taken by something other than a regular file, or a write fails, returns false, recording
// why, with every file as it was and no temporary file left. A rename failing half way (which a
// folder that took the temporary files hardly allows) is recorded with how many files were already
// replaced. `marca`, when given, names a file made right before the renames and removed right
// after them: it remains only when they were cut short (a process killed outright, which no
// handler sees, or a rename failing half way), so that a reader can tell.
bool gravarArquivosJuntos(const std::vector<ArquivoNovo>& arquivos, const std::string& marca = "");

// A temporary file for a writer that opens its file by name itself (a video writer, which picks
// the container by the name's extension): created empty in the folder of `caminho`, named
// ".salvando-" + 12 random letters and digits + `sufixo`, with the mode a new file gets, and
// registered for removal on a signal. colocar() renames it over `caminho`; a file that was not
// put in place is removed when the object goes. One file per object.
class ArquivoTemporario
{
public:
    ArquivoTemporario() = default;
    ~ArquivoTemporario();
    ArquivoTemporario(const ArquivoTemporario&) = delete;
    ArquivoTemporario& operator=(const ArquivoTemporario&) = delete;

    // Creates the file; false, with errno telling why and nothing left behind, when it cannot.
    bool criar(const std::string& caminho, const std::string& sufixo);
    // The temporary file's name, for the writer.
    const std::string& nome() const { return nome_; }
    // Renames the file over `caminho`; false, errno telling why, with the file removed.
    bool colocar();

private:
    std::string caminho_, nome_;
    int vaga_ = -1;
    bool existe_ = false;
};

// The process's file mode mask, read once: the permissions a new file or folder gets are
// 0666 or 0777 without these bits.
mode_t mascaraDoProcesso();

// Makes a write beyond the process's file-size limit (ulimit -f) fail with an error, which the
// writers here handle, instead of ending the process half-way through a file. Programs call
// it first thing (utilities/program_setup.h).
void ignorarSinalDeTamanho();

// Appends `texto` to the file `caminho`, created when missing, through the stream `handle`,
// which holds the file while it is open and is null again on return. A last line without its
// line end (a file edited by hand) is ended first, so the text starts a line of its own. When the
// text cannot be written whole (a full disk, a file size limit), the file is cut back to its
// earlier length, so every earlier line stays and no partial line is left. Returns false, with
// errno telling why, when the file could not be opened (something other than a regular file in its
// place gives EISDIR for a folder, ENXIO otherwise, and is never waited on) or the text not
// written.
bool anexarTexto(FILE*& handle, const std::string& caminho, const std::string& texto);

} // namespace corretor
