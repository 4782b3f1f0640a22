#pragma once

#include "tarnwick/Rgb.h"

#include <QSet>
#include <QSize>
#include <QString>

#include <functional>

namespace Tools {
class ErrorReporter;
class ProgressSink;
} // namespace Tools

// Brings the frames WorkFolder/temp/image1.jpg ... imageN.jpg to one size
// before they are encoded. The conversion job calls, per video:
//
//     qint32 height = 0, width = 0;
//     MeasureLargestFrame(workFolder, count, height, width);
//     height -= height % 2; width -= width % 2;   // the encoder wants even sizes
//     if (SetImagesSizes(workFolder, count, height, width, bar, reporter,
//                        YieldToEventLoop, Growing::Encoder) > 0)
//         ...the encoder is given FitFilter(QSize(width, height))
namespace Pipeline {

// Called once per frame so that the window stays responsive; by default
// QCoreApplication::processEvents.
using Yield = std::function<void()>;
void YieldToEventLoop();

// Location text of SetImagesSizes in error reports.
inline constexpr char kSetImagesSizesLocation[] = "in Tarnwick2021/08/31.Form1.SetImagesSizes ";

// The largest frame size `largest` may give: itself when within the frame
// limits (tarnwick/Limits.h), otherwise scaled down with its aspect ratio
// kept and its sides rounded down to even.
QSize LimitFrameSize(const QSize &largest);

// Writes a frame of `size` all in `colour` to `path` as a JPEG of quality
// 95; false when it cannot be written.
bool WriteSolidFrame(const QString &path, const QSize &size, Tarnwick::Rgb colour);

// The path of frame `number`: WorkFolder/temp/image<number>.jpg.
QString FramePath(const QString &workFolder, int number);

// Finds the frame of largest area among frames 1..count (nothing when count
// is below 1), reading only each picture's header. A frame replaces the
// values in `height` and `width` only when its area is strictly greater than
// their product, so of equal areas the lowest-numbered frame wins. Yields
// once per frame. A frame that cannot be read (Failure 53 "File not found",
// 481 "Invalid picture") or a product beyond 32 bits (Failure 6 "Overflow")
// ends the measurement: the values found so far stay.
void MeasureLargestFrame(const QString &workFolder, qint16 count, qint32 &height, qint32 &width,
                         const Yield &yield = YieldToEventLoop);

// Who brings a picture smaller than the frame up to its size.
enum class Growing {
    Redraw, // this pass, as every other frame
    // The encoder's scaler (FitFilter), for a JPEG it reads as it is: a
    // decode, a redraw and a JPEG of quality 100 for it to decode fewer.
    Encoder,
};

// Redraws frames 1..count at width x height: each picture is scaled to fit
// with its aspect ratio kept, centred on black, and saved over its own file
// as a JPEG of quality 100. A frame already exactly that size is left as it
// is, and so is one that `growing` leaves to the encoder. A picture larger
// than the frame is read already reduced. Progress: value i / count x 100 and
// the caption "Processing: image<i>.jpg" before frame i. Every failing step is
// reported through `reporter` with the location text and the step number, and
// the pass goes on: a frame that cannot be loaded (step 112) becomes a black
// frame, one that cannot be saved (step 136) keeps its old file. Returns how
// many frames were left for the encoder to fit. `passable` names frames the
// caller already found the encoder reads as they are (NConvert's
// PassableJpeg), so that they are not read through again.
int SetImagesSizes(const QString &workFolder, qint16 count, qint32 height, qint32 width, Tools::ProgressSink &bar,
                   Tools::ErrorReporter &reporter, const Yield &yield = YieldToEventLoop,
                   Growing growing = Growing::Redraw, const QSet<int> &passable = {});

// The encoder's video filter that fits every frame into `frame` as the
// redraw does: scaled with its aspect ratio kept, centred on black. A frame
// already that size only passes through.
QString FitFilter(const QSize &frame);

} // namespace Pipeline
