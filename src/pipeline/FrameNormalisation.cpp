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

#include <QCoreApplication>
#include <QFile>
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

// Reads a picture whose header gave `size`, for drawing into `fitted`
// pixels. A JPEG is decoded by libjpeg-turbo itself, already reduced when it
// is at least twice the size it is drawn at; the area filter then does the
// rest. Anything else, or a JPEG it refuses, goes through Qt's readers, which
// reduce only pictures beyond the frame limits (so a huge one never needs its
// full size in memory here).
QImage ReadFrame(const QString &path, const QSize &size, const QSize &fitted)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QImage picture = DecodeJpeg(file.readAll(), fitted);
        if (!picture.isNull())
            return picture;
    }
    QImageReader reader;
    OpenFrame(reader, path);
    if (fitted.isValid() && !WithinFrameLimits(size)
        && (size.width() > fitted.width() || size.height() > fitted.height()))
        reader.setScaledSize(fitted);
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
// whole canvas replaces it, which saves painting it over black.
void DrawFitted(QImage &canvas, const QImage &picture, const QRect &where)
{
    if (where.isEmpty())
        return;
    const QImage scaled = ResampleImage(picture, where.width(), where.height());
    if (scaled.isNull())
        throw Tools::Failure(Tools::FailureNumber::OutOfMemory, QStringLiteral("Out of memory"));
    if (where == canvas.rect()) {
        canvas = scaled;
        return;
    }
    QPainter painter(&canvas);
    painter.drawImage(where.topLeft(), scaled);
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

    // The header first: a frame already at the target size is not decoded
    // at all, and redrawing it would only cost a generation of JPEG loss.
    QSize size;
    bool loaded = trap(LoadFrame, [&] { size = ReadFrameSize(path); });
    if (loaded && size == QSize(width, height))
        return reports;
    const QRect where = loaded && width > 0 && height > 0 ? FittedRect(QSize(width, height), size) : QRect();
    QImage picture;
    loaded = loaded && trap(LoadFrame, [&] { picture = ReadFrame(path, size, where.size()); });
    qint32 h = 0;
    qint32 w = 0;
    trap(TakeHeight, [&] { h = qint32(Tools::RoundHalfEven(picture.height())); });
    trap(TakeWidth, [&] { w = qint32(Tools::RoundHalfEven(picture.width())); });
    // A frame that cannot be loaded becomes black rather than vanish, so
    // that the numbering the encoder reads has no gap.
    if (loaded && (h <= 0 || w <= 0))
        return reports;

    QImage canvas;
    if (!trap(SizeCanvas, [&] { canvas = BlackCanvas(height, width); }))
        return reports;
    if (loaded)
        trap(FitAndCentre, [&] { DrawFitted(canvas, picture, where); });
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
            inFlight.push_back(
                std::async(std::launch::async, RedrawFrame, FramePath(workFolder, launched), height, width));
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
