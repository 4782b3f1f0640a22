#include "swfextract/lib/ObjectClass.h"
#include "swfextract/lib/TagCode.h"

#include <string>

namespace SwfExtract {

const char *TagName(std::uint16_t code)
{
    switch (TagCode(code)) {
    case TagCode::End: return "End";
    case TagCode::ShowFrame: return "ShowFrame";
    case TagCode::DefineShape: return "DefineShape";
    case TagCode::DefineBits: return "DefineBits";
    case TagCode::JpegTables: return "JPEGTables";
    case TagCode::DefineSound: return "DefineSound";
    case TagCode::SoundStreamHead: return "SoundStreamHead";
    case TagCode::SoundStreamBlock: return "SoundStreamBlock";
    case TagCode::DefineBitsLossless: return "DefineBitsLossless";
    case TagCode::DefineBitsJpeg2: return "DefineBitsJPEG2";
    case TagCode::DefineBitsJpeg3: return "DefineBitsJPEG3";
    case TagCode::DefineBitsLossless2: return "DefineBitsLossless2";
    case TagCode::DefineSprite: return "DefineSprite";
    case TagCode::SoundStreamHead2: return "SoundStreamHead2";
    case TagCode::DefineBitsJpeg4: return "DefineBitsJPEG4";
    case TagCode::DefineShape2: return "DefineShape2";
    case TagCode::DefineShape3: return "DefineShape3";
    case TagCode::DefineShape4: return "DefineShape4";
    case TagCode::DefineMorphShape: return "DefineMorphShape";
    case TagCode::DefineMorphShape2: return "DefineMorphShape2";
    case TagCode::DefineButton: return "DefineButton";
    case TagCode::DefineButton2: return "DefineButton2";
    case TagCode::PlaceObject: return "PlaceObject";
    case TagCode::PlaceObject2: return "PlaceObject2";
    case TagCode::PlaceObject3: return "PlaceObject3";
    case TagCode::DefineVideoStream: return "DefineVideoStream";
    case TagCode::VideoFrame: return "VideoFrame";
    default: break;
    }
    thread_local std::string other;
    other = "tag " + std::to_string(code);
    return other.c_str();
}

std::optional<ObjectClass> ClassOfTag(std::uint16_t code)
{
    switch (TagCode(code)) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4: return ObjectClass::Shape;
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2: return ObjectClass::MorphShape;
    case TagCode::DefineBits:
    case TagCode::DefineBitsJpeg2:
    case TagCode::DefineBitsJpeg3:
    case TagCode::DefineBitsJpeg4: return ObjectClass::Jpeg;
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2: return ObjectClass::Png;
    case TagCode::DefineSound: return ObjectClass::Sound;
    case TagCode::DefineSprite: return ObjectClass::MovieClip;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3:
    case TagCode::DefineFont4: return ObjectClass::Font;
    case TagCode::DefineText:
    case TagCode::DefineText2:
    case TagCode::DefineEditText: return ObjectClass::Text;
    case TagCode::DefineButton:
    case TagCode::DefineButton2: return ObjectClass::Button;
    case TagCode::DefineVideoStream: return ObjectClass::Video;
    case TagCode::DefineBinaryData: return ObjectClass::BinaryData;
    default: return std::nullopt;
    }
}

} // namespace SwfExtract
