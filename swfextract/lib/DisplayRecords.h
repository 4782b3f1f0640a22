#pragma once

#include "swfextract/lib/ByteSpan.h"
#include "tarnwick/ByteReader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace SwfExtract {

// The records that put characters on a display list (PlaceObject 1-3 and
// button records) and the fields inside them: RECT, MATRIX, colour
// transforms and filter lists.

// A RECT, in twips.
struct Rect
{
    std::int32_t xMin = 0;
    std::int32_t xMax = 0;
    std::int32_t yMin = 0;
    std::int32_t yMax = 0;
};

// Box of points in twips, empty until a point is added.
struct Box
{
    double xMin = 0;
    double xMax = 0;
    double yMin = 0;
    double yMax = 0;
    bool empty = true;
    void add(double x, double y);
};

// A MATRIX: scale and rotate-skew as 16.16 fractions, translation in twips.
struct Matrix
{
    double a = 1; // ScaleX
    double b = 0; // RotateSkew0
    double c = 0; // RotateSkew1
    double d = 1; // ScaleY
    double tx = 0;
    double ty = 0;
    double mapX(double x, double y) const { return a * x + c * y + tx; }
    double mapY(double x, double y) const { return b * x + d * y + ty; }
    // The box around the four corners of `box` once mapped.
    Box map(const Box &box) const;
};

// Each starts on a whole byte, as the records hold them.
Rect ReadRect(Tarnwick::ByteReader &reader);
Matrix ReadMatrix(Tarnwick::ByteReader &reader);
void SkipColorTransform(Tarnwick::ByteReader &reader, bool withAlpha);
// A FILTERLIST; returns how many filters it holds, or nullopt for an
// unknown filter (after which nothing more can be read).
std::optional<int> SkipFilters(Tarnwick::ByteReader &reader);

// Blend modes 0 and 1 both mean "normal".
inline bool DrawsNormally(std::uint8_t blendMode)
{
    return blendMode <= 1;
}

// A PlaceObject, PlaceObject2 or PlaceObject3 as far as the display list
// and the renderer care.
struct PlaceRecord
{
    std::uint16_t depth = 0;
    std::optional<std::uint16_t> character; // unset for a move
    Matrix matrix; // identity when the record gives none
    bool filters = false; // a filter list with filters in it
    std::uint8_t blendMode = 0;
};

// False when the body ends before its character (the record is then
// unusable); fields after that which are cut off keep their defaults.
bool ReadPlaceRecord(std::uint16_t code, Bytes body, PlaceRecord &place);

// One BUTTONRECORD of a DefineButton or DefineButton2.
struct ButtonPart
{
    std::uint8_t states = 0; // bit 0 up, 1 over, 2 down, 3 hit test
    std::uint16_t character = 0;
    Matrix matrix;
    bool filters = false;
    std::uint8_t blendMode = 0;
};

// Appends the records of a DefineButton or DefineButton2 body (ID first);
// false when it could not be read to its end.
bool ReadButtonParts(std::uint16_t code, Bytes body, std::vector<ButtonPart> &parts);

} // namespace SwfExtract
