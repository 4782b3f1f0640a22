#include "FrameNormalisation.h"

#include "JpegWriter.h"
#include "Resampling.h"

#include "tools/Failure.h"
#include "tools/PathRoutines.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"
#include "tools/Rounding.h"

#include "tarnwick/Limits.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <QThread>

#include <algorithm>
#include <cmath>
#include <deque>
#include <future>
#include <vector>
#include <limits>

namespace Pipeline {

namespace {

constexpr quint8 kFrameQuality = 100;

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

// Opens a frame for reading, or raises the failure that names why not.
void OpenFrame(QImageReader &reader, const QString &path)
{
    // The reader's own allocation limit (128 MiB by default) would make a
    // picture within the picture limit come out black.
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(int(Tarnwick::kMaxPictureBytes >> 20) + 1);
        return true;
    }();
    Q_UNUSED(limitSet);
    if (!Tools::ProbeFile(path))
        throw Tools::Failure(Tools::FailureNumber::FileNotFound, QStringLiteral("File not found"));
    reader.setFileName(path);
    reader.setDecideFormatFromContent(true);
}

[[noreturn]] void RaiseInvalidPicture()
{
    throw Tools::Failure(Tools::FailureNumber::InvalidPicture, QStringLiteral("Invalid picture"));
}

QSize ReadFrameSize(const QString &path)
{
    QImageReader reader;
    OpenFrame(reader, path);
    const QSize size = reader.size();
    if (!WithinLimits(size))
        RaiseInvalidPicture();
    return size;
}

// Reads the picture; one beyond the frame limits that is larger than `frame`
// is decoded already reduced to fit it (JPEG decodes at a fraction of its
// size), so a huge picture never needs its full size in memory here. Smaller
// ones are read whole, so that their fitting is exact.
QImage ReadFrame(const QString &path, const QSize &frame)
{
    QImageReader reader;
    OpenFrame(reader, path);
    const QSize size = reader.size();
    if (!WithinLimits(size))
        RaiseInvalidPicture();
    if (frame.isValid() && !WithinFrameLimits(size) && (size.width() > frame.width() || size.height() > frame.height()))
        reader.setScaledSize(size.scaled(frame, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage picture = reader.read();
    if (picture.isNull())
        RaiseInvalidPicture();
    return picture;
}

QImage BlackCanvas(qint32 height, qint32 width)
{
    const QSize size(width, height);
    if (width <= 0 || height <= 0)
        throw Tools::Failure(Tools::FailureNumber::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (!WithinFrameLimits(size))
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    QImage canvas(size, QImage::Format_RGB32);
    if (canvas.isNull())
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    canvas.fill(Qt::black);
    return canvas;
}

int RoundToPixel(double value)
{
    return int(std::floor(value + 0.5));
}

// Draws the picture onto the canvas as large as fits with its aspect ratio
// kept, centred; the fractional rectangle is rounded to whole pixels.
void DrawFitted(QImage &canvas, const QImage &picture)
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
        return;
    const QImage scaled = ResampleImage(picture, right - left, bottom - top);
    if (scaled.isNull())
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    QPainter painter(&canvas);
    painter.drawImage(left, top, scaled);
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

QString FramePath(const QString &workFolder, int number)
{
    return workFolder + QStringLiteral("/temp/image") + QString::number(number) + QStringLiteral(".jpg");
}

void MeasureLargestFrame(const QString &workFolder, qint16 count, qint32 &height, qint32 &width, const Yield &yield)
{
    for (int i = 1; i <= count; ++i) {
        if (yield)
            yield();
        const QSize size = ReadFrameSize(FramePath(workFolder, i));
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

// Steps 112 to 136 for one frame: load, fit onto a black canvas, save. Runs
// on a worker thread; what failed comes back as reports to show.
std::vector<StepReport> RedrawFrame(const QString &path, qint32 height, qint32 width)
{
    std::vector<StepReport> reports;
    CollectingReporter collector(reports);
    Tools::ReportingTrap trap(collector, QLatin1String(kSetImagesSizesLocation));

    QImage picture;
    const bool loaded = trap(LoadFrame, [&] { picture = ReadFrame(path, QSize(width, height)); });
    qint32 h = 0;
    qint32 w = 0;
    trap(TakeHeight, [&] { h = qint32(Tools::RoundHalfEven(picture.height())); });
    trap(TakeWidth, [&] { w = qint32(Tools::RoundHalfEven(picture.width())); });
    // A frame that cannot be loaded becomes black rather than vanish, so
    // that the numbering the encoder reads has no gap.
    if (loaded && (h <= 0 || w <= 0))
        return reports;
    // Already the target size: redrawing would only cost a generation of
    // JPEG loss.
    if (loaded && h == height && w == width)
        return reports;

    QImage canvas;
    if (!trap(SizeCanvas, [&] { canvas = BlackCanvas(height, width); }))
        return reports;
    if (loaded)
        trap(FitAndCentre, [&] { DrawFitted(canvas, picture); });
    trap(SaveFrame, [&] { SaveJpeg(canvas, path, kFrameQuality); });
    return reports;
}

} // namespace

void SetImagesSizes(const QString &workFolder, qint16 count, qint32 height, qint32 width, Tools::ProgressSink &bar,
                    Tools::ErrorReporter &reporter, const Yield &yield)
{
    Tools::ReportingTrap trap(reporter, QLatin1String(kSetImagesSizesLocation));
    // Frames are independent files: they are redrawn on every core, while
    // progress and reports follow the frame order on this thread. Step 100,
    // the black background, is part of every canvas made.
    const int parallel = std::max(1, QThread::idealThreadCount());
    std::deque<std::future<std::vector<StepReport>>> inFlight;
    int launched = 0;
    for (int i = 1; i <= count; ++i) {
        while (launched < count && launched < i - 1 + parallel) {
            ++launched;
            inFlight.push_back(std::async(std::launch::async, RedrawFrame, FramePath(workFolder, launched), height, width));
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
        for (const StepReport &report : inFlight.front().get())
            reporter.showErrorReport(QLatin1String(kSetImagesSizesLocation), report.step, report.description);
        inFlight.pop_front();
    }
}

} // namespace Pipeline
