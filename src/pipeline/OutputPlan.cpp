#include "OutputPlan.h"

#include "OutputFolder.h"

#include "tools/PathRoutines.h"

#include <QLocale>

namespace Pipeline {

OutputPlan::OutputPlan(JobContext &job)
    : m_job(job)
{
}

OutputPlan::~OutputPlan() = default;

QString OutputPlan::fileVideo(const QString &path) const
{
    const JobChoices &choices = m_job.choices();
    const QString folder = choices.saveToFolder ? choices.folder : Tools::FolderOf(path);
    return Tools::CollapseSlashes(folder + QLatin1Char('/') + Tools::StripExtension(Tools::FileNameOf(path))
                                  + QStringLiteral(".mp4"));
}

QString OutputPlan::combinedVideo() const
{
    const JobChoices &choices = m_job.choices();
    const QString folder = choices.saveToFolder ? choices.folder : Tools::FolderOf(m_job.controls.fileAt(1));
    return Tools::CollapseSlashes(folder + QStringLiteral("/video.mp4"));
}

bool OutputPlan::folderTakes(const QString &path, const QString &output)
{
    if (!m_job.choices().saveBeside)
        return true;
    const QString problem = OutputFolderProblem(Tools::FolderOf(path));
    if (problem.isEmpty())
        return true;
    fail(claim(output), problem);
    return false;
}

QString OutputPlan::claim(const QString &path)
{
    QString claimed = path;
    for (int n = 2; m_claimed.contains(claimed); ++n)
        claimed = Tools::StripExtension(path) + QStringLiteral(" (%1).mp4").arg(n);
    m_claimed.insert(claimed);
    return claimed;
}

void OutputPlan::fail(const QString &output, const QString &reason)
{
    settle();
    JobOutcome &outcome = m_job.outcome();
    outcome.failed.append(output);
    if (!reason.isEmpty())
        outcome.reasons.insert(output, reason);
}

void OutputPlan::publish(EncodeRequest request, const QString &target, const QString &reason)
{
    // The video before this one was checked beside this one's work and
    // encode; it is counted first.
    settle();
    if (target.isEmpty()) {
        recordVideo(request, false, reason);
        return;
    }
    request.progress = nullptr;
    if (!m_job.choices().eachFile) {
        QString problem = reason;
        const bool made = PublishVideo(request, target, CheckTemporaryVideo(request, target), &problem);
        recordVideo(request, made, problem);
        return;
    }
    // One video per file: the check reads the video on a thread of its own
    // beside the next file's work; the video replaces the old one as soon as
    // it is found whole, and is counted in its place.
    m_pending = std::make_unique<PendingVideo>();
    m_pending->request = request;
    m_pending->target = target;
    m_pending->detailsAt = m_job.outcome().details.size() - m_detailsInserted;
    m_pending->check = std::make_unique<SideTask<CheckedVideo>>([request, target] {
        CheckedVideo checked;
        checked.problem = CheckTemporaryVideo(request, target);
        checked.whole = checked.problem.isEmpty();
        checked.made = checked.whole && PublishVideo(request, target, QString(), &checked.problem);
        return checked;
    });
}

void OutputPlan::record(const QString &output, bool made, const QString &reason)
{
    if (made)
        m_job.outcome().made.append(output);
    else if (!m_job.cancelled())
        fail(output, reason);
}

void OutputPlan::settle()
{
    if (!m_pending)
        return;
    const std::unique_ptr<PendingVideo> pending = std::move(m_pending);
    CheckedVideo checked = pending->check->take();
    if (!checked.whole)
        checked.made = PublishVideo(pending->request, pending->target, checked.problem, &checked.problem);
    recordVideo(pending->request, checked.made, checked.problem, pending->detailsAt);
}

// `detailsAt` places the video's note among the details when it is counted
// after later notes were made.
void OutputPlan::recordVideo(const EncodeRequest &request, bool made, const QString &reason,
                             std::optional<qsizetype> detailsAt)
{
    if (!made) {
        if (!m_job.cancelled())
            fail(request.output, reason);
        return;
    }
    JobOutcome &outcome = m_job.outcome();
    outcome.made.append(request.output);
    const double seconds = request.seconds();
    if (seconds >= 1.0)
        return;
    const QString note = QStringLiteral("%1 lasts only %2 s: some players show nothing of a video shorter than one "
                                        "second.")
                             .arg(request.output, QLocale::c().toString(seconds, 'g', 3));
    if (detailsAt) {
        outcome.details.insert(*detailsAt + m_detailsInserted, note);
        ++m_detailsInserted;
    } else {
        outcome.details.append(note);
    }
}

QString OutputPlan::resultFolder() const
{
    const JobRun &run = m_job.run;
    if (run.choices.saveToFolder)
        return run.choices.folder;
    return run.outcome.made.isEmpty() ? QString() : Tools::FolderOf(run.outcome.made.constFirst());
}

} // namespace Pipeline
