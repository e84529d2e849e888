// The image lists of corrigir-lote on many machines: names read from a list file, the part of
// a list that one machine takes, and the images whose results are already up to date.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corretor {

// The most bytes a list file may hold: some million names.
constexpr std::size_t kLimiteDaLista = std::size_t{256} << 20;

// Appends to `imagens` the names of the list file `arquivo`, "-" for standard input: one name
// a line, taken as it is (spaces included), the line end ("\n" or "\r\n") left out, empty lines
// skipped. The file must be a regular file (standard input may be anything) of at most
// kLimiteDaLista bytes, without NUL bytes. Returns false, recording why, otherwise.
bool lerLista(const std::string& arquivo, std::vector<std::string>& imagens);

// Reads "K/N" (decimal, 1 <= K <= N <= 1000000) into `parte` and `partes`; false otherwise.
bool lerParte(const std::string& texto, int& parte, int& partes);

// The part, 1 to `partes`, that the image named `imagem` falls in: the 64-bit FNV-1a hash of
// the name's bytes as given, modulo `partes`, plus 1. It depends on the name alone, so it is the
// same on every machine, in every run, whatever else the list holds.
int parteDe(const std::string& imagem, int partes);

// The newest modification time, in nanoseconds, of the files `arquivos` (local paths); a file
// that cannot be examined counts as newer than any result. Read once per batch.
int64_t maisRecente(const std::vector<std::string>& arquivos);

// True when `resultado` is a regular file modified after `imagem` and after `dependencias`
// (maisRecente of the mesh files and the pattern): the image's correction is up to date.
bool resultadoEmDia(const std::string& imagem, const std::string& resultado, int64_t dependencias);

} // namespace corretor
