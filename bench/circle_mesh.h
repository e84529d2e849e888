// A mesh for the benchmarks: 63 nodes on rings over the circular field of an enlarged image of
// the given size, Delaunay triangles (98 of them), and for each triangle the affine map onto
// the same nodes laid over the pattern's field circle with a gentle distortion. Written
// straight into the mesh store.
#pragma once

namespace bancada {

// Returns the number of triangles written.
int preencherMalhaCircular(int largura, int altura);

} // namespace bancada
