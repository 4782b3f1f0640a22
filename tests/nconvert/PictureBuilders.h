#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>

#include <cstdint>
#include <vector>

// Builds picture files byte by byte, so that every variant and every damage
// is one line of a test.

struct GifSpec
{
    int screenWidth = 0;
    int screenHeight = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<QRgb> globalColours;
    std::vector<QRgb> localColours;
    int transparentIndex = -1;
    bool interlaced = false;
    int minCodeSize = 8;
    std::vector<std::uint8_t> indices; // width x height, in row order
};

// A one-frame GIF89a with real LZW compression (growing code widths and a
// clear code whenever the table fills).
QByteArray BuildGif(const GifSpec &spec);

struct BmpSpec
{
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;
    bool topDown = false;
    std::vector<QRgb> palette; // bits per pixel 1, 4, 8
    std::uint32_t masks[4] = {}; // red, green, blue, alpha; written in a 124-byte header when any is set
    std::vector<std::uint32_t> values; // per pixel: palette index or packed value (24 bits: 0xRRGGBB)
};

QByteArray BuildBmp(const BmpSpec &spec);

// Encodes a QImage in a format Qt writes ("PNG", "JPG", "BMP").
QByteArray Encode(const QImage &image, const char *format, int quality = -1);
