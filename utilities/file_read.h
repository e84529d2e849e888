// Files read whole, with a bound: what the system reads is never allowed to hang it or to
// take memory without limit.
#pragma once

#include <cstddef>
#include <string>

namespace corretor {

// The most bytes a mesh file may hold: far beyond any real one (a matrix file that received a
// new map on every run for a century stays well below it).
constexpr std::size_t kLimiteDeArquivoDaMalha = std::size_t{64} << 20;

// The most bytes an image file may hold: an uncompressed picture whose fourfold enlargement
// still fits the image record is far smaller.
constexpr std::size_t kLimiteDeArquivoDeImagem = std::size_t{512} << 20;

// Reads the file `caminho` (a local path) whole into `conteudo`. The file is opened without
// waiting (a FIFO with no writer does not hang the reader) and must be a regular file of at
// most `limite` bytes. Returns false otherwise, recording "não foi possível abrir|ler "<caminho>":
// <why>" (a missing file, a folder, a FIFO or a device, a file over the limit, a read error).
bool lerArquivo(const std::string& caminho, std::string& conteudo, std::size_t limite);

// The same, recording nothing: on failure `porque` holds the why alone ("não existe", "é uma
// pasta, não um arquivo comum", ...) for the caller to word, and `abriu` (when given) whether the
// file could be opened at all.
bool lerArquivo(const std::string& caminho, std::string& conteudo, std::size_t limite,
                std::string& porque, bool* abriu = nullptr);

// True when `caminho` names a regular file (links followed); otherwise false with `porque`
// holding the why alone ("não existe", "é uma pasta, não um arquivo comum", ...). For a file that
// a library will open by its name, which must not be left waiting on a FIFO or a device.
bool arquivoComum(const std::string& caminho, std::string& porque);

// The words of a failed read: "não foi possível abrir|ler "<caminho>": <porque>".
std::string naoLeu(const std::string& caminho, const std::string& porque, bool abriu);

} // namespace corretor
