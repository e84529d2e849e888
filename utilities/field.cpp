#include "utilities/field.h"

#include <cmath>
#include <cstdint>

namespace corretor {

bool dist(CvPoint px)
{
    const int64_t dx = int64_t{px.x} - kCentroDoCampo, dy = int64_t{px.y} - kCentroDoCampo;
    // Each square is below 2^63, so their sum fits in 64 unsigned bits.
    const uint64_t s = static_cast<uint64_t>(dx * dx) + static_cast<uint64_t>(dy * dy);
    const float distancia = static_cast<float>(std::sqrt(static_cast<double>(s)));
    return distancia < kRaioDoCampo;
}

} // namespace corretor
