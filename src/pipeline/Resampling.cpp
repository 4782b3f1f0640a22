#include "Resampling.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
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

    int taps = -1; // how many source pixels make every target pixel; -1 when that varies
    size_t sourceSize = 0;

    int count(int target) const { return offset[target + 1] - offset[target]; }
};

// Keys' cubic convolution kernel with a = -0.5 (Catmull-Rom): it passes
// through every source pixel and, unlike linear interpolation, keeps edges
// sharp when a picture grows.
double Cubic(double distance)
{
    const double x = std::abs(distance);
    if (x <= 1)
        return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2)
        return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

// Growing (or equal): the four source pixels around `centre`. Beyond an
// edge the edge pixel stands in, so its weight takes theirs; the window is
// kept four wide, within the picture, so that the loops below can run a
// fixed four taps.
void AddGrowingWeights(AxisWeights &axis, int target, double centre, int sourceSize)
{
    const int nearest = int(std::floor(centre));
    const int width = std::min(4, sourceSize);
    const int first = std::clamp(nearest - 1, 0, sourceSize - width);
    double window[4] = {0, 0, 0, 0};
    for (int k = -1; k <= 2; ++k) {
        const int pixel = std::clamp(nearest + k, 0, sourceSize - 1);
        window[pixel - first] += Cubic(centre - (nearest + k));
    }
    axis.first[target] = first;
    for (int k = 0; k < width; ++k)
        axis.weight.push_back(float(window[k]));
}

AxisWeights ComputeWeights(int sourceSize, int targetSize)
{
    AxisWeights axis;
    axis.sourceSize = size_t(sourceSize);
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
            AddGrowingWeights(axis, t, (t + 0.5) * scale - 0.5, sourceSize);
        }
    }
    axis.offset[targetSize] = int(axis.weight.size());
    axis.taps = axis.count(0);
    for (int t = 1; t < targetSize && axis.taps > 0; ++t)
        if (axis.count(t) != axis.taps)
            axis.taps = -1;
    return axis;
}

// The two loops below are the redraw's hot path: where the processor has
// AVX2, a second build of them uses it (chosen once, when the program loads).
#if defined(__x86_64__)
#define TARNWICK_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TARNWICK_VECTOR_CLONES
#endif

// One source row resampled across to `width` pixels of four channels (four,
// not three, so that each pixel is one vector operation). `scratch` holds
// the row as floats, converted once rather than once per tap.
TARNWICK_VECTOR_CLONES void ResampleRow(const std::uint8_t *in, const AxisWeights &across, int width,
                                        float *__restrict out, std::vector<float> &scratch)
{
    scratch.resize(across.sourceSize * 4);
    float *__restrict row = scratch.data();
    for (size_t i = 0; i < scratch.size(); ++i)
        row[i] = float(in[i]);
    if (across.taps == 4) {
        for (int x = 0; x < width; ++x, out += 4) {
            const float *__restrict p = row + size_t(across.first[x]) * 4;
            const float *__restrict w = across.weight.data() + size_t(x) * 4;
            for (int c = 0; c < 4; ++c)
                out[c] = w[0] * p[c] + w[1] * p[c + 4] + w[2] * p[c + 8] + w[3] * p[c + 12];
        }
        return;
    }
    for (int x = 0; x < width; ++x, out += 4) {
        float sum[4] = {0, 0, 0, 0};
        const float *w = across.weight.data() + across.offset[x];
        const float *p = row + size_t(across.first[x]) * 4;
        for (int k = 0; k < across.count(x); ++k, p += 4)
            for (int c = 0; c < 4; ++c)
                sum[c] += w[k] * p[c];
        std::copy_n(sum, 4, out);
    }
}

// Across, then down: each target row is the weighted sum of source rows
// already resampled across. Those are made as the rows below need them and
// kept in a ring just deep enough for one target row, so that the work stays
// in cache. The source is opaque and the weights add up to one, so alpha
// stays 255.
TARNWICK_VECTOR_CLONES void Resample(const NConvert::Picture &input, const AxisWeights &across, const AxisWeights &down,
                                     NConvert::Picture &result)
{
    const int width = int(result.width);
    const int height = int(result.height);
    const size_t rowFloats = size_t(width) * 4;
    int depth = 1;
    for (int y = 0; y < height; ++y)
        depth = std::max(depth, down.count(y));
    std::vector<float> ring(size_t(depth) * rowFloats);
    std::vector<int> ringRow(size_t(depth), -1);
    std::vector<float> sourceRow;
    const auto acrossRow = [&](int row) {
        float *slot = ring.data() + size_t(row % depth) * rowFloats;
        if (ringRow[size_t(row % depth)] != row) {
            ResampleRow(input.rgba.data() + size_t(row) * input.width * 4, across, width, slot, sourceRow);
            ringRow[size_t(row % depth)] = row;
        }
        return slot;
    };
    std::vector<float> sum(rowFloats);
    for (int y = 0; y < height; ++y) {
        const float *w = down.weight.data() + down.offset[y];
        const float *first = acrossRow(down.first[y]);
        std::uint8_t *out = result.rgba.data() + size_t(y) * rowFloats;
        if (down.count(y) == 4) {
            const float *r1 = acrossRow(down.first[y] + 1);
            const float *r2 = acrossRow(down.first[y] + 2);
            const float *r3 = acrossRow(down.first[y] + 3);
            for (size_t i = 0; i < rowFloats; ++i) {
                const float v = w[0] * first[i] + w[1] * r1[i] + w[2] * r2[i] + w[3] * r3[i];
                out[i] = std::uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f));
            }
            continue;
        }
        for (size_t i = 0; i < rowFloats; ++i)
            sum[i] = w[0] * first[i];
        for (int k = 1; k < down.count(y); ++k) {
            const float *row = acrossRow(down.first[y] + k);
            for (size_t i = 0; i < rowFloats; ++i)
                sum[i] += w[k] * row[i];
        }
        for (size_t i = 0; i < rowFloats; ++i)
            out[i] = std::uint8_t(std::clamp(sum[i] + 0.5f, 0.0f, 255.0f));
    }
}

bool IsOpaque(const NConvert::Picture &picture)
{
    // No early exit: the whole scan vectorises, and pictures are nearly
    // always opaque.
    std::uint8_t all = 255;
    for (size_t i = 3; i < picture.rgba.size(); i += 4)
        all &= picture.rgba[i];
    return all == 255;
}

} // namespace

bool ResamplePicture(const NConvert::Picture &source, int width, int height, NConvert::Picture &into)
{
    if (width < 1 || height < 1 || source.width == 0 || source.height == 0
        || source.rgba.size() != size_t(source.width) * source.height * 4 || &source == &into)
        return false;
    try {
        std::optional<NConvert::Picture> flattened;
        if (!IsOpaque(source)) {
            flattened = source;
            NConvert::FlattenOnto(*flattened);
        }
        const NConvert::Picture &input = flattened ? *flattened : source;
        into.width = std::uint32_t(width);
        into.height = std::uint32_t(height);
        into.rgba.resize(size_t(width) * size_t(height) * 4);
        if (input.width == into.width && input.height == into.height) {
            std::copy(input.rgba.begin(), input.rgba.end(), into.rgba.begin());
            return true;
        }
        Resample(input, ComputeWeights(int(input.width), width), ComputeWeights(int(input.height), height), into);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace Pipeline
