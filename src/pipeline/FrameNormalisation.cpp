#include "FrameNormalisation.h"

#include "JpegReader.h"
#include "JpegWriter.h"
#include "Resampling.h"

#include "tools/Failure.h"
#include "tools/PathRoutines.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"
#include "tools/Rounding.h"

#include "tarnwick/Limits.h"

#include "lib/Convert.h"
#include "lib/JpegCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QRect>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <deque>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace Pipeline {

namespace {

constexpr quint8 kFrameQuality = 100;
constexpr quint8 kSolidFrameQuality = 95;

// Step numbers of SetImagesSizes, as error reports name them.
enum Step : int {
    SetBackground = 100,
    NextFrame = 102,
    MakePath = 104,
    ShowValue = 106,
    ShowCaption = 108,
    YieldOnce = 110,
    LoadFrame = 112,
    TakeHeight = 114,
    TakeWidth = 116,
    // 118: the size test; 120..126 loaded the picture a second time
    SizeCanvas = 130,
    FitAndCentre = 134,
    SaveFrame = 136,
};

// A picture the frame reader accepts.
bool WithinLimits(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && quint32(size.width()) <= Tarnwick::kMaxPictureSide
           && quint32(size.height()) <= Tarnwick::kMaxPictureSide
           && quint64(size.width()) * quint64(size.height()) <= Tarnwick::kMaxPicturePixels;
}

// A frame the encoder is given.
bool WithinFrameLimits(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && quint32(size.width()) <= Tarnwick::kMaxFrameSide
           && quint32(size.height()) <= Tarnwick::kMaxFrameSide
           && quint64(size.width()) * quint64(size.height()) <= Tarnwick::kMaxFramePixels;
}

[[noreturn]] void RaiseInvalidPicture()
{
    throw Tools::Failure(Tools::FailureNumber::InvalidPicture, QStringLiteral("Invalid picture"));
}

// The buffers a redraw reuses from frame to frame: fresh memory for every
// frame costs more in page faults than the drawing itself.
struct RedrawScratch
{
    QByteArray file;
    NConvert::Picture decoded;
    NConvert::Picture scaled;
    NConvert::Picture canvas;
};

// A frame's picture size, read from its file's bytes.
struct FrameHeader
{
    QSize size;
    // A frame that is not a JPEG is decoded to learn its size; the pipeline
    // itself only ever writes JPEGs.
    std::optional<NConvert::Picture> decoded;
};

// Reads a frame into `bytes` and its picture's size, or raises the failure
// that names why not.
FrameHeader OpenFrame(const QString &path, QByteArray &bytes)
{
    QFile file(path);
    if (!Tools::ProbeFile(path) || !file.open(QIODevice::ReadOnly))
        throw Tools::Failure(Tools::FailureNumber::FileNotFound, QStringLiteral("File not found"));
    const NConvert::Limits limits;
    if (quint64(file.size()) > limits.maxFileBytes)
        RaiseInvalidPicture();
    bytes.resize(qsizetype(file.size()));
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        RaiseInvalidPicture();
    FrameHeader frame;
    if (const std::optional<QSize> size = ReadJpegSize(bytes)) {
        frame.size = *size;
    } else {
        const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
        NConvert::Result<NConvert::Picture> picture = NConvert::DecodePicture(
            std::span(data, std::size_t(bytes.size())), limits);
        if (!picture)
            RaiseInvalidPicture();
        frame.size = QSize(int(picture->width), int(picture->height));
        frame.decoded = std::move(*picture);
    }
    if (!WithinLimits(frame.size))
        RaiseInvalidPicture();
    return frame;
}

// The picture of a frame, for drawing into `fitted` pixels, in `into`. A
// JPEG is decoded by libjpeg-turbo itself, already reduced when it is at
// least twice the size it is drawn at; the area filter then does the rest.
// A JPEG it refuses (CMYK, or damaged) goes to the converter's decoder,
// which draws what it can of a damaged one.
void DecodeFrame(FrameHeader &frame, const QByteArray &bytes, const QSize &fitted, NConvert::Picture &into)
{
    if (frame.decoded) {
        into = std::move(*frame.decoded);
        return;
    }
    if (DecodeJpeg(bytes, fitted, into))
        return;
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    NConvert::Result<NConvert::Picture> picture = NConvert::DecodePicture(std::span(data, std::size_t(bytes.size())),
                                                                          NConvert::Limits());
    if (!picture)
        RaiseInvalidPicture();
    into = std::move(*picture);
}

void MakeBlackCanvas(qint32 height, qint32 width, NConvert::Picture &canvas)
{
    const QSize size(width, height);
    if (width <= 0 || height <= 0)
        throw Tools::Failure(Tools::FailureNumber::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (!WithinFrameLimits(size))
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    try {
        canvas.width = std::uint32_t(width);
        canvas.height = std::uint32_t(height);
        canvas.rgba.assign(std::size_t(width) * std::size_t(height) * 4, 0);
    } catch (const std::bad_alloc &) {
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    }
}

int RoundToPixel(double value)
{
    return int(std::floor(value + 0.5));
}

// Where a picture of `picture` size goes on a canvas of `canvas` size: as
// large as fits with its aspect ratio kept, centred; the fractional
// rectangle is rounded to whole pixels. Empty when nothing would show.
QRect FittedRect(const QSize &canvas, const QSize &picture)
{
    const double targetWidth = canvas.width();
    const double targetHeight = canvas.height();
    const double ratio = double(picture.width()) / picture.height();
    const double fitWidth = ratio * targetHeight;
    const double newWidth = fitWidth <= targetWidth ? fitWidth : targetWidth;
    const double fitHeight = targetWidth / ratio;
    const double newHeight = fitHeight <= targetHeight ? fitHeight : targetHeight;
    const float x = float(targetWidth / 2 - newWidth / 2);
    const float y = float(targetHeight / 2 - newHeight / 2);

    const int left = std::clamp(RoundToPixel(x), 0, canvas.width());
    const int top = std::clamp(RoundToPixel(y), 0, canvas.height());
    const int right = std::clamp(RoundToPixel(x + newWidth), left + 1, canvas.width());
    const int bottom = std::clamp(RoundToPixel(y + newHeight), top + 1, canvas.height());
    if (right <= left || bottom <= top)
        return QRect();
    return QRect(left, top, right - left, bottom - top);
}

// Draws the picture into `where` on the canvas. A picture that fills the
// whole canvas is drawn straight into it; any other goes through `scaled`.
void DrawFitted(NConvert::Picture &canvas, const NConvert::Picture &picture, const QRect &where,
                NConvert::Picture &scaled)
{
    if (where.isEmpty())
        return;
    const bool whole = where == QRect(0, 0, int(canvas.width), int(canvas.height));
    if (!ResamplePicture(picture, where.width(), where.height(), whole ? canvas : scaled))
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    if (whole)
        return;
    const std::size_t rowBytes = std::size_t(where.width()) * 4;
    for (int y = 0; y < where.height(); ++y)
        std::copy_n(scaled.pixel(0, std::uint32_t(y)), rowBytes,
                    canvas.pixel(std::uint32_t(where.left()), std::uint32_t(where.top() + y)));
}

} // namespace

void YieldToEventLoop()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

QSize LimitFrameSize(const QSize &largest)
{
    if (largest.width() <= 0 || largest.height() <= 0 || WithinFrameLimits(largest))
        return largest;
    const double w = largest.width();
    const double h = largest.height();
    const double scale = std::min({double(Tarnwick::kMaxFrameSide) / w, double(Tarnwick::kMaxFrameSide) / h,
                                   std::sqrt(double(Tarnwick::kMaxFramePixels) / (w * h))});
    const int width = std::max(2, int(std::floor(w * scale)) & ~1);
    const int height = std::max(2, int(std::floor(h * scale)) & ~1);
    return QSize(width, height);
}

bool WriteSolidFrame(const QString &path, const QSize &size, Tarnwick::Rgb colour)
{
    if (!WithinFrameLimits(size))
        return false;
    try {
        NConvert::Picture frame;
        MakeBlackCanvas(size.height(), size.width(), frame);
        for (std::size_t i = 0; i + 3 < frame.rgba.size(); i += 4) {
            frame.rgba[i] = colour.red;
            frame.rgba[i + 1] = colour.green;
            frame.rgba[i + 2] = colour.blue;
        }
        SaveJpeg(frame, path, kSolidFrameQuality);
        return true;
    } catch (const Tools::Failure &) {
        return false;
    }
}

QString FramePath(const QString &workFolder, int number)
{
    return workFolder + QStringLiteral("/temp/image") + QString::number(number) + QStringLiteral(".jpg");
}

void MeasureLargestFrame(const QString &workFolder, qint16 count, qint32 &height, qint32 &width, const Yield &yield)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i) {
        if (yield)
            yield();
        const QSize size = OpenFrame(FramePath(workFolder, i), bytes).size;
        const double area = double(float(size.width())) * double(float(size.height()));
        const qint64 best = qint64(height) * width;
        if (best > std::numeric_limits<qint32>::max() || best < std::numeric_limits<qint32>::min())
            throw Tools::Failure(Tools::FailureNumber::Overflow, QStringLiteral("Overflow"));
        if (area > double(best)) {
            height = qint32(Tools::RoundHalfEven(size.height()));
            width = qint32(Tools::RoundHalfEven(size.width()));
        }
    }
}

namespace {

struct StepReport
{
    int step;
    QString description;
};

// Keeps a worker's reports until the window's thread can show them in order.
class CollectingReporter : public Tools::ErrorReporter
{
public:
    explicit CollectingReporter(std::vector<StepReport> &reports)
        : m_reports(reports)
    {
    }
    void showErrorReport(const QString &, int step, const QString &description) override
    {
        m_reports.push_back({step, description});
    }

private:
    std::vector<StepReport> &m_reports;
};

// Hands each redraw in flight a scratch of its own; there are never more
// than there are redraws at once.
class ScratchPool
{
public:
    std::unique_ptr<RedrawScratch> take()
    {
        const std::lock_guard lock(m_mutex);
        if (m_free.empty())
            return std::make_unique<RedrawScratch>();
        std::unique_ptr<RedrawScratch> scratch = std::move(m_free.back());
        m_free.pop_back();
        return scratch;
    }
    void give(std::unique_ptr<RedrawScratch> scratch)
    {
        const std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(scratch));
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<RedrawScratch>> m_free;
};

// A frame the encoder can grow itself: smaller than the frame on no side
// larger, and a JPEG it reads as it is, damage-free (the converter's rule
// for passing one through).
bool EncoderGrows(const FrameHeader &frame, const QByteArray &bytes, const QSize &target, bool knownPassable)
{
    if (frame.decoded || frame.size.width() > target.width() || frame.size.height() > target.height())
        return false;
    if (knownPassable)
        return true;
    const std::span whole(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    const std::optional<std::span<const std::uint8_t>> passable = NConvert::PassableJpeg(whole, NConvert::Limits());
    return passable && passable->size() == whole.size();
}

// Steps 112 to 136 for one frame: load, fit onto a black canvas, save.
// True when the frame is left for the encoder to grow.
bool RedrawFrame(const QString &path, qint32 height, qint32 width, Growing growing, bool knownPassable,
                 RedrawScratch &scratch, Tools::ReportingTrap &trap)
{
    // The header first: a frame already at the target size is not decoded
    // at all, and redrawing it would only cost a generation of JPEG loss.
    FrameHeader frame;
    bool loaded = trap(LoadFrame, [&] { frame = OpenFrame(path, scratch.file); });
    if (loaded && frame.size == QSize(width, height))
        return false;
    if (loaded && growing == Growing::Encoder && EncoderGrows(frame, scratch.file, QSize(width, height), knownPassable))
        return true;
    const QRect where = loaded && width > 0 && height > 0 ? FittedRect(QSize(width, height), frame.size) : QRect();
    NConvert::Picture &picture = scratch.decoded;
    loaded = loaded && trap(LoadFrame, [&] { DecodeFrame(frame, scratch.file, where.size(), picture); });
    qint32 h = 0;
    qint32 w = 0;
    trap(TakeHeight, [&] { h = qint32(Tools::RoundHalfEven(picture.height)); });
    trap(TakeWidth, [&] { w = qint32(Tools::RoundHalfEven(picture.width)); });
    // A frame that cannot be loaded becomes black rather than vanish, so
    // that the numbering the encoder reads has no gap.
    if (loaded && (h <= 0 || w <= 0))
        return false;

    NConvert::Picture &canvas = scratch.canvas;
    if (!trap(SizeCanvas, [&] { MakeBlackCanvas(height, width, canvas); }))
        return false;
    if (loaded)
        trap(FitAndCentre, [&] { DrawFitted(canvas, picture, where, scratch.scaled); });
    trap(SaveFrame, [&] { SaveJpeg(canvas, path, kFrameQuality); });
    return false;
}

// One frame's redraw on a worker thread: what failed, as reports to show,
// and whether it was left to the encoder.
struct AsideResult
{
    std::vector<StepReport> reports;
    bool leftToEncoder = false;
};

AsideResult RedrawFrameAside(const QString &path, qint32 height, qint32 width, Growing growing, bool knownPassable,
                             ScratchPool &pool)
{
    AsideResult result;
    CollectingReporter collector(result.reports);
    Tools::ReportingTrap trap(collector, QLatin1String(kSetImagesSizesLocation));
    std::unique_ptr<RedrawScratch> scratch = pool.take();
    result.leftToEncoder = RedrawFrame(path, height, width, growing, knownPassable, *scratch, trap);
    pool.give(std::move(scratch));
    return result;
}

} // namespace

int SetImagesSizes(const QString &workFolder, qint16 count, qint32 height, qint32 width, Tools::ProgressSink &bar,
                   Tools::ErrorReporter &reporter, const Yield &yield, Growing growing, const QSet<int> &passable)
{
    Tools::ReportingTrap trap(reporter, QLatin1String(kSetImagesSizesLocation));
    // Frames are independent files: they are redrawn on every core, while
    // progress and reports follow the frame order on this thread. Step 100,
    // the black background, is part of every canvas made.
    const int parallel = std::max(1, QThread::idealThreadCount());
    ScratchPool scratches;
    std::deque<std::future<AsideResult>> inFlight;
    int launched = 0;
    int left = 0;
    for (int i = 1; i <= count; ++i) {
        while (launched < count && launched < i - 1 + parallel) {
            ++launched;
            inFlight.push_back(std::async(std::launch::async, RedrawFrameAside, FramePath(workFolder, launched), height,
                                          width, growing, passable.contains(launched), std::ref(scratches)));
        }
        QString path;
        trap(MakePath, [&] { path = FramePath(workFolder, i); });
        trap(ShowValue, [&] { bar.setValue(double(i) / count * 100); });
        trap(ShowCaption, [&] { bar.setCaption(QStringLiteral("Processing: ") + Tools::FileNameOf(path)); });
        trap(YieldOnce, [&] {
            if (yield)
                yield();
        });
        // Waits at most one frame's redraw, as long as drawing it here took.
        const AsideResult result = inFlight.front().get();
        inFlight.pop_front();
        for (const StepReport &report : result.reports)
            reporter.showErrorReport(QLatin1String(kSetImagesSizesLocation), report.step, report.description);
        left += result.leftToEncoder ? 1 : 0;
    }
    return left;
}

QString FitFilter(const QSize &frame)
{
    // The scaler keeps the aspect ratio and rounds each side to the nearest
    // pixel, and converts to the encoder's format in the same pass; the pad
    // centres the picture on black, as FittedRect does (to a pixel: the
    // chroma needs even positions).
    return QStringLiteral("scale=w=%1:h=%2:force_original_aspect_ratio=decrease:flags=bicubic,format=yuv420p,"
                          "pad=w=%1:h=%2:x=(ow-iw)/2:y=(oh-ih)/2:color=black")
        .arg(frame.width())
        .arg(frame.height());
}

} // namespace Pipeline
