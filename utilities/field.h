// The field circle: where the useful content of every image lies, in the pattern's pixel grid.
//
// Radius 210 about the pixel (218, 218), x the column and y the row from the top-left. A point
// belongs to the field when dist says so; for whole coordinates dentroDoCampo gives the same
// answer with integer arithmetic only, and every such point has its column and row in
// kPrimeiroDoCampo .. kUltimoDoCampo, so a pattern of at least kLadoMinimoDoCampo square holds
// the whole field.
#pragma once

#include <opencv2/core/types_c.h>

namespace corretor {

constexpr int kCentroDoCampo = 218;
constexpr int kRaioDoCampo = 210;
constexpr int kPrimeiroDoCampo = kCentroDoCampo - kRaioDoCampo + 1; // 9
constexpr int kUltimoDoCampo = kCentroDoCampo + kRaioDoCampo - 1;   // 427
constexpr int kLadoMinimoDoCampo = kUltimoDoCampo + 1;              // 428

// True when px lies strictly inside the field circle: the distance to the centre, taken in
// double and narrowed to float, is below the radius. Exact for any 32-bit coordinates.
bool dist(CvPoint px);

// dist for a point of whole coordinates: (x - 218)^2 + (y - 218)^2 < 210^2, tried on the
// square first, so it never overflows.
inline bool dentroDoCampo(int x, int y)
{
    if (x < kPrimeiroDoCampo || x > kUltimoDoCampo || y < kPrimeiroDoCampo || y > kUltimoDoCampo)
        return false;
    const int dx = x - kCentroDoCampo, dy = y - kCentroDoCampo;
    return dx * dx + dy * dy < kRaioDoCampo * kRaioDoCampo;
}

} // namespace corretor
