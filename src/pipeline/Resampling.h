#pragma once

#include "lib/Picture.h"

namespace Pipeline {

// Scales a picture to width x height. Along an axis that shrinks, each
// target pixel is the area-weighted average of the source pixels it covers
// (no aliasing however large the reduction); along an axis that grows,
// values are interpolated with a cubic (Catmull-Rom) through the four
// nearest pixel centres, which keeps edges sharp. Any transparency
// is composited onto black first. The result, opaque, goes to `into`, whose
// memory is reused: a redraw that takes fresh memory for every frame spends
// more time faulting it in than drawing. False, with `into` unspecified,
// when either size is below 1, `into` is the source, or memory runs out.
bool ResamplePicture(const NConvert::Picture &source, int width, int height, NConvert::Picture &into);

} // namespace Pipeline
