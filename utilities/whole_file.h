// Files written whole or not at all, and lines appended whole or not at all.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace corretor {

// Writes `tamanho` bytes from `dados` to a new temporary file in the folder of `caminho` and
// renames it over `caminho`, with the permissions any new file of the user gets. Returns false,
// with errno telling why, and leaves neither a temporary file nor a changed `caminho` behind
// when that fails. Records nothing: for callers that report failures their own way.
bool substituirArquivo(const std::string& caminho, const void* dados, std::size_t tamanho);

// Writes `tamanho` bytes from `dados` to a new temporary file in the folder of `caminho` (a
// local path, "/" separated) and renames it over `caminho`, with the permissions any new file
// of the user gets. Returns true on success; on failure returns false, recording why, and
// leaves neither a temporary file nor a changed `caminho` behind.
bool gravarArquivoInteiro(const std::string& caminho, const void* dados, std::size_t tamanho);

inline bool gravarArquivoInteiro(const std::string& caminho, const std::string& conteudo)
{
    return gravarArquivoInteiro(caminho, conteudo.data(), conteudo.size());
}

// Makes a write beyond the process's file-size limit (ulimit -f) fail with an error, which the
// writers above handle, instead of ending the process half-way through a file. Programs call
// it first thing.
void ignoreFileSizeSignal();

// Appends `texto` to the file `caminho` (a local path), created when missing, through the
// stream `handle`, which holds the file while it is open and is null again on return. When the
// text cannot be written whole (a full disk, a file size limit), the file is cut back to its
// earlier length, so every earlier line stays and no partial line is left. Returns false, with
// errno telling why, when the file could not be opened or the text not written.
bool anexarTexto(FILE*& handle, const std::string& caminho, const std::string& texto);

} // namespace corretor
