#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace SwfExtract {

using Bytes = std::span<const std::uint8_t>;

} // namespace SwfExtract
