#include "VectorSwf.h"

#include <algorithm>
#include <cmath>

namespace SwfBuild {

namespace {

class BitWriter
{
public:
    void bits(std::uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (m_used == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= std::uint8_t(0x80 >> m_used);
            m_used = (m_used + 1) % 8;
        }
    }
    void sbits(std::int32_t value, int n) { bits(std::uint32_t(value) & (n >= 32 ? ~0u : ((1u << n) - 1)), n); }
    // Starts the next field on a whole byte.
    Bytes take()
    {
        m_used = 0;
        return std::move(m_bytes);
    }
    const Bytes &bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    int m_used = 0;
};

int SignedBits(std::initializer_list<std::int32_t> values)
{
    int n = 1;
    for (std::int32_t v : values) {
        while (!(v >= -(std::int64_t(1) << (n - 1)) && v < (std::int64_t(1) << (n - 1))))
            ++n;
    }
    return n;
}

void Put16(Bytes &b, std::uint16_t v)
{
    b.push_back(std::uint8_t(v & 0xff));
    b.push_back(std::uint8_t(v >> 8));
}

void Append(Bytes &b, const Bytes &more)
{
    b.insert(b.end(), more.begin(), more.end());
}

Bytes Rect(std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1)
{
    BitWriter w;
    const int n = SignedBits({x0, x1, y0, y1});
    w.bits(std::uint32_t(n), 5);
    for (std::int32_t v : {x0, x1, y0, y1})
        w.sbits(v, n);
    return w.take();
}

Bytes TranslateMatrix(std::int32_t tx, std::int32_t ty)
{
    BitWriter w;
    w.bits(0, 1); // no scale
    w.bits(0, 1); // no rotation
    const int n = tx == 0 && ty == 0 ? 0 : SignedBits({tx, ty});
    w.bits(std::uint32_t(n), 5);
    if (n > 0) {
        w.sbits(tx, n);
        w.sbits(ty, n);
    }
    return w.take();
}

void StraightEdge(BitWriter &w, std::int32_t dx, std::int32_t dy)
{
    const int n = std::max(SignedBits({dx, dy}), 2);
    w.bits(1, 1); // edge
    w.bits(1, 1); // straight
    w.bits(std::uint32_t(n - 2), 4);
    if (dx != 0 && dy != 0) {
        w.bits(1, 1); // general line
        w.sbits(dx, n);
        w.sbits(dy, n);
    } else {
        w.bits(0, 1);
        w.bits(dx == 0 ? 1 : 0, 1); // vertical
        w.sbits(dx == 0 ? dy : dx, n);
    }
}

Bytes Matrix(const PlaceMatrix &m)
{
    const auto fixed = [](double v) { return std::int32_t(std::lround(v * 65536)); };
    BitWriter w;
    // The scale and the rotate-skew pairs: a flag, then the pair if set.
    const auto pair = [&](double first, double second, bool present) {
        w.bits(present ? 1 : 0, 1);
        if (!present)
            return;
        const int n = SignedBits({fixed(first), fixed(second)});
        w.bits(std::uint32_t(n), 5);
        w.sbits(fixed(first), n);
        w.sbits(fixed(second), n);
    };
    pair(m.scaleX, m.scaleY, m.scaleX != 1 || m.scaleY != 1);
    pair(m.rotateSkew0, m.rotateSkew1, m.rotateSkew0 != 0 || m.rotateSkew1 != 0);
    const int n = m.tx == 0 && m.ty == 0 ? 0 : SignedBits({m.tx, m.ty});
    w.bits(std::uint32_t(n), 5);
    if (n > 0) {
        w.sbits(m.tx, n);
        w.sbits(m.ty, n);
    }
    return w.take();
}

Bytes SolidFill(Rgb colour)
{
    return {0x00, colour[0], colour[1], colour[2]};
}

// A linear gradient from `from` to `to` across a square of `size` twips
// centred on the origin (the gradient square is 32768 twips wide).
Bytes LinearGradientFill(Rgb from, Rgb to, std::int32_t size)
{
    BitWriter w;
    w.bits(1, 1); // scale
    const std::int32_t scale = std::int32_t(std::lround(size / 32768.0 * 65536));
    const int n = SignedBits({scale});
    w.bits(std::uint32_t(n), 5);
    w.sbits(scale, n);
    w.sbits(scale, n);
    w.bits(0, 1); // no rotation
    w.bits(0, 5); // no translation
    Bytes fill{0x10};
    Append(fill, w.take());
    fill.push_back(2); // two records, no spread or interpolation modes
    for (const auto &[ratio, c] : {std::pair<std::uint8_t, Rgb>{0, from}, {255, to}})
        Append(fill, {ratio, c[0], c[1], c[2]});
    return fill;
}

// A filled polygon (one fill style, no lines) as a DefineShape body.
void AddPolygon(Tags &tags, std::uint16_t id, const std::vector<std::pair<std::int32_t, std::int32_t>> &points,
                const Bytes &fillStyle)
{
    std::int32_t x0 = points[0].first, x1 = x0, y0 = points[0].second, y1 = y0;
    for (const auto &[x, y] : points) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    Bytes body;
    Put16(body, id);
    Append(body, Rect(x0, x1, y0, y1));
    body.push_back(1); // one fill style
    Append(body, fillStyle);
    body.push_back(0); // no line styles
    BitWriter w;
    w.bits(1, 4); // fill index bits
    w.bits(0, 4); // line index bits
    // Style change: move to the first point with fill style 0 = 1.
    w.bits(0, 1);
    w.bits(0, 1); // new styles
    w.bits(0, 1); // line style
    w.bits(0, 1); // fill style 1
    w.bits(1, 1); // fill style 0
    w.bits(1, 1); // move to
    const int n = SignedBits({points[0].first, points[0].second});
    w.bits(std::uint32_t(n), 5);
    w.sbits(points[0].first, n);
    w.sbits(points[0].second, n);
    w.bits(1, 1);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto &a = points[i];
        const auto &b = points[(i + 1) % points.size()];
        StraightEdge(w, b.first - a.first, b.second - a.second);
    }
    w.bits(0, 6); // end of shape
    Append(body, w.take());
    tags.tag(2, body);
}

void AddActions(Tags &tags, const Bytes &actions)
{
    Bytes body = actions;
    body.push_back(0); // ActionEnd
    tags.tag(12, body);
}

} // namespace

void AddRectShape(Tags &tags, std::uint16_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  Rgb colour)
{
    AddPolygon(tags, id, {{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}}, SolidFill(colour));
}

void AddGradientRectShape(Tags &tags, std::uint16_t id, std::int32_t size, Rgb from, Rgb to)
{
    const std::int32_t h = size / 2;
    AddPolygon(tags, id, {{-h, -h}, {h, -h}, {h, h}, {-h, h}}, LinearGradientFill(from, to, size));
}

void AddTriangleShape(Tags &tags, std::uint16_t id, const std::array<std::int32_t, 6> &c, Rgb colour)
{
    AddPolygon(tags, id, {{c[0], c[1]}, {c[2], c[3]}, {c[4], c[5]}}, SolidFill(colour));
}

void AddPlace(Tags &tags, std::uint16_t depth, std::uint16_t character, bool replace, std::int32_t tx, std::int32_t ty)
{
    Bytes body{std::uint8_t(0x02 | 0x04 | (replace ? 0x01 : 0x00))}; // character, matrix, move
    Put16(body, depth);
    Put16(body, character);
    Append(body, TranslateMatrix(tx, ty));
    tags.tag(26, body);
}

void AddMove(Tags &tags, std::uint16_t depth, std::int32_t tx, std::int32_t ty)
{
    Bytes body{std::uint8_t(0x04 | 0x01)}; // matrix, move
    Put16(body, depth);
    Append(body, TranslateMatrix(tx, ty));
    tags.tag(26, body);
}

void AddPcmSound(Tags &tags, std::uint16_t id, const std::vector<std::uint8_t> &pcm16)
{
    // Uncompressed little-endian (format 3), 44 kHz, 16-bit, mono.
    tags.defineSound(id, std::uint8_t(3 << 4 | 3 << 2 | 1 << 1), std::uint32_t(pcm16.size() / 2), pcm16);
}

void AddStartSound(Tags &tags, std::uint16_t id)
{
    Bytes body;
    Put16(body, id);
    body.push_back(0); // SOUNDINFO without options
    tags.tag(15, body);
}

void AddStopAction(Tags &tags)
{
    AddActions(tags, {0x07}); // ActionStop
}

void AddEndlessLoopAction(Tags &tags)
{
    // ActionJump by -5: back to its own start.
    AddActions(tags, {0x99, 0x02, 0x00, 0xFB, 0xFF});
}

void AddPlayButton(Tags &tags, std::uint16_t id, std::uint16_t shape, std::int32_t tx, std::int32_t ty)
{
    Bytes records;
    records.push_back(0x0F); // hit, down, over and up states
    Put16(records, shape);
    Put16(records, 1); // depth
    Append(records, TranslateMatrix(tx, ty));
    records.push_back(0x00); // no colour transform
    records.push_back(0x00); // end of records
    Bytes body;
    Put16(body, id);
    body.push_back(0x00); // not a menu button
    Put16(body, std::uint16_t(2 + records.size()));
    Append(body, records);
    Put16(body, 0); // the last (only) condition
    body.push_back(0x0C); // on press and on release
    body.push_back(0x00);
    body.push_back(0x06); // ActionPlay
    body.push_back(0x00); // ActionEnd
    tags.tag(34, body);
}

void AddPlaceWithMatrix(Tags &tags, std::uint16_t depth, std::uint16_t character, const PlaceMatrix &matrix)
{
    Bytes body{0x02 | 0x04}; // character, matrix
    Put16(body, depth);
    Put16(body, character);
    Append(body, Matrix(matrix));
    tags.tag(26, body);
}

void AddPlaceWithEffects(Tags &tags, std::uint16_t depth, std::uint16_t character, std::int32_t tx, std::int32_t ty,
                         double blurPx, std::uint8_t blendMode)
{
    const bool blur = blurPx > 0;
    Bytes body{0x02 | 0x04, std::uint8_t((blur ? 0x01 : 0x00) | (blendMode ? 0x02 : 0x00))};
    Put16(body, depth);
    Put16(body, character);
    Append(body, TranslateMatrix(tx, ty));
    if (blur) {
        body.push_back(1); // one filter
        body.push_back(1); // BlurFilter: BlurX and BlurY (16.16), then passes
        const std::uint32_t fixed = std::uint32_t(std::lround(blurPx * 65536));
        for (int axis = 0; axis < 2; ++axis)
            for (int i = 0; i < 4; ++i)
                body.push_back(std::uint8_t(fixed >> (8 * i)));
        body.push_back(1 << 3); // one pass
    }
    if (blendMode)
        body.push_back(blendMode);
    tags.tag(70, body);
}

void AddCheckerBitmap(Tags &tags, std::uint16_t id, std::uint16_t width, std::uint16_t height, Rgb a, Rgb b)
{
    std::vector<std::array<std::uint8_t, 4>> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb &c = (x + y) % 2 ? b : a;
            pixels.push_back({0xFF, c[0], c[1], c[2]});
        }
    tags.defineBitsLossless(id, 5, width, height, EncodeArgb(pixels));
}

void AddBitmapRectShape(Tags &tags, std::uint16_t id, std::uint16_t bitmap, std::int32_t x, std::int32_t y,
                        std::int32_t width, std::int32_t height)
{
    Bytes fill{0x40}; // repeating bitmap
    Put16(fill, bitmap);
    // Bitmap pixels are twips until scaled.
    Append(fill, Matrix({20, 20, 0, 0, x, y}));
    AddPolygon(tags, id, {{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}}, fill);
}

void AddMovingSprite(Tags &tags, std::uint16_t id, std::uint16_t shape, int frames, std::int32_t stepX,
                     std::int32_t stepY, bool stopAtEnd)
{
    Tags inner;
    for (int f = 0; f < frames; ++f) {
        if (f == 0)
            AddPlace(inner, 1, shape, false);
        else
            AddMove(inner, 1, f * stepX, f * stepY);
        if (f == frames - 1 && stopAtEnd)
            AddStopAction(inner);
        inner.showFrame();
    }
    inner.end();
    tags.defineSprite(id, std::uint16_t(frames), inner);
}

Rgb StepColour(int index)
{
    const double h = std::fmod(index * 12.0, 360.0) / 60.0;
    const double x = 1 - std::fabs(std::fmod(h, 2.0) - 1);
    double r = 0, g = 0, b = 0;
    switch (int(h)) {
    case 0:
        r = 1;
        g = x;
        break;
    case 1:
        r = x;
        g = 1;
        break;
    case 2:
        g = 1;
        b = x;
        break;
    case 3:
        g = x;
        b = 1;
        break;
    case 4:
        r = x;
        b = 1;
        break;
    default:
        r = 1;
        b = x;
        break;
    }
    return {std::uint8_t(std::lround(r * 255)), std::uint8_t(std::lround(g * 255)), std::uint8_t(std::lround(b * 255))};
}

Bytes ColourStepMovie(const ColourMovie &movie)
{
    const std::int32_t w = movie.widthPx * 20, h = movie.heightPx * 20;
    constexpr std::uint16_t soundId = 1000, buttonShape = 1001, buttonId = 1002;
    Tags tags;
    tags.tag(9, {0x20, 0x20, 0x20}); // dark grey background
    if (movie.stopWithButton) {
        AddRectShape(tags, buttonShape, w * 3 / 8, h * 3 / 8, w / 4, h / 4, {255, 255, 255});
        AddPlayButton(tags, buttonId, buttonShape);
    }
    for (int f = 0; f < movie.frames; ++f) {
        const std::uint16_t shape = std::uint16_t(f + 1);
        AddRectShape(tags, shape, 0, 0, w, h, StepColour(f));
        AddPlace(tags, 1, shape, f > 0);
        if (f == 0 && movie.stopWithButton) {
            AddPlace(tags, 2, buttonId, false);
            AddStopAction(tags);
        }
        if (f == movie.beepFrame && !movie.beepPcm.empty()) {
            AddPcmSound(tags, soundId, movie.beepPcm);
            AddStartSound(tags, soundId);
        }
        if (f == movie.endlessLoopFrame)
            AddEndlessLoopAction(tags);
        tags.showFrame();
    }
    tags.end();
    MovieOptions options;
    options.widthPx = movie.widthPx;
    options.heightPx = movie.heightPx;
    options.frameRate = std::uint16_t(movie.framesPerSecond << 8);
    options.frameCount = movie.frames;
    return BuildSwf(tags, Container::Fws, options);
}

namespace {

// The cartoons' shapes, at depths from `firstDepth`, each drifting on its
// own circle in frame `f`.
void MoveOnCircles(Tags &tags, int shapes, int firstDepth, int f)
{
    constexpr std::int32_t W = 550 * 20, H = 400 * 20;
    for (int i = 0; i < shapes; ++i) {
        const double a = f * 0.05 * (1 + i % 5) + i;
        const std::int32_t x = (i * 1291) % W + std::int32_t(std::lround(600 * std::cos(a)));
        const std::int32_t y = (i * 887) % H + std::int32_t(std::lround(400 * std::sin(a)));
        AddMove(tags, std::uint16_t(i + firstDepth), x, y);
    }
}

// The cartoons' file: a 550 x 400 stage.
Bytes CartoonSwf(Tags &tags, std::uint16_t framesPerSecond, int frames)
{
    tags.end();
    MovieOptions options;
    options.widthPx = 550;
    options.heightPx = 400;
    options.frameRate = std::uint16_t(framesPerSecond << 8);
    options.frameCount = std::uint16_t(frames);
    return BuildSwf(tags, Container::Fws, options);
}

} // namespace

Bytes VectorCartoon(int shapes, std::uint16_t framesPerSecond, int frames)
{
    constexpr std::int32_t W = 550 * 20, H = 400 * 20;
    Tags tags;
    tags.tag(9, {0xF0, 0xE8, 0xD0});
    for (int i = 0; i < shapes; ++i) {
        const std::uint16_t id = std::uint16_t(i + 1);
        const Rgb colour = StepColour(i * 7 + i / 30);
        const std::int32_t size = 200 + (i * 37) % 1400;
        if (i % 2)
            AddRectShape(tags, id, -size / 2, -size / 2, size, size * 2 / 3, colour);
        else
            AddTriangleShape(tags, id, {0, -size, size, size / 2, -size, size / 2}, colour);
        AddPlace(tags, id, id, false, (i * 1291) % W, (i * 887) % H);
    }
    for (int f = 0; f < frames; ++f) {
        if (f > 0)
            MoveOnCircles(tags, shapes, 1, f);
        tags.showFrame();
    }
    return CartoonSwf(tags, framesPerSecond, frames);
}

Bytes RichCartoon(int shapes, std::uint16_t framesPerSecond, int frames)
{
    constexpr std::int32_t W = 550 * 20, H = 400 * 20;
    constexpr std::uint16_t checker = 60000, tiles = 60001, spriteShape = 60002, sprite = 60003;
    Tags tags;
    tags.tag(9, {0xF0, 0xE8, 0xD0});
    AddCheckerBitmap(tags, checker, 16, 16, {40, 90, 160}, {230, 230, 240});
    AddBitmapRectShape(tags, tiles, checker, 0, 0, 200 * 20, 120 * 20);
    AddPlace(tags, 1, tiles, false, 20 * 20, 260 * 20);
    for (int i = 0; i < shapes; ++i) {
        const std::uint16_t id = std::uint16_t(i + 1);
        const Rgb colour = StepColour(i * 7 + i / 30);
        const std::int32_t size = 200 + (i * 37) % 1400;
        if (i % 3 == 0)
            AddGradientRectShape(tags, id, size, colour, StepColour(i * 7 + 15));
        else if (i % 3 == 1)
            AddRectShape(tags, id, -size / 2, -size / 2, size, size * 2 / 3, colour);
        else
            AddTriangleShape(tags, id, {0, -size, size, size / 2, -size, size / 2}, colour);
        AddPlace(tags, std::uint16_t(id + 1), id, false, (i * 1291) % W, (i * 887) % H);
    }
    AddRectShape(tags, spriteShape, 0, 0, 30 * 20, 30 * 20, {200, 40, 40});
    AddMovingSprite(tags, sprite, spriteShape, 48, 5 * 20, 2 * 20, false);
    AddPlace(tags, std::uint16_t(shapes + 2), sprite, false, 300 * 20, 40 * 20);
    // A stream sound: a slow chord, 22 kHz 16-bit mono, one block a frame.
    tags.soundStreamHead2(std::uint8_t(3 << 4 | 2 << 2 | 1 << 1), std::uint16_t(22050 / framesPerSecond));
    const int perFrame = 22050 / framesPerSecond;
    for (int f = 0; f < frames; ++f) {
        Bytes block;
        for (int s = 0; s < perFrame; ++s) {
            const double t = double(f * perFrame + s) / 22050;
            Put16(block, std::uint16_t(std::int16_t(4000 * (std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 277 * t)))));
        }
        tags.soundStreamData(block);
        if (f > 0)
            MoveOnCircles(tags, shapes, 2, f);
        tags.showFrame();
    }
    return CartoonSwf(tags, framesPerSecond, frames);
}

} // namespace SwfBuild
