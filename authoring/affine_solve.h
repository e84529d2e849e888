// The affine map of one triangle.
//
// A triangle's map carries its three source vertices (column, row in the enlarged image) onto
// its three target vertices (column, row in the pattern), as a st_mat record:
//   x' = mat[0][0]*x + mat[0][1]*y + mat[0][2]      (target column)
//   y' = mat[1][0]*x + mat[1][1]*y + mat[1][2]      (target row)
// Each row solves the 3 x 3 system whose rows are (x, y, 1) of the source vertices, with the
// target x, then the target y, as right-hand side.
#pragma once

#include "mesh/mesh_store.h"
#include "utilities/geometry.h"

namespace corretor {

// How far, in pixels, a generated map may carry a source vertex from its target vertex.
constexpr double kDesvioAceito = 1e-3;

// The generator's own elimination: Gaussian elimination on the augmented 3 x 4 system, no row
// exchanges, every entry a 32-bit float (see affine_solve.cpp for the exact order). Fills
// `mapa` whatever happens and returns false when a pivot was zero, in which case `mapa` holds
// infinities or not-a-numbers.
bool eliminarSemTrocas(const Ponto origem[3], const Ponto destino[3], st_mat& mapa);

// The same system solved in double with partial pivoting, each coefficient stored as float.
// The source triangle must not be degenerate.
void eliminarComPivo(const Ponto origem[3], const Ponto destino[3], st_mat& mapa);

// The largest distance, in pixels, between `mapa` applied (in double) to a source vertex and
// the matching target vertex. +infinity when `mapa` holds a non-finite value.
double desvio(const st_mat& mapa, const Ponto origem[3], const Ponto destino[3]);

// How far a stored map may miss the target vertices of the source triangle `origem` without
// being wrong: what the generator accepts (kDesvioAceito) plus what its file can hold. A matrix
// file keeps six decimals of each coefficient ("%f", so each is off by up to 5e-7) and the
// loader reads them into floats (each off by up to 6e-8 of itself), so at a vertex (x, y) the
// map's image may be off by up to 5e-7 (|x| + |y| + 1) + 6e-8 (|a x| + |b y| + |c|) on each
// axis. Never less than `piso`. For an enlarged capture some thousands of pixels wide this is
// a few hundredths of a pixel; a map that is wrong misses by far more.
double desvioTolerado(const st_mat& mapa, const Ponto origem[3], double piso);

enum class Solucao {
    Eliminacao, // the generator's elimination, as it is
    ComTrocas,  // it failed (zero pivot, or vertices not carried within kDesvioAceito);
                // solved again with row exchanges
    SemMapa     // degenerate source triangle: `mapa` is all not-a-number
};

// The map that the generator writes for one triangle: the elimination without row exchanges
// where it carries the vertices within kDesvioAceito, the pivoting solve where it does not
// (whichever carries them better if neither does), no map for a degenerate source triangle.
// `erro` receives desvio() of the chosen map (+infinity without a map).
Solucao mapaDoTriangulo(const Ponto origem[3], const Ponto destino[3], st_mat& mapa, double& erro);

} // namespace corretor
