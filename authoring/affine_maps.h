// Affine map generation: the 99 matrix files from the mesh store.
//
// gerarMatriz reads the source mesh vert, the target mesh vert2 and the triangle list trg
// (mesh/mesh_store.h; they must be loaded) and, for every slot t = 0 to 98 in order, writes
// the map of triangle t to "matrix\<t>.txt" as two lines "%f %f %f\n": a b c, then d e f, with
// target column = a*x + b*y + c and target row = d*x + e*y + f for a source point (x, y). It
// prints "ttt = <t>\n" for every slot on standard output. It owns the file it has open, held in
// fw, and closes it before going on. The folder "matrix" must exist.
//
// The map is the one of mapaDoTriangulo (authoring/affine_solve.h): the generator's elimination
// without row exchanges, solved again with row exchanges where that fails a sound triangle.
// A triangle whose source vertices lie on one line or coincide has no map: its file gets
// "nan nan nan" twice, which the loader reads back as non-finite and through which the warp
// places no pixel, and a warning naming it goes to standard error. Empty slots (0 0 0) are
// such triangles too; they share one warning.
#pragma once

#include "authoring/mesh_value.h"

#include <cstdio>
#include <string>
#include <vector>

namespace corretor {

// The file that gerarMatriz has open at the moment; null otherwise.
extern FILE* fw;

// The texts of the 99 matrix files as above, slot 0 first, for the triangles of `malha` (the
// slots past them empty), with the warnings; the "ttt = <t>" lines are gerarMatriz's.
std::vector<std::string> textosDosMapas(const MalhaNova& malha);

// Writes the 99 matrix files as above, through the path every mesh is written by
// (authoring/mesh_value.h), and returns how many received their new map. Without `substituir`
// each file is appended to (anexarMapas), so its earlier content stays before the new lines (and
// the loader keeps reading the earlier map); a file that cannot be written keeps every earlier
// line and is skipped, and the run goes on with the next slot. With `substituir` the files are
// replaced all together or not at all (gravarMalha), so an interrupted or failed run leaves the
// earlier mesh whole. On any failure houveFalha() is true and the recorded reason names the
// first file at fault and how many files got their new map.
int gerarMatriz(bool substituir = false);

} // namespace corretor
