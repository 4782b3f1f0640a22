#pragma once

#include "Limits.h"
#include "Result.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace NConvert {

// The whole content of a regular file no larger than limits.maxFileBytes.
Result<std::vector<std::uint8_t>> ReadFileCapped(const std::string &path, const Limits &limits);

// Writes the bytes under a temporary name beside `path` and renames it over
// `path` only once everything is written, so a failure never leaves a partial
// file nor touches an existing one.
Result<Done> WriteFileAtomically(const std::string &path, std::span<const std::uint8_t> bytes);

} // namespace NConvert
