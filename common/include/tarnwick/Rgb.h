#pragma once

#include <cstdint>

namespace Tarnwick {

// An opaque colour: what transparent pictures are laid on, and a movie's
// background.
struct Rgb
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend bool operator==(const Rgb &, const Rgb &) = default;
};

} // namespace Tarnwick
