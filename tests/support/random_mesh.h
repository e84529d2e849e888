// Test support: random meshes written straight into the mesh store, with every quirk that
// triangle location and the warp must get right.
#pragma once

#include <random>

namespace teste {

struct MeshShape
{
    int width = 64, height = 48; // the enlarged image the mesh lies over
    bool allLoaded = false;      // all 99 entries hold triangles (no empty entry accepts all)
};

// Clears the store and fills it: nodes on a coarse grid (so that many pixels lie on edges and
// corners) with some outside the image, triangles of both windings, entries with coincident or
// collinear corners, a few empty entries unless allLoaded, and maps that are mostly tame but
// include huge, non-finite and strongly shrinking ones (many pixels landing on one place).
void fillRandomMesh(std::mt19937& random, const MeshShape& shape);

} // namespace teste
