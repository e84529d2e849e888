// The mesh store: the correction mesh for the whole run, and its loader.
//
// Coordinate spaces. A node k (1 to 63) has two positions with one common numbering:
//   vert[k]  (source mesh): column, row in the image that the warp receives, that is the
//            image to correct after it has been enlarged twice by two (four times its size);
//   vert2[k] (target mesh): column, row in the pattern image "data\pattern.jpg".
// Node 0 is reserved and always (0, 0). trg[t] holds the three node numbers of triangle t
// (0 to 98); entries that the triangle file does not fill stay (0, 0, 0). matrix[t] is the
// affine map of triangle t, from source to target:
//   x' = mat[0][0]*x + mat[0][1]*y + mat[0][2]     (target column)
//   y' = mat[1][0]*x + mat[1][1]*y + mat[1][2]     (target row)
// The tables are zero at start, filled once by the loader and only read afterwards.
//
// Files (names relative to the working directory, "\" mapped to "/" by caminhoLocal):
//   "data\verticesamp4.txt", "data\vertices2.txt"  vertex files: "%d %d" pairs, at most 63;
//   "data\quelvarina.txt"                            triangle file: "%d %d %d" records, at most
//                                                    99, node numbers 0 to 63;
//   "matrix\<t>.txt", t = 0 to 98                    matrix files: the first six real numbers
//                                                    are rows 0 and 1 of matrix[t].
// Numbers are separated by any white space. A last record that is cut short still counts; the
// values it lacks stay as they were.
//
// Errors: a loader that meets a file it cannot read (missing, not a regular file, over
// kLimiteDeArquivoDaMalha), a token that is not a number, a number beyond 32 bits, more records
// than its table holds or a node number outside 0 to 63 records the file, line and problem
// (utilities/report.h), stops, and leaves no entry beyond its table. A UTF-8 byte order mark at
// the start of any mesh file is passed over.
#pragma once

#include <cstdio>
#include <string>

namespace corretor {

struct st_mat
{
    float mat[2][3];
};

constexpr int kNos = 64;        // entries of vert and vert2, node 0 included
constexpr int kTriangulos = 99; // entries of trg and matrix

extern int vert[kNos][2];
extern int vert2[kNos][2];
extern int trg[kTriangulos][3];
extern st_mat matrix[kTriangulos];

// The matrix file name built last by nomeArquivo, with "\" as the separator.
extern char arq3[20];

// A process-wide stream handle: the file that point picking appends a source node to
// (authoring/point_picking.h). The loader reads every file whole and bounded instead
// (utilities/file_read.h), so that a FIFO or an endless file never hangs it.
extern FILE* fp;

// Fills vert, vert2, matrix and trg from their files, in that order. Returns true exactly
// when the triangle file held 64 records (the driver prompts only when it is false). On error
// it returns false and houveFalha() is true; the tables then hold what was read before it.
bool carregaVetorVertices();

// The parts of carregaVetorVertices, each usable on its own. carregarVertices reads both
// vertex files; carregarTriangulos returns the number of records read, or -1 on error;
// carregarMatrizes reads the 99 matrix files, warning about short or garbled ones.
bool carregarVertices();
int carregarTriangulos();
// carregarVertices that also tells how many pairs each vertex file held (a last pair cut
// short counts); a file that could not be read gives -1, and the target file is not read
// after the source file failed.
bool carregarVertices(int& nosOrigem, int& nosDestino);
bool carregarMatrizes();

// Reads the matrix file of triangle t (0 to 98) into matrix[t], as carregarMatrizes does.
bool carregarMatriz(int t);

// Reads the first six numbers of the text of a matrix file (`nome` in messages) into `m`, as the
// loader reads a matrix file: zeros after the last one read. Returns how many of the six were
// numbers; when fewer, `motivo` tells where and why the reading stopped.
int lerCoeficientes(const std::string& texto, const std::string& nome, st_mat& m,
                    std::string& motivo);

// Writes "matrix\" + n in decimal + ".txt" into arq3, cut short rather than overflowing it.
void nomeArquivo(int n);

// Prints vert[0..63] ("%d %d\n"), two empty lines, then trg[0..98] ("%d %d %d\n"). A dump for
// hosts that inspect the store; no program calls it, only the tests.
void mostrarVertices();

// carregaVetorVertices for the workspace in the folder `pasta` instead of the working directory:
// the same files under it, the same checks and result; messages name the files with the
// folder. The working directory is neither used nor changed.
bool carregarMalhaDe(const std::string& pasta);

// The mesh as every correction reads it: carregaVetorVertices ("." for the working directory) or
// carregarMalhaDe(pasta), under the workspace's shared lock (utilities/workspace_lock.h), so
// that no writer replaces it half way through the reading, and never while a replacement was
// cut short (malhaCompleta, mesh/paths.h). Returns false, reason recorded, when it could not be
// read whole; `semPrompt`, when given, gets the loader's answer (true for 64 triangle records).
bool lerMalhaDaAreaDeTrabalho(const std::string& pasta = ".", bool* semPrompt = nullptr);

// The four tables as one value, for a host that keeps several meshes in one process and puts
// each into the store in turn (correction/loaded_mesh.h).
struct TabelasDaMalha
{
    int vert[kNos][2];
    int vert2[kNos][2];
    int trg[kTriangulos][3];
    st_mat matrix[kTriangulos];
};

// A copy of the store's tables; the store filled from a copy.
TabelasDaMalha copiarMalha();
void colocarMalha(const TabelasDaMalha& tabelas);

// Sets every table back to zero, as at start. For tools and tests that load more than once.
void limparMalha();

} // namespace corretor
