#pragma once

#include <cmath>

namespace Tools {

// Rounds to the nearest integer with ties going to the even one (2.5 -> 2,
// 7.5 -> 8), the rounding the quality and progress arithmetic is defined with.
inline double RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

} // namespace Tools
