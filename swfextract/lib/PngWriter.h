#pragma once

#include "swfextract/lib/ByteSink.h"

#include <cstdint>
#include <string>

struct png_struct_def;
struct png_info_def;

namespace SwfExtract {

// Writes an 8-bit RGB or RGBA PNG row by row into a sink, so that no
// whole-picture buffer is needed. libpng reports errors by longjmp; every
// call here catches that in a frame without C++ objects and turns it into a
// false result.
class PngWriter
{
public:
    PngWriter(ByteSink &sink, std::uint32_t width, std::uint32_t height, bool alpha);
    ~PngWriter();
    PngWriter(const PngWriter &) = delete;
    PngWriter &operator=(const PngWriter &) = delete;

    // `row` holds width * (alpha ? 4 : 3) bytes.
    bool writeRow(const std::uint8_t *row);
    // Ends the file after the last row.
    bool finish();
    const std::string &error() const { return m_error; }

private:
    static void onError(png_struct_def *png, const char *message);
    static void onWarning(png_struct_def *png, const char *message);
    static void onWrite(png_struct_def *png, std::uint8_t *data, std::size_t length);
    static void onFlush(png_struct_def *png);
    bool start(std::uint32_t width, std::uint32_t height, bool alpha);

    ByteSink &m_sink;
    png_struct_def *m_png = nullptr;
    png_info_def *m_info = nullptr;
    bool m_failed = false;
    std::string m_error;
};

} // namespace SwfExtract
