// Checking a mesh before a correction run: a workspace's files, or a mesh being built.
//
// The check finds what would make the correction go wrong in what the mesh files hold (or would
// hold). It prints nothing; each finding is worded in Portuguese, naming the file, triangle or
// nodes at fault. Coordinates are those of mesh/mesh_store.h: source mesh in the enlarged image,
// target mesh in the pattern, maps from source to target.
#pragma once

#include "authoring/mesh_value.h"

#include <string>
#include <vector>

namespace corretor {

// The least distance, in pixels, by which a stored map may miss a target vertex; at large
// coordinates, what the file's six decimals can hold allows more (desvioTolerado,
// authoring/affine_solve.h).
constexpr double kDesvioTolerado = 0.01;

enum class Problema {
    Leitura,       // a vertex or triangle file that the loader refuses
    Nos,           // vertex files of different lengths
    Indice,        // a triangle naming node 0 or a node the vertex files do not hold, or no
                   // triangle at all
    Degenerado,    // three vertices on one line or coinciding, in the source or target mesh
    Dobra,         // the winding flips between source and target mesh (fold-over)
    Sobreposicao,  // two triangles whose interiors meet in the source mesh
    MatrizAusente, // matrix files that cannot be read
    MatrizCurta,   // matrix files with fewer than six numbers
    MatrizLonga,   // matrix files with more than two lines
    NaoFinito,     // a triangle with area whose map is not finite
    Desvio,        // a map that misses its target vertices by more than desvioTolerado allows
    Sentido        // a remark, not a fault: corners clockwise on screen in the source mesh
};

struct Achado
{
    Problema tipo;
    std::string texto;
};

// The map residual of one loaded triangle: desvio() of authoring/affine_solve.h, or a note
// when it has none.
struct DesvioDoTriangulo
{
    int triangulo;
    std::string nos;   // "1 2 3"
    double desvio;     // +infinity when not finite or not computed
    std::string falta; // why there is no number ("sem mapa", ...); empty otherwise
};

struct Verificacao
{
    int nosOrigem = -1, nosDestino = -1; // -1: not read
    int triangulos = -1;                 // records of the triangle file; -1: not read
    std::vector<DesvioDoTriangulo> desvios;
    std::vector<Achado> achados;

    // Findings other than Sentido remarks.
    int problemas() const;
};

// The workspace's mesh: loads the vertex and triangle files into the mesh store (clearing it
// first) and reads the 99 matrix files of the working folder.
Verificacao verificarMalha();

// A mesh being built, as its files would hold it (malha.mapas made by gerarMapas), with no file
// read or written and the mesh store untouched.
Verificacao verificarMalha(const MalhaNova& malha);

// The words for vertex files of different lengths, '"data/verticesamp4.txt" tem <origem> nós e
// "data/vertices2.txt" tem <destino>', to which each caller adds what follows from it.
std::string nosDiferentes(int origem, int destino);

} // namespace corretor
