#include "PlayFrames.h"

#include "PlayRecording.h"

#include "render/MovieRecorder.h"
#include "tools/PathRoutines.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"

#include <algorithm>

namespace Pipeline {

PlayFrames::PlayFrames(JobContext &job, OutputPlan &output)
    : FrameMaking(job, output)
{
}

PlayFrames::~PlayFrames() = default;

QString PlayFrames::missingParts() const
{
    return Render::MovieRecorder::MissingParts(m_job.choices().playAssets);
}

void PlayFrames::setUp()
{
    const JobRun &run = m_job.run;
    // The quality gives the crf as for the other modes.
    m_play = std::make_unique<PlayRecording>(PlayRecording::Setup{m_job.workFolder, run.choices.playAssets,
                                                                  run.tools.extractor, run.encoder, run.quality + 10,
                                                                  run.choices.playFps, run.choices.playHeight,
                                                                  run.choices.playSeconds});
}

bool PlayFrames::takeFile(Tools::ReportingTrap &trap, int position, const QString &path, const QString &output)
{
    bool recorded = false;
    trap(112, [&] { recorded = record(path, position, output); });
    return recorded;
}

void PlayFrames::makeFileVideo(Tools::ReportingTrap &trap, const QString &path, const QString &output)
{
    Q_UNUSED(path);
    trap(112, [&] { publish(output); });
}

void PlayFrames::makeCombinedVideo(Tools::ReportingTrap &trap, const QString &output)
{
    trap(134, [&] { publish(output); });
}

void PlayFrames::finish()
{
    if (m_play)
        m_play->clear();
    m_play.reset();
}

// True when the movie was recorded and the job goes on.
bool PlayFrames::record(const QString &path, int position, const QString &output)
{
    const int count = m_job.controls.fileCount();
    const QString name = Tools::FileNameOf(path);
    Tools::ProgressSink &bar = m_job.controls.progress();
    const auto progress = [&](int recorded, int total) {
        bar.setValue((position - 1 + static_cast<double>(recorded) / std::max(1, total)) / count * 100.0);
        bar.setCaption(QStringLiteral("Processing: %1 frame %2 of %3").arg(name).arg(recorded).arg(total));
    };
    QStringList notes;
    QString reason;
    const bool recorded = m_play->record(path, position, progress, notes, reason);
    for (const QString &note : notes)
        m_job.note(path, note);
    if (m_job.cancelled())
        return false;
    if (!recorded) {
        // In a combined video the movie is left out and the others follow.
        m_job.note(path, QStringLiteral("not recorded: ") + reason);
        m_output.fail(m_job.choices().eachFile ? m_output.claim(output) : path,
                      QStringLiteral("not recorded: ") + reason);
        return false;
    }
    return true;
}

void PlayFrames::publish(const QString &output)
{
    const QString claimed = m_output.claim(output);
    QString reason;
    const bool made = m_play->publish(claimed, reason);
    m_output.record(claimed, made, reason);
    m_play->clear();
}

} // namespace Pipeline
