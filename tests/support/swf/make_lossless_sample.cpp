// Writes the lossless-picture sample movie (src/app/samples/), whose
// pictures are stored without loss in all three bitmap formats:
//
//     make_lossless_sample OUT.swf
#include "SwfBuilder.h"

#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

QImage Slide(int number)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor::fromHsv(200 + number * 30, 120, 250));
    sky.setColorAt(1, QColor::fromHsv(230 + number * 30, 200, 120));
    painter.fillRect(image.rect(), sky);
    for (int i = 0; i < 6; ++i) {
        QRadialGradient ball(70 + i * 55, 150 + (i % 2) * 50, 40);
        ball.setColorAt(0, QColor::fromHsv((number * 70 + i * 40) % 360, 90, 255));
        ball.setColorAt(1, QColor::fromHsv((number * 70 + i * 40) % 360, 230, 160));
        painter.setBrush(ball);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(70 + i * 55, 150 + (i % 2) * 50), 40, 40);
    }
    QFont font = painter.font();
    font.setPixelSize(34);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 20, kWidth, 60), Qt::AlignCenter, QStringLiteral("Lossless %1").arg(number));
    return image;
}

SwfBuild::Bytes Argb(const QImage &image)
{
    std::vector<std::array<std::uint8_t, 4>> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            pixels.push_back({255, static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                              static_cast<std::uint8_t>(qBlue(p))});
        }
    return SwfBuild::EncodeArgb(pixels);
}

SwfBuild::Bytes Rgb15(const QImage &image)
{
    std::vector<std::uint16_t> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            pixels.push_back(
                static_cast<std::uint16_t>((qRed(p) >> 3) << 10 | (qGreen(p) >> 3) << 5 | (qBlue(p) >> 3)));
        }
    return SwfBuild::EncodeRgb15(kWidth, kHeight, pixels);
}

SwfBuild::Bytes Palette(const QImage &image, std::uint8_t *colours)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    std::vector<std::array<std::uint8_t, 4>> palette;
    for (const QRgb c : indexed.colorTable())
        palette.push_back({static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                           static_cast<std::uint8_t>(qBlue(c)), 255});
    std::vector<std::uint8_t> indices;
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x)
            indices.push_back(static_cast<std::uint8_t>(indexed.pixelIndex(x, y)));
    *colours = static_cast<std::uint8_t>(palette.size() - 1);
    return SwfBuild::EncodePalette(kWidth, kHeight, palette, indices, false);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_lossless_sample OUT.swf\n");
        return 2;
    }
    std::uint8_t colours = 0;
    const SwfBuild::Bytes palette = Palette(Slide(3), &colours);
    SwfBuild::Tags tags;
    tags.defineBitsLossless(1, 5, kWidth, kHeight, Argb(Slide(1))).showFrame();
    tags.defineBitsLossless2(2, 5, kWidth, kHeight, Argb(Slide(2))).showFrame();
    tags.defineBitsLossless(3, 3, kWidth, kHeight, palette, colours).showFrame();
    tags.defineBitsLossless(4, 4, kWidth, kHeight, Rgb15(Slide(4))).showFrame();
    tags.end();
    SwfBuild::MovieOptions options;
    options.widthPx = kWidth;
    options.heightPx = kHeight;
    options.frameCount = 4;
    const SwfBuild::Bytes movie = SwfBuild::BuildSwf(tags, SwfBuild::Container::Cws, options);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(reinterpret_cast<const char *>(movie.data()), static_cast<qint64>(movie.size()));
    return 0;
}
