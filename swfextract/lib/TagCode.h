#pragma once

#include <cstdint>

namespace SwfExtract {

// Tag codes this extractor knows by name; any other code is skipped by its
// length. Gaps are codes that no tool we know writes.
enum class TagCode : std::uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    FreeCharacter = 3, // not in the published format; FFmpeg writes it
    PlaceObject = 4,
    RemoveObject = 5,
    DefineBits = 6,
    DefineButton = 7,
    JpegTables = 8,
    SetBackgroundColor = 9,
    DefineFont = 10,
    DefineText = 11,
    DoAction = 12,
    DefineFontInfo = 13,
    DefineSound = 14,
    StartSound = 15,
    // 16 unused
    DefineButtonSound = 17,
    SoundStreamHead = 18,
    SoundStreamBlock = 19,
    DefineBitsLossless = 20,
    DefineBitsJpeg2 = 21,
    DefineShape2 = 22,
    DefineButtonCxform = 23,
    Protect = 24,
    // 25 unused
    PlaceObject2 = 26,
    // 27 unused
    RemoveObject2 = 28,
    // 29 to 31 unused
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineButton2 = 34,
    DefineBitsJpeg3 = 35,
    DefineBitsLossless2 = 36,
    DefineEditText = 37,
    // 38 unused
    DefineSprite = 39,
    // 40 to 42 unused
    FrameLabel = 43,
    // 44 unused
    SoundStreamHead2 = 45,
    DefineMorphShape = 46,
    // 47 unused
    DefineFont2 = 48,
    // 49 to 55 unused
    ExportAssets = 56,
    ImportAssets = 57,
    EnableDebugger = 58,
    DoInitAction = 59,
    DefineVideoStream = 60,
    VideoFrame = 61,
    DefineFontInfo2 = 62,
    // 63 to 68 unused
    FileAttributes = 69,
    PlaceObject3 = 70,
    ImportAssets2 = 71,
    // 72 to 74 unused
    DefineFont3 = 75,
    SymbolClass = 76,
    Metadata = 77,
    // 78 to 81 unused
    DoAbc = 82,
    DefineShape4 = 83,
    DefineMorphShape2 = 84,
    // 85 unused
    DefineSceneAndFrameLabelData = 86,
    DefineBinaryData = 87,
    DefineFontName = 88,
    StartSound2 = 89,
    DefineBitsJpeg4 = 90,
    DefineFont4 = 91,
};

// The tag's name for messages ("DefineBitsJPEG2"), or "tag N".
const char *TagName(std::uint16_t code);

} // namespace SwfExtract
