// The console of the correction run: the typed image name, the warp's progress line and the
// wait at the end.
#pragma once

#include <cstddef>
#include <cstdio>

namespace corretor {

// Reads one word delimited by white space from `entrada` into `nome`, which holds `capacidade`
// characters with the terminator. Returns false, recording why, when the input ends before a
// word or the word does not fit; `nome` then holds an empty string.
bool lerPalavra(std::FILE* entrada, char* nome, std::size_t capacidade);

// Shows the warp's progress line, "%d %c" with `valor` and '%'. On a terminal the screen is
// cleared once and the line is then redrawn in place; otherwise each line is preceded by "\r".
void mostrarProgresso(int valor);

// Waits for a key when standard input is a terminal, after a line saying so; when it is not a
// terminal (a piped run), returns at once.
void pausar();

} // namespace corretor
