// The picks of one "malha editar" session, kept beside the point picking callbacks so that
// each can be numbered on its picture, undone from its file, and drawn again.
//
// Points are pixels of the image they were picked on (x the column, y the row, from the
// top-left): img, the image enlarged four times, or img2, the pattern (correction/driver.h).
#pragma once

#include <opencv2/core/core_c.h>

#include <string>
#include <vector>

namespace corretor {

struct Marcacao
{
    bool noPadrao;       // picked on img2 (else on img)
    char modo;           // the editor's mode key: 'n' nodes, 't' triangle corners, 'p' points
    CvPoint ponto;       // where, in the picked image
    std::string arquivo; // the file that got its line ("" for none)
    std::string linha;   // that line, line end included
    int numero;          // its number on the picture: the line's number in the file, from 1
    int raio;            // the marker's radius
    bool daSessao;       // picked in this session (else read from the file at start)
};

// The picks in order: those read at start from "vertices.txt" (image, nodes), "vertices2.txt"
// and "malha2.txt" (pattern, nodes and corners), then this session's.
extern std::vector<Marcacao> marcacoes;

// Reads the three pick files of the working directory into `marcacoes` with the point file
// reader (mesh/point_file.h): a missing file holds none; lines that are not records are
// skipped, and a byte order mark at the start of a file is passed over.
void lerMarcacoesDosArquivos();

// The number the next pick of `modo` on the given image gets: one more than the picks its
// file holds (for points, than this session's points on the image).
int proximoNumero(bool noPadrao, char modo);

// Nodes picked so far on the image and on the pattern (the lines of the two vertex files).
int nosNaImagem();
int nosNoPadrao();

// Draws the pick's number beside its marker, in yellow on a dark rim.
void numerar(IplImage* image, const Marcacao& m);

// Removes the last pick of this session made in `modo`: its line from the end of its file
// (only when the file still ends with exactly that line; a whole line, never part of one), its
// point from seq or seq2, and the count it advanced (t_count2 for the pattern's nodes and
// corners, count for points). Returns false, with `motivo` set, when there is none or the file
// no longer ends with its line (then nothing changes); `desfeita` gets the removed pick.
bool desfazerUltima(char modo, Marcacao& desfeita, std::string& motivo);

// Draws every pick in `marcacoes` on img and img2: marker and number.
void desenharMarcacoes();

} // namespace corretor
