// The image lists of corrigir-lote on many machines: the names of a batch read as one stream
// and judged as a whole, the part of them that one machine keeps, and the results that a
// resumed batch can trust.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corretor {

// What the names of one batch may come to, so that reading them ends and their memory stays
// bounded whatever the lists hold: each list file, the names of the whole batch, and one name (a
// line of a list; a longer one could name no file). While a batch is judged, each of its names
// takes a 16-byte slot of a table of hashes kept at most three-quarters full, and only the names
// of the part kept are held as texts: for kLimiteDeNomes names the table takes at most 128 MiB
// (192 MiB for the moment it doubles).
constexpr std::size_t kLimiteDasListas = std::size_t{1} << 30;
constexpr std::size_t kLimiteDeNomes = 6000000;
constexpr std::size_t kLimiteDoNome = 4096;

// How lerLote ended.
enum class Lote {
    Lido,     // every name is sound; the part's are kept
    Ilegivel, // a list could not be read or is no list of names
    Recusado  // a name, or two together, would make the batch harm a file
};

// Reads the names of a batch, `nomes` (the command line's) and then the names of each list file
// of `listas` in turn ("-" for standard input), and keeps in `imagens`, in order, those that
// fall in part `parte` of `partes` (parteDe). A list holds one name a line, taken as it is
// (spaces included), its line end ("\n" or "\r\n") and a UTF-8 byte order mark at its start left
// out, empty lines skipped; a list file must be a regular file (standard input may be anything),
// without NUL bytes, and the names must keep within the limits above.
//
// Every name is judged, whatever part it falls in, so that every part of a batch refuses it
// alike; the batch is Recusado, with the first name at fault, when a name names no file
// (raizDoResultado, correction/batch.h), when two names would have one result in `pasta`, when
// the folder `pasta` holds one of the images (as the names' folders resolve; results never mix
// with sources), or when a result would replace the pattern or a mesh file of the workspace.
// Images of the part that are links are also followed, and refused when they lead into `pasta`.
// A result may replace a file in `pasta` that is none of those (a result of an earlier run).
// Memory grows with the hashes of the whole batch and the texts of the part, never with the
// texts of the whole batch. On Ilegivel or Recusado the reason is recorded (utilities/report.h).
Lote lerLote(const std::vector<std::string>& nomes, const std::vector<std::string>& listas,
             const std::string& pasta, int parte, int partes, std::vector<std::string>& imagens);

// Reads "K/N" (decimal, 1 <= K <= N <= 1000000) into `parte` and `partes`; false otherwise.
bool lerParte(const std::string& texto, int& parte, int& partes);

// The part, 1 to `partes`, that the image named `imagem` falls in: the 64-bit FNV-1a hash of
// the name's bytes as given, modulo `partes`, plus 1. It depends on the name alone, so it is the
// same on every machine, in every run, whatever else the list holds.
int parteDe(std::string_view imagem, int partes);

// The newest modification time, in nanoseconds, of the files `arquivos` (local paths); a file
// that cannot be examined counts as newer than any result. Read once per batch.
int64_t maisRecente(const std::vector<std::string>& arquivos);

// What --pular-existentes finds in the place of an image's result.
enum class Resultado {
    Falta,  // no file of that name
    EmDia,  // a whole result, newer than everything it was made of: passed over
    Refazer // anything else (cut short, emptied, not a JPEG, of another size, older): redone
};

// How `resultado` stands for the image `imagem`: EmDia only for a regular file modified after
// `imagem` and after `dependencias` (maisRecente of the mesh files and the pattern) that is a
// whole JPEG of `largura` x `altura` pixels, the size the correction writes: it starts with the
// start-of-image marker, ends with the end-of-image marker, and its header reads with that size.
// Reads the first 64 KiB of the file and its last two bytes.
Resultado estadoDoResultado(const std::string& imagem, const std::string& resultado,
                            int64_t dependencias, int largura, int altura);

} // namespace corretor
