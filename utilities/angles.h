// Angles: the one value of pi, and the turns between degrees and radians.
#pragma once

namespace corretor {

constexpr double kPi = 3.14159265358979323846;

constexpr double emRadianos(double graus)
{
    return graus * kPi / 180;
}

constexpr double emGraus(double radianos)
{
    return radianos * 180 / kPi;
}

} // namespace corretor
