#pragma once

#include <cstdint>
#include <optional>

namespace SwfExtract {

// The kinds of character a movie defines, in listing order.
enum class ObjectClass {
    Shape,
    MorphShape,
    Jpeg,
    Png,
    Sound,
    MovieClip,
    Font,
    Text,
    Button,
    Video,
    BinaryData,
};

// The class a defining tag belongs to; nullopt for tags that define nothing.
std::optional<ObjectClass> ClassOfTag(std::uint16_t code);

} // namespace SwfExtract
