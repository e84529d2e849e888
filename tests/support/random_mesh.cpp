#include "tests/support/random_mesh.h"

#include "mesh/mesh_store.h"

#include <cmath>

namespace teste {

using namespace corretor;

namespace {

int pick(std::mt19937& random, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(random);
}

float randomMapValue(std::mt19937& random, int row, int column)
{
    switch (pick(random, 0, 19)) {
    case 0:
        return NAN;
    case 1:
        return pick(random, 0, 1) ? INFINITY : -INFINITY;
    case 2:
        return column == 2 ? 3e9f : 1e6f; // beyond the 32-bit range
    case 3:
        return 0.0f; // everything onto one line or place
    default:
        break;
    }
    if (column == 2) return std::uniform_real_distribution<float>(-50.f, 400.f)(random);
    const bool diagonal = row == column;
    const float scale = pick(random, 0, 3) == 0 ? 0.05f : 1.0f; // shrink: many collisions
    return scale * (diagonal ? std::uniform_real_distribution<float>(0.3f, 4.f)(random)
                             : std::uniform_real_distribution<float>(-1.f, 1.f)(random));
}

} // namespace

void fillRandomMesh(std::mt19937& random, const MeshShape& shape)
{
    limparMalha();
    const int step = pick(random, 2, 12);
    for (int k = 1; k < kNos; ++k) {
        vert[k][0] = step * pick(random, -2, shape.width / step + 2);
        vert[k][1] = step * pick(random, -2, shape.height / step + 2);
        vert2[k][0] = pick(random, 0, 436);
        vert2[k][1] = pick(random, 0, 436);
    }
    const int loaded = shape.allLoaded ? kTriangulos : pick(random, 0, kTriangulos - 1);
    for (int t = 0; t < loaded; ++t) {
        int a = pick(random, 1, kNos - 1), b = pick(random, 1, kNos - 1),
            c = pick(random, 1, kNos - 1);
        const int kind = pick(random, 0, 99);
        if (kind < 5) {
            b = a; // two corners coincide
        } else if (kind < 6) {
            b = c = a; // all three coincide: accepts every point, later entries never count
        } else if (kind < 12) { // three corners on one line
            vert[c][0] = 2 * vert[b][0] - vert[a][0];
            vert[c][1] = 2 * vert[b][1] - vert[a][1];
        } else if (kind < 16) {
            a = 0; // the reserved node (0, 0)
        }
        trg[t][0] = a, trg[t][1] = b, trg[t][2] = c;
    }
    for (int t = 0; t < kTriangulos; ++t)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                matrix[t].mat[r][c] = randomMapValue(random, r, c);
}

} // namespace teste
