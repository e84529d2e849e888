// Files read whole, with a bound: what the system reads is never allowed to hang it or to
// take memory without limit.
#pragma once

#include <cstddef>
#include <functional>
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

// Told each piece of a file read block by block, in order; returns false to stop the reading.
using CadaBloco = std::function<bool(const char* bytes, std::size_t n)>;

// Reads the file `caminho` as lerArquivo does (opened without waiting, a regular file of at
// most `limite` bytes) without holding it: each piece read goes to `bloco`. Returns true at the
// end of the file; false with `porque` and `abriu` as lerArquivo gives them, or with `porque`
// empty when `bloco` stopped the reading.
bool lerEmBlocos(const std::string& caminho, std::size_t limite, const CadaBloco& bloco,
                 std::string& porque, bool* abriu = nullptr);

// The same for the open file descriptor `fd` (standard input, say), of any kind: read to its
// end, `porque` telling a read error or more than `limite` bytes.
bool lerEmBlocos(int fd, std::size_t limite, const CadaBloco& bloco, std::string& porque);

// True when `caminho` names a regular file (links followed); otherwise false with `porque`
// holding the why alone ("não existe", "é uma pasta, não um arquivo comum", ...). For a file that
// a library will open by its name, which must not be left waiting on a FIFO or a device.
bool arquivoComum(const std::string& caminho, std::string& porque);

// The words of a failed read: "não foi possível abrir|ler "<caminho>": <porque>".
std::string naoLeu(const std::string& caminho, const std::string& porque, bool abriu);

} // namespace corretor
