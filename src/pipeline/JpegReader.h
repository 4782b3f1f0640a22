#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace Pipeline {

// Decodes JPEG data straight with libjpeg-turbo into 32-bit RGB. When
// `atLeast` is valid, the picture is decoded at the smallest of the
// decoder's reductions (1/2, 1/4, 1/8) that still covers it on both sides,
// which costs a fraction of a full decode. A null image for data the decoder
// cannot turn into RGB (not a JPEG, CMYK, damaged): the caller then falls
// back to a general reader.
QImage DecodeJpeg(const QByteArray &data, const QSize &atLeast = QSize());

} // namespace Pipeline
