#pragma once

#include "swfextract/lib/ByteSpan.h"

#include <vector>

namespace SwfExtract {

enum class PayloadKind { Jpeg, Png, Gif, Unknown };

// What the image data of a DefineBitsJPEG2/3/4 really is, by its first bytes.
PayloadKind DetectPayload(Bytes data);

// A file's content as consecutive pieces of the movie (and of constant
// bytes), so that repairs never copy picture data.
using Pieces = std::vector<Bytes>;

std::size_t TotalSize(const Pieces &pieces);

// Repairs JPEG data as Flash writers leave it: every EOI+SOI pair
// (FF D9 FF D8) before the frame header is cut out, marker by marker (the
// same four bytes inside an APP segment stay), and a missing final EOI is
// added.
Pieces NormaliseJpeg(Bytes data);

// One JPEG from the shared JPEGTables and a DefineBits image: the tables
// without their EOI followed by the image without its SOI. Tables shorter
// than an SOI+EOI pair are left out.
Pieces MergeJpegTables(Bytes tables, Bytes image);

} // namespace SwfExtract
