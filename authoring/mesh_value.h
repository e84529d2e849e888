// A mesh being built is a value: its nodes, its triangles and the texts of its maps, in memory.
// Triangulation, map generation, the check (authoring/mesh_check.h) and writing are functions
// of it; none of them touches the process-wide mesh store or the working folder, except where
// said. Every program that writes mesh files ("malha triangular", "matrizes", "calibrar",
// "refinar", the demo) writes them through gravarMalha or anexarMapas below.
//
// Coordinates are those of mesh/mesh_store.h: node k (from 1) is origem[k - 1] in the picture
// enlarged four times (the source mesh) and destino[k - 1] in the pattern (the target mesh).
// Node 0, and a node number beyond the lists, stand for (0, 0), as the loader leaves the tables.
#pragma once

#include "authoring/triangulation.h"
#include "utilities/geometry.h"

#include <opencv2/core/types.hpp>

#include <string>
#include <vector>

namespace corretor {

struct Verificacao;

struct MalhaNova
{
    std::vector<cv::Point> origem;     // source nodes; as many as destino
    std::vector<cv::Point> destino;    // target nodes, at most 63
    std::vector<Triangulo> triangulos; // node numbers, in the order of the triangle file
    std::vector<std::string> mapas;    // the 99 matrix file texts, slot 0 first; empty until made

    Ponto noDeOrigem(int k) const;
    Ponto noDeDestino(int k) const;
};

// The mesh files, as bits of a set.
enum Parte : unsigned {
    kVerticesDeOrigem = 1,  // "data\verticesamp4.txt"
    kVerticesDeDestino = 2, // "data\vertices2.txt"
    kTriangulosDaMalha = 4, // "data\quelvarina.txt"
    kMapas = 8,             // "matrix\0.txt" to "matrix\98.txt"
    kTodaAMalha = 15
};

// The value of what the mesh store holds: all 63 nodes of each table and all 99 triangle slots
// (empty ones as 0 0 0), no maps. For the defined operations that work on the store.
MalhaNova malhaDasTabelas();

// Reads the vertex files of the working folder and, with `comTriangulos`, its triangle file,
// through the loader (mesh/mesh_store.h, which fills the store as it reads), into `malha`; the
// nodes of both files are kept, however many each holds. False, reason recorded, when a file
// cannot be read.
bool lerMalhaDaPasta(MalhaNova& malha, bool comTriangulos);

// The Delaunay triangles of the nodes into malha.triangulos (authoring/triangulation.h).
// False, reason recorded, when the lists differ in length, hold more than 63 nodes, or the
// triangulation refuses them or gives more than 99 triangles.
bool triangular(MalhaNova& malha);

// The 99 map texts into malha.mapas (textosDosMapas, authoring/affine_maps.h), with its warnings.
void gerarMapas(MalhaNova& malha);

// The text of a vertex file: one "x y" line for each node, in order.
std::string textoDosNos(const std::vector<cv::Point>& nos);

// Replaces the files of `partes` (bits of Parte) in the folder `pasta` ("" for the working
// folder) all together or not at all (gravarArquivosJuntos, utilities/whole_file.h), creating
// the folders `pasta` (its parent must exist), "data" and "matrix" when missing. The maps must have
// been made when they are written. False, reason recorded, when anything could not be written;
// nothing is then changed.
bool gravarMalha(const MalhaNova& malha, unsigned partes, const std::string& pasta = "");

// Appends each map text to its matrix file in `pasta`, each file whole or not at all (a file
// that cannot be written keeps every earlier line and is skipped), creating the folders `pasta`
// and "matrix" when missing. Returns how many files received their map; on any failure the reason
// recorded names the first file at fault and how many got their map.
int anexarMapas(const MalhaNova& malha, const std::string& pasta = "");

// Checks the whole mesh (verificarMalha of the value, authoring/mesh_check.h) into
// `verificacao` and, when no problem was found, writes the files of `partes` with gravarMalha.
// False, reason recorded, when the check found a problem or the files could not be written;
// nothing is then changed.
bool verificarEGravar(const MalhaNova& malha, unsigned partes, Verificacao& verificacao,
                      const std::string& pasta = "");

// Fills the mesh store with the mesh as the loader would read it from its files: the nodes,
// the triangles (slots past them empty) and the maps read from their texts. For a correction of
// the mesh in memory (authoring/mesh_quality.h).
void carregarNasTabelas(const MalhaNova& malha);

} // namespace corretor
