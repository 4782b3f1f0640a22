#pragma once

#include "lib/Picture.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace Pipeline {

// The size a JPEG's header gives; nothing when libjpeg-turbo reads no JPEG
// header in the data.
std::optional<QSize> ReadJpegSize(const QByteArray &data);

// Decodes JPEG data straight with libjpeg-turbo into opaque RGBA in `into`,
// reusing its memory. When `atLeast` is valid, the picture is decoded at the
// smallest of the decoder's reductions (1/2, 1/4, 1/8) that still covers it
// on both sides, which costs a fraction of a full decode. False, with `into` unspecified,
// for data the decoder cannot turn into RGB without a warning (not a JPEG,
// CMYK, damaged): the caller then falls back to the converter's more
// forgiving decoder.
bool DecodeJpeg(const QByteArray &data, const QSize &atLeast, NConvert::Picture &into);

} // namespace Pipeline
