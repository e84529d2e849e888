// The point files that point picking appends to (authoring/point_picking.h) and that the
// editor and the mesh drawing read back: "vertices.txt" and "vertices2.txt", one node "x y" a
// line, and the triangle point file "malha2.txt", one corner "k x y" a line (k the pick number).
//
// Unlike the loader, which takes a vertex file as a stream of numbers wherever the line breaks
// fall, these readers take a point file line by line, since a line is one pick: line r (from 0)
// is record r. The numbers are read by the loader's scanner (mesh/text_scanner.h): an optional
// sign and decimal digits fitting 32 bits, separated and surrounded by any white space. A UTF-8
// byte order mark at the start of the file belongs to no line, and neither does the "\r" of a
// "\r\n" line end.
#pragma once

#include <string>
#include <vector>

namespace corretor {

struct LinhaDePontos
{
    std::string texto; // the line, without its line end
    bool registro;     // it holds exactly the record's integers and nothing else
    int valores[3];    // those integers, in order (x, y or k, x, y); 0 when not a record
};

// Reads the point file `caminho` (a local path), whose records hold `campos` integers (2 or 3),
// whole and bounded (utilities/file_read.h, kLimiteDeArquivoDaMalha) into `linhas`, one entry a
// line; blank lines at the end of the file are left out, so a file ending in a line end has no
// empty last line. Returns false when the file cannot be read, with `porque` and `abriu` as
// lerArquivo gives them, and `linhas` empty.
bool lerArquivoDePontos(const std::string& caminho, int campos, std::vector<LinhaDePontos>& linhas,
                        std::string& porque, bool* abriu = nullptr);

} // namespace corretor
