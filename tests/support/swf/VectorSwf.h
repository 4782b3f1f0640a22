#pragma once

// Test-only writers of vector movies (shapes, buttons, sounds and small
// scripts) on top of SwfBuilder's tag list, for the tests and benchmarks
// that play movies rather than extract from them.

#include "SwfBuilder.h"

#include <array>
#include <cstdint>
#include <vector>

namespace SwfBuild {

using Rgb = std::array<std::uint8_t, 3>;

// All coordinates are in twips (1/20 pixel).
void AddRectShape(Tags &tags, std::uint16_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  Rgb colour);
// A triangle with corners (x0,y0) (x1,y1) (x2,y2).
void AddTriangleShape(Tags &tags, std::uint16_t id, const std::array<std::int32_t, 6> &corners, Rgb colour);
// PlaceObject2: places `character` at `depth`, or (with `replace`) puts it
// in place of what is there; moved by (tx, ty).
void AddPlace(Tags &tags, std::uint16_t depth, std::uint16_t character, bool replace, std::int32_t tx = 0,
              std::int32_t ty = 0);
// PlaceObject2 that only moves what is at `depth`.
void AddMove(Tags &tags, std::uint16_t depth, std::int32_t tx, std::int32_t ty);
// DefineSound with 16-bit little-endian mono PCM at 44.1 kHz.
void AddPcmSound(Tags &tags, std::uint16_t id, const std::vector<std::uint8_t> &pcm16);
void AddStartSound(Tags &tags, std::uint16_t id);
// DoAction holding ActionStop.
void AddStopAction(Tags &tags);
// DoAction that jumps back to itself for ever.
void AddEndlessLoopAction(Tags &tags);
// DefineButton2 that looks like `shape` (moved by tx, ty) in every state
// and plays the movie when pressed.
void AddPlayButton(Tags &tags, std::uint16_t id, std::uint16_t shape, std::int32_t tx = 0, std::int32_t ty = 0);

// A MATRIX: scale and rotate-skew factors, translation in twips.
struct PlaceMatrix
{
    double scaleX = 1;
    double scaleY = 1;
    double rotateSkew0 = 0;
    double rotateSkew1 = 0;
    std::int32_t tx = 0;
    std::int32_t ty = 0;
};
// PlaceObject2 that places `character` at `depth` with `matrix`.
void AddPlaceWithMatrix(Tags &tags, std::uint16_t depth, std::uint16_t character, const PlaceMatrix &matrix);

// Blend modes of PlaceObject3 (0 and 1 are both normal).
constexpr std::uint8_t kBlendNormal = 1;
constexpr std::uint8_t kBlendMultiply = 3;
// PlaceObject3 that places `character` at `depth`, moved by (tx, ty), with
// a blur filter of `blurPx` pixels on both axes (no filter list when 0) and
// blend mode `blendMode` (no blend mode field when 0).
void AddPlaceWithEffects(Tags &tags, std::uint16_t depth, std::uint16_t character, std::int32_t tx, std::int32_t ty,
                         double blurPx, std::uint8_t blendMode);

// DefineBitsLossless: a `width` x `height` checkerboard of 1-pixel squares
// in colours `a` and `b`.
void AddCheckerBitmap(Tags &tags, std::uint16_t id, std::uint16_t width, std::uint16_t height, Rgb a, Rgb b);
// A rectangle (twips) filled with bitmap `bitmap` repeated, one bitmap pixel
// to one stage pixel, its corner at the rectangle's.
void AddBitmapRectShape(Tags &tags, std::uint16_t id, std::uint16_t bitmap, std::int32_t x, std::int32_t y,
                        std::int32_t width, std::int32_t height);

// DefineSprite `id` of `frames` frames (its header says so too): `shape` at
// depth 1, moved by (stepX, stepY) twips more each frame. With `stopAtEnd`,
// its last frame stops it; else it loops.
void AddMovingSprite(Tags &tags, std::uint16_t id, std::uint16_t shape, int frames, std::int32_t stepX,
                     std::int32_t stepY, bool stopAtEnd);

// The colour of frame `index` of ColourStepMovie: round the colour wheel,
// 12 degrees a frame, so that each frame differs from the next.
Rgb StepColour(int index);

struct ColourMovie
{
    std::uint16_t widthPx = 320;
    std::uint16_t heightPx = 240;
    std::uint16_t framesPerSecond = 10;
    std::uint16_t frames = 30;
    int beepFrame = -1; // 0-based frame whose StartSound starts the beep
    std::vector<std::uint8_t> beepPcm; // as AddPcmSound takes it
    bool stopWithButton = false; // frame 0 stops; a play button in the middle
    int endlessLoopFrame = -1; // 0-based frame that runs a script for ever
};

// A full-stage rectangle whose colour is StepColour(frame) in each frame.
Bytes ColourStepMovie(const ColourMovie &movie);

// A square of `size` twips centred on the origin, a linear gradient from
// `from` to `to` across it.
void AddGradientRectShape(Tags &tags, std::uint16_t id, std::int32_t size, Rgb from, Rgb to);

// A cartoon as real ones are made: `shapes` moving shapes, a third of them
// with gradients, a bitmap-filled area, a looping sprite animation and a
// stream sound, on a 550 x 400 stage.
Bytes RichCartoon(int shapes, std::uint16_t framesPerSecond, int frames);

// A busy vector cartoon: `shapes` shapes of many colours, each moved every
// frame, on a 550 x 400 stage.
Bytes VectorCartoon(int shapes, std::uint16_t framesPerSecond, int frames);

} // namespace SwfBuild
