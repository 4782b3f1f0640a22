#include "SlideShowFrames.h"

#include "tools/PathRoutines.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"
#include "tools/Shell32.h"
#include "tools/ToolDeployment.h"

#include <QFile>

namespace Pipeline {

bool SlideShowFrames::checkChoices(Tools::ReportingTrap &trap)
{
    bool go = true;
    trap(100, [&] {
        const JobChoices &choices = m_job.choices();
        const bool slow = choices.slow;
        const QString delay = (slow ? choices.slowText : choices.fastText).trimmed();
        m_rate = slow ? QStringLiteral("1/") + delay : delay;
        // A delay in the box that is not selected does not make a video: the
        // chosen mode's own box must hold a positive number.
        const bool anyNumeric = IsNumeric(choices.slowText) || IsNumeric(choices.fastText);
        const double value = NumberOf(delay);
        if (!anyNumeric || !IsNumeric(delay) || !(value > 0))
            go = m_job.refuse(QStringLiteral("You must enter a delay."));
        else
            m_frameSeconds = slow ? value : 1.0 / value;
    });
    return go;
}

void SlideShowFrames::appendEndFrame()
{
    // The end frame comes with SLOW alone, and only where the tools were
    // deployed for a 64-bit system: so the design has it, and a video made
    // on a 32-bit system has always ended at its last picture.
    if (!m_job.choices().slow || m_job.run.addressWidth != QLatin1String("64"))
        return;
    int &frameCount = m_video.frameCount;
    const QString frame = m_job.tempFile(QStringLiteral("image%1.jpg").arg(frameCount + 1));
    if (!m_endFrame.isEmpty()) {
        QFile file(frame);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_endFrame) != m_endFrame.size()) {
            file.remove();
            return;
        }
        ++frameCount;
        return;
    }
    const QString source = m_job.tempFile(QStringLiteral("image_1.jpg"));
    Tools::WriteBytesIfAbsent(Tools::LoadResource(Tools::ResourceId::EndFrameBitmap), source);
    Tools::ProgressSink &bar = m_job.controls.progress();
    Tools::RunAndWait(Tools::Command{m_job.run.tools.converter,
                                     {QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-truecolors"),
                                      QStringLiteral("-o"), frame, source},
                                     QString()},
                      &bar, bar.caption(), static_cast<int>(bar.value()), m_job.controls.fileCount());
    Tools::DeleteFiles(source);
    QFile made(frame);
    if (!made.open(QIODevice::ReadOnly))
        return;
    m_endFrame = made.readAll();
    ++frameCount;
}

void SlideShowFrames::layOutMovies()
{
    for (MoviePart &movie : m_video.movies) {
        movie.start = movie.firstFrame * m_frameSeconds;
        movie.seconds = movie.frames * m_frameSeconds;
    }
    m_video.seconds = m_video.frameCount * m_frameSeconds;
}

bool SlideShowFrames::frameTiming(EncodeRequest &request)
{
    request.rate = m_rate;
    request.frameSeconds = m_frameSeconds;
    return true;
}

} // namespace Pipeline
