// Exact integer geometry of mesh triangles: the one orientation test and the one in-circle test
// of the system, used by triangle location, the interpolated warp's painting, the triangulation,
// the mesh check and the drawing.
//
// Points are mesh nodes as the vertex tables hold them: x the column, y the row, both counted
// from 0 at the top-left, so y grows downward. Every product is formed in 128-bit integers:
// no pair of 32-bit coordinates can overflow it, and no test ever rounds.
//
// Winding. orientacao(u, v, w) is the sign of (v.x - u.x)(w.y - u.y) - (v.y - u.y)(w.x - u.x),
// the value with which triangle location decides about points on an edge: negative means the
// corners run counter-clockwise on screen, and such a triangle accepts the points of its edges.
#pragma once

namespace corretor {

struct Ponto
{
    int x, y;
};

inline bool operator==(Ponto a, Ponto b)
{
    return a.x == b.x && a.y == b.y;
}

// The node `no` of a vertex table (vert or vert2) as a point.
inline Ponto pontoDe(const int (*tabela)[2], int no)
{
    return Ponto{tabela[no][0], tabela[no][1]};
}

// The winding value of u, v, w (see above), exact: (v.x - u.x)(w.y - u.y) - (v.y - u.y)(w.x - u.x).
inline __int128 valorDeGiro(Ponto u, Ponto v, Ponto w)
{
    const __int128 ax = __int128{v.x} - u.x, ay = __int128{v.y} - u.y;
    const __int128 bx = __int128{w.x} - u.x, by = __int128{w.y} - u.y;
    return ax * by - ay * bx;
}

// -1, 0 or +1: the sign of the winding value of u, v, w. 0 when the three points lie on one
// line or two of them coincide.
inline int orientacao(Ponto u, Ponto v, Ponto w)
{
    const __int128 valor = valorDeGiro(u, v, w);
    return (valor > 0) - (valor < 0);
}

// True when `p` lies strictly inside the circle through a, b and c. The three must not lie on
// one line; their order does not matter. Exact for coordinates within ±2^28 (the triangulation
// refuses larger ones); beyond that the products would not fit in 128 bits.
bool dentroDoCirculo(Ponto a, Ponto b, Ponto c, Ponto p);

// True when `p` lies in the closed triangle a, b, c (edges and corners included), whatever the
// winding. The triangle must not be degenerate.
bool noTriangulo(Ponto a, Ponto b, Ponto c, Ponto p);

// True when the interiors of the two triangles share a point; triangles that only share an
// edge, part of one, or a corner do not. Neither triangle may be degenerate.
bool interioresSeCruzam(const Ponto t[3], const Ponto u[3]);

// Twice the area of the triangle, as a non-negative number (exact up to 2^53).
double dobroDaArea(Ponto a, Ponto b, Ponto c);

} // namespace corretor
