#include "swfextract/lib/PngWriter.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>

namespace SwfExtract {

PngWriter::PngWriter(ByteSink &sink, std::uint32_t width, std::uint32_t height, bool alpha)
    : m_sink(sink)
{
    m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, &PngWriter::onError, &PngWriter::onWarning);
    if (m_png)
        m_info = png_create_info_struct(m_png);
    if (!m_png || !m_info) {
        m_failed = true;
        m_error = "out of memory for the PNG writer";
        return;
    }
    m_failed = !start(width, height, alpha);
}

PngWriter::~PngWriter()
{
    png_destroy_write_struct(&m_png, &m_info);
}

bool PngWriter::start(std::uint32_t width, std::uint32_t height, bool alpha)
{
    if (setjmp(png_jmpbuf(m_png)))
        return false;
    png_set_write_fn(m_png, this, &PngWriter::onWrite, &PngWriter::onFlush);
    // Pictures are written once and read once by the converter: favour speed.
    // Run-length matching after the Sub filter is several times faster than
    // deflate's string search and still shrinks flat or smooth areas well.
    png_set_compression_level(m_png, Z_BEST_SPEED);
    png_set_compression_strategy(m_png, Z_RLE);
    png_set_filter(m_png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(m_png, m_info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(m_png, m_info);
    return true;
}

bool PngWriter::writeRow(const std::uint8_t *row)
{
    if (m_failed)
        return false;
    if (setjmp(png_jmpbuf(m_png))) {
        m_failed = true;
        return false;
    }
    png_write_row(m_png, row);
    return true;
}

bool PngWriter::finish()
{
    if (m_failed)
        return false;
    if (setjmp(png_jmpbuf(m_png))) {
        m_failed = true;
        return false;
    }
    png_write_end(m_png, nullptr);
    return true;
}

void PngWriter::onError(png_structp png, png_const_charp message)
{
    auto *self = static_cast<PngWriter *>(png_get_error_ptr(png));
    if (self->m_error.empty())
        self->m_error = message ? message : "PNG error";
    png_longjmp(png, 1);
}

void PngWriter::onWarning(png_structp, png_const_charp)
{
}

void PngWriter::onWrite(png_structp png, png_bytep data, std::size_t length)
{
    auto *self = static_cast<PngWriter *>(png_get_io_ptr(png));
    if (!self->m_sink.write(Bytes(data, length)))
        png_error(png, "cannot write the output file");
}

void PngWriter::onFlush(png_structp)
{
}

} // namespace SwfExtract
