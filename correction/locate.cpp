#include "correction/locate.h"

#include "mesh/mesh_store.h"
#include "utilities/geometry.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace corretor {

namespace {

using Wide = __int128;

CvPoint corner(int node)
{
    return cvPoint(vert[node][1], vert[node][0]);
}

bool same(CvPoint a, CvPoint b)
{
    return a.x == b.x && a.y == b.y;
}

// floor(a / b) and ceil(a / b) for b > 0.
Wide floorDiv(Wide a, Wide b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
Wide ceilDiv(Wide a, Wide b)
{
    return -floorDiv(-a, b);
}

// Narrows [lo, hi] of the columns to those c with a*c + b >= 0.
void keepNonNegative(Wide a, Wide b, Wide& lo, Wide& hi)
{
    if (a > 0)
        lo = std::max(lo, ceilDiv(-b, a));
    else if (a < 0)
        hi = std::min(hi, floorDiv(b, -a));
    else if (b < 0)
        hi = lo - 1;
}

void paint(int8_t* indices, Wide lo, Wide hi, int8_t index)
{
    if (lo <= hi)
        std::memset(indices + static_cast<int64_t>(lo), index, static_cast<size_t>(hi - lo + 1));
}

} // namespace

// prod's edge value x*b - a*y, with (x, y) = p2 - p1 and (a, b) = pxl - p1, is the winding value
// of p1, p2, pxl (utilities/geometry.h), formed exactly.
bool prod(CvPoint p1, CvPoint p2, CvPoint pxl)
{
    return orientacao(Ponto{p1.x, p1.y}, Ponto{p2.x, p2.y}, Ponto{pxl.x, pxl.y}) >= 0;
}

bool trianguloAceita(CvPoint p1, CvPoint p2, CvPoint p3, CvPoint pxl)
{
    if (same(pxl, p1) || same(pxl, p2) || same(pxl, p3)) return true;
    const bool f1 = prod(p1, p2, pxl), f2 = prod(p2, p3, pxl), f3 = prod(p3, p1, pxl);
    return f1 == f2 && f2 == f3;
}

int triangulo(CvPoint pxl)
{
    for (int i = 0; i < kTriangulos; ++i) {
        const CvPoint p1 = corner(trg[i][0]), p2 = corner(trg[i][1]), p3 = corner(trg[i][2]);
        if (trianguloAceita(p1, p2, p3, pxl)) return i;
    }
    return -1;
}

RowLocator::RowLocator() : background_(-1)
{
    int last = kTriangulos - 1;
    for (int i = 0; i < kTriangulos; ++i) {
        const CvPoint p1 = corner(trg[i][0]), p2 = corner(trg[i][1]), p3 = corner(trg[i][2]);
        if (same(p1, p2) && same(p2, p3)) { // accepts every point: later entries never matter
            background_ = static_cast<int8_t>(i);
            last = i - 1;
            break;
        }
    }
    for (int i = last; i >= 0; --i) {
        Entry e;
        e.index = i;
        for (int k = 0; k < 3; ++k) {
            e.rows[k] = vert[trg[i][k]][1];
            e.cols[k] = vert[trg[i][k]][0];
        }
        const Wide area = Wide{e.rows[1] - e.rows[0]} * (e.cols[2] - e.cols[0]) -
                          Wide{e.rows[2] - e.rows[0]} * (e.cols[1] - e.cols[0]);
        if (area != 0) { // a true triangle accepts nothing outside the rows of its corners
            e.firstRow = std::min({e.rows[0], e.rows[1], e.rows[2]});
            e.lastRow = std::max({e.rows[0], e.rows[1], e.rows[2]});
        } else { // the points of a line: any row may hold one
            e.firstRow = INT64_MIN;
            e.lastRow = INT64_MAX;
        }
        entries_.push_back(e);
    }
}

void RowLocator::locate(int row, int width, int8_t* indices) const
{
    std::memset(indices, background_, static_cast<size_t>(width));
    for (const Entry& e : entries_) {
        if (row < e.firstRow || row > e.lastRow) continue;
        // For the edge U -> V and the point (row, c), prod's value is a*c + b with
        // a = V.row - U.row and b = -a*U.col - (row - U.row)*(V.col - U.col).
        Wide loAll = 0, hiAll = width - 1;   // all three values >= 0
        Wide loNone = 0, hiNone = width - 1; // all three values < 0, that is -a*c - b - 1 >= 0
        for (int k = 0; k < 3; ++k) {
            const int u = k, v = (k + 1) % 3;
            const Wide a = Wide{e.rows[v]} - e.rows[u];
            const Wide b = -a * e.cols[u] - (Wide{row} - e.rows[u]) * (Wide{e.cols[v]} - e.cols[u]);
            keepNonNegative(a, b, loAll, hiAll);
            keepNonNegative(-a, -b - 1, loNone, hiNone);
        }
        const int8_t index = static_cast<int8_t>(e.index);
        paint(indices, loAll, hiAll, index);
        paint(indices, loNone, hiNone, index);
        for (int k = 0; k < 3; ++k)
            if (e.rows[k] == row && e.cols[k] >= 0 && e.cols[k] < width) indices[e.cols[k]] = index;
    }
}

} // namespace corretor
