#pragma once

#include "lib/Picture.h"

#include <QImage>

#include <algorithm>

// Between Qt's pictures, which tests draw and compare with, and the RGBA
// pictures the frame path works on. Only for tests that link QtGui.
inline NConvert::Picture PictureOf(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    NConvert::Picture picture;
    picture.width = std::uint32_t(rgba.width());
    picture.height = std::uint32_t(rgba.height());
    picture.rgba.resize(std::size_t(rgba.width()) * std::size_t(rgba.height()) * 4);
    for (int y = 0; y < rgba.height(); ++y)
        std::copy_n(rgba.constScanLine(y), std::size_t(rgba.width()) * 4, picture.pixel(0, std::uint32_t(y)));
    return picture;
}

inline QImage ImageOf(const NConvert::Picture &picture)
{
    QImage image(int(picture.width), int(picture.height), QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y)
        std::copy_n(picture.rgba.data() + std::size_t(y) * picture.width * 4, std::size_t(picture.width) * 4,
                    image.scanLine(y));
    return image.convertToFormat(QImage::Format_RGB32);
}
