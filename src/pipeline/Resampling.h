#pragma once

class QImage;

namespace Pipeline {

// Scales an opaque picture to width x height. Along an axis that shrinks,
// each target pixel is the area-weighted average of the source pixels it
// covers (no aliasing however large the reduction); along an axis that grows,
// values are interpolated linearly between pixel centres. Any transparency
// is composited onto black first. The result is 32-bit RGB; it is a null
// image when either size is below 1 or memory runs out.
QImage ResampleImage(const QImage &source, int width, int height);

} // namespace Pipeline
