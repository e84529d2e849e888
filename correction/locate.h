// Triangle location: which triangle of the source mesh holds a pixel of the enlarged image.
//
// Order of coordinates: the point handed to triangulo carries the pixel's row in x and its
// column in y, and the corners are built the same way from the mesh (x = a node's second
// number, the row; y = its first number, the column). prod works on whatever x and y it gets.
//
// The rule, for entry i = 0 .. 98 of the triangle list in order: a point equal to one of the
// entry's three corners is accepted at once; otherwise it is accepted when the three side flags
// prod(p1, p2, P), prod(p2, p3, P), prod(p3, p1, P) are all true or all false. So both windings
// are accepted; edge points only when all three flags are true there; an entry whose corners
// coincide accepts every point (every empty entry names node 0 three times); an entry whose
// corners lie on one line accepts the points of that line. -1 when no entry accepts.
#pragma once

#include <opencv2/core/types_c.h>

#include <cstdint>
#include <vector>

namespace corretor {

// Side flag of pxl against the directed edge p1 -> p2: true when
// (p2.x - p1.x)(pxl.y - p1.y) - (pxl.x - p1.x)(p2.y - p1.y) >= 0. The value is formed exactly,
// so it is right for any 32-bit coordinates.
bool prod(CvPoint p1, CvPoint p2, CvPoint pxl);

// The rule of one entry: true when `pxl` equals a corner, or when the side flags
// prod(p1, p2, pxl), prod(p2, p3, pxl), prod(p3, p1, pxl) are all true or all false. The
// points must all be in one order; triangulo gives them as (row, column).
bool trianguloAceita(CvPoint p1, CvPoint p2, CvPoint p3, CvPoint pxl);

// The first entry of the triangle list that accepts `pxl` (row in x, column in y), or -1.
// The plain scan over all 99 entries: the definition that every faster search must equal.
int triangulo(CvPoint pxl);

// The same answer for every column of one row at once, from the mesh store as it stands when
// the locator is made. Every index fits in int8_t (-1 .. 98).
class RowLocator
{
public:
    RowLocator();

    // Fills indices[c] = triangulo((x = row, y = c)) for c = 0 .. width - 1.
    void locate(int row, int width, int8_t* indices) const;

private:
    struct Entry
    {
        int index;
        int64_t rows[3], cols[3];  // corners as (row, column)
        int64_t firstRow, lastRow; // rows outside this range accept nothing
    };
    std::vector<Entry> entries_; // entries that can matter, from the last to the first
    int8_t background_;          // the first entry that accepts every point, or -1
};

} // namespace corretor
