#pragma once

#include "lib/Picture.h"

#include <QtGlobal>

class QString;

namespace Pipeline {

// Status numbers of the JPEG writer; the failure text carries them. The
// numbers follow the status codes the frame pipeline has always reported.
enum class JpegStatus : int {
    Ok = 0,
    GenericError = 1, // the encoder refused the picture
    InvalidParameter = 2, // no picture, or a quality above 100
    OutOfMemory = 3,
    // 4..6 unused
    FileError = 7, // the file could not be created, written or replaced
};

inline constexpr int kSaveFailureNumber = 5;
inline constexpr char kSaveFailureText[] = "Cannot save the image. GDI+ Error:";

// Writes the picture's colours (alpha ignored) to `path` as a JPEG of the
// given quality (0..100; 100 is the encoder's best). Colour is kept at full resolution. An existing file
// is replaced only once the new one is complete, so a failed save leaves it
// as it was; saving over the file the picture came from is fine. Raises
// Tools::Failure 5 with "Cannot save the image. GDI+ Error:" followed
// directly by the JpegStatus number.
void SaveJpeg(const NConvert::Picture &picture, const QString &path, quint8 quality);

} // namespace Pipeline
