#pragma once

#include "swfextract/lib/ByteSpan.h"

#include <cstdint>
#include <vector>

namespace SwfExtract {

// What a character's definition refers to, read from its tag body (ID
// first). Each appends what it found, even from a body that ends early, and
// returns false when the body could not be read to the end of what matters.

// Bitmap IDs of the bitmap fills of a DefineShape 1-4 (style arrays, line
// styles with fills and the new styles inside the shape records) or a
// DefineMorphShape 1-2 (its style arrays).
bool BitmapsOfShape(std::uint16_t code, Bytes body, std::vector<std::uint16_t> &bitmaps);

} // namespace SwfExtract
