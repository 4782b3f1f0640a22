#include "Resampling.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace Pipeline {

namespace {

// The source pixels, and their weights, that make up each target pixel
// along one axis.
struct AxisWeights
{
    std::vector<int> first; // per target pixel: its first source pixel
    std::vector<int> offset; // per target pixel: where its weights begin; one extra at the end
    std::vector<float> weight;

    int count(int target) const { return offset[target + 1] - offset[target]; }
};

AxisWeights ComputeWeights(int sourceSize, int targetSize)
{
    AxisWeights axis;
    axis.first.resize(size_t(targetSize));
    axis.offset.resize(size_t(targetSize) + 1);
    const double scale = double(sourceSize) / targetSize;
    for (int t = 0; t < targetSize; ++t) {
        axis.offset[t] = int(axis.weight.size());
        if (scale > 1.0) {
            // Shrinking: the share of each source pixel under [begin, end).
            const double begin = t * scale;
            const double end = std::min((t + 1) * scale, double(sourceSize));
            const int firstPixel = int(std::floor(begin));
            axis.first[t] = firstPixel;
            for (int s = firstPixel; s < end; ++s) {
                const double covered = std::min(end, s + 1.0) - std::max(begin, double(s));
                axis.weight.push_back(float(covered / (end - begin)));
            }
        } else {
            // Growing (or equal): between the two nearest pixel centres.
            const double centre = (t + 0.5) * scale - 0.5;
            const int low = std::clamp(int(std::floor(centre)), 0, sourceSize - 1);
            const int high = std::min(low + 1, sourceSize - 1);
            const double fraction = std::clamp(centre - low, 0.0, 1.0);
            axis.first[t] = low;
            axis.weight.push_back(float(1.0 - fraction));
            if (high != low)
                axis.weight.push_back(float(fraction));
        }
    }
    axis.offset[targetSize] = int(axis.weight.size());
    return axis;
}

QImage OpaqueRgb32(const QImage &source)
{
    if (!source.hasAlphaChannel())
        return source.convertToFormat(QImage::Format_RGB32);
    QImage flat(source.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return flat;
    flat.fill(Qt::black);
    QPainter painter(&flat);
    painter.drawImage(0, 0, source);
    return flat;
}

} // namespace

QImage ResampleImage(const QImage &source, int width, int height)
{
    if (width < 1 || height < 1 || source.isNull())
        return QImage();
    const QImage input = OpaqueRgb32(source);
    if (input.isNull())
        return QImage();
    if (input.width() == width && input.height() == height)
        return input;
    // Growing along both axes: Qt's smooth scaling is this same linear
    // interpolation, and vectorised.
    if (width >= input.width() && height >= input.height())
        return input.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    try {
        const AxisWeights across = ComputeWeights(input.width(), width);
        const AxisWeights down = ComputeWeights(input.height(), height);

        // Across first: every source row becomes `width` pixels of three
        // channels, kept in floating point until the second pass.
        const std::unique_ptr<float[]> rows(new float[size_t(input.height()) * size_t(width) * 3]);
        for (int y = 0; y < input.height(); ++y) {
            const QRgb *in = reinterpret_cast<const QRgb *>(input.constScanLine(y));
            float *out = rows.get() + size_t(y) * size_t(width) * 3;
            for (int x = 0; x < width; ++x) {
                float r = 0, g = 0, b = 0;
                const float *w = across.weight.data() + across.offset[x];
                const QRgb *p = in + across.first[x];
                for (int k = 0; k < across.count(x); ++k) {
                    r += w[k] * float(qRed(p[k]));
                    g += w[k] * float(qGreen(p[k]));
                    b += w[k] * float(qBlue(p[k]));
                }
                out[x * 3] = r;
                out[x * 3 + 1] = g;
                out[x * 3 + 2] = b;
            }
        }

        QImage result(width, height, QImage::Format_RGB32);
        if (result.isNull())
            return result;
        const auto channel = [](float v) { return int(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
        std::vector<float> sum(size_t(width) * 3);
        for (int y = 0; y < height; ++y) {
            std::fill(sum.begin(), sum.end(), 0.0f);
            const float *w = down.weight.data() + down.offset[y];
            for (int k = 0; k < down.count(y); ++k) {
                const float *row = rows.get() + size_t(down.first[y] + k) * size_t(width) * 3;
                for (size_t i = 0; i < sum.size(); ++i)
                    sum[i] += w[k] * row[i];
            }
            QRgb *out = reinterpret_cast<QRgb *>(result.scanLine(y));
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(channel(sum[x * 3]), channel(sum[x * 3 + 1]), channel(sum[x * 3 + 2]));
        }
        return result;
    } catch (const std::bad_alloc &) {
        return QImage();
    }
}

} // namespace Pipeline
