#include "utilities/geometry.h"

namespace corretor {

namespace {

using Inteiro = __int128;

int sinal(Inteiro v)
{
    return (v > 0) - (v < 0);
}

// True when every corner of `u` lies on the outer closed side of some edge of `t`, that is
// when that edge's line separates the two triangles.
bool separadosPorArestaDe(const Ponto t[3], const Ponto u[3])
{
    const int lado = orientacao(t[0], t[1], t[2]);
    for (int e = 0; e < 3; ++e) {
        const Ponto a = t[e], b = t[(e + 1) % 3];
        bool separa = true;
        for (int k = 0; k < 3 && separa; ++k)
            separa = lado * orientacao(a, b, u[k]) <= 0;
        if (separa) return true;
    }
    return false;
}

} // namespace

bool dentroDoCirculo(Ponto a, Ponto b, Ponto c, Ponto p)
{
    // The classic lifted determinant, with p as origin:
    //   | ax ay ax²+ay² |
    //   | bx by bx²+by² |  > 0  when a, b, c wind positively and p is inside.
    //   | cx cy cx²+cy² |
    // With coordinates within ±2^28 the differences need 30 bits, the squared lengths and the
    // 2x2 minors 61, their products 122: inside the 127 bits of the signed 128-bit integer.
    const Inteiro ax = Inteiro(a.x) - p.x, ay = Inteiro(a.y) - p.y;
    const Inteiro bx = Inteiro(b.x) - p.x, by = Inteiro(b.y) - p.y;
    const Inteiro cx = Inteiro(c.x) - p.x, cy = Inteiro(c.y) - p.y;
    const Inteiro a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const Inteiro det =
        a2 * (bx * cy - by * cx) - b2 * (ax * cy - ay * cx) + c2 * (ax * by - ay * bx);
    return sinal(det) * orientacao(a, b, c) > 0;
}

bool noTriangulo(Ponto a, Ponto b, Ponto c, Ponto p)
{
    const int lado = orientacao(a, b, c);
    return lado * orientacao(a, b, p) >= 0 && lado * orientacao(b, c, p) >= 0 &&
           lado * orientacao(c, a, p) >= 0;
}

bool interioresSeCruzam(const Ponto t[3], const Ponto u[3])
{
    // Two convex polygons whose interiors are disjoint are separated by the line of one of
    // their edges; for triangles that leaves six lines to try.
    return !separadosPorArestaDe(t, u) && !separadosPorArestaDe(u, t);
}

double dobroDaArea(Ponto a, Ponto b, Ponto c)
{
    const Inteiro v = valorDeGiro(a, b, c);
    return static_cast<double>(v < 0 ? -v : v);
}

} // namespace corretor
