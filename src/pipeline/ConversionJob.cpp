#include "ConversionJob.h"

#include "FrameMaking.h"
#include "OutputFolder.h"
#include "OutputPlan.h"

#include "tools/PathRoutines.h"
#include "tools/ProcessRunner.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"
#include "tools/Rounding.h"
#include "tools/ToolDeployment.h"

namespace Pipeline {

namespace {

constexpr char kPlayerSite[] = "https://player.tarnwick.example/";
const QString kCrLf = QStringLiteral("\r\n");

} // namespace

int QualityFromSlider(int value, int maximum)
{
    const int quality = static_cast<int>(Tools::RoundHalfEven((maximum - value) * 10.0 / 32.0));
    return quality == 0 ? 1 : quality;
}

ConversionJob::ConversionJob(JobControls &controls, QString workFolder, MediaReaders readers)
    : m_job(controls, std::move(workFolder), std::move(readers))
{
}

ConversionJob::~ConversionJob() = default;

bool ConversionJob::checkOutputFolder(const QString &folder)
{
    const QString problem = OutputFolderProblem(folder);
    if (problem.isEmpty())
        return true;
    if (!Tools::IsFolder(folder))
        return m_job.refuse(QStringLiteral("Folder does not exist. Please select another folder."));
    return m_job.refuse(QStringLiteral("Videos cannot be saved in the folder %1 (%2). Please select another folder.")
                            .arg(folder, problem));
}

void ConversionJob::PushButton2_Click()
{
    if (m_converting)
        return;
    m_converting = true;
    Tools::ResumeChildren();
    m_frames.reset();
    m_output.reset();
    m_job.run = JobRun();
    // Taken once: a choice changed while the job runs is for the next job.
    m_job.run.choices = JobChoices::ReadFrom(m_job.controls);
    m_output = std::make_unique<OutputPlan>(m_job);
    m_frames = MakeFrameMaking(m_job, *m_output);

    Tools::ReportingTrap trap(m_job.controls.errorReporter(), QLatin1String(kJobLocation));
    if (checkChoices(trap)) {
        setUpTools(trap);
        const int count = m_job.controls.fileCount();
        for (int i = 1; i <= count && !m_job.cancelled(); ++i)
            convertFile(trap, i);
        if (m_job.choices().combine && !m_job.cancelled())
            makeCombinedVideo(trap);
        finishJob(trap);
    }
    Tools::ResumeChildren();
    m_converting = false;
}

// Every check made before any work; false when the job was refused.
bool ConversionJob::checkChoices(Tools::ReportingTrap &trap)
{
    if (!m_frames->checkChoices(trap))
        return false;
    JobControls &controls = m_job.controls;
    const JobChoices &choices = m_job.choices();
    controls.yield();
    if (controls.fileCount() <= 0)
        return m_job.refuse(QStringLiteral("No files added."));
    // Checked before any work, so that no movie is read for a video that
    // cannot be saved. Beside the sources, each source's folder is checked
    // when its turn comes; a combined video goes beside the first one.
    if (!choices.saveBeside && !checkOutputFolder(choices.folder))
        return false;
    if (choices.saveBeside && choices.combine && !checkOutputFolder(Tools::FolderOf(controls.fileAt(1))))
        return false;
    bool go = true;
    trap(102, [&] {
        m_job.run.encoder = Tools::LocateFfmpeg();
        if (m_job.run.encoder.isEmpty())
            go = m_job.refuse(QString::fromUtf8(Tools::kEncoderMissingMessage));
    });
    if (!go)
        return false;
    const QString missing = m_frames->missingParts();
    if (!missing.isEmpty())
        return m_job.refuse(missing);
    const QString problem = Tools::WorkFolderProblem(m_job.workFolder);
    return problem.isEmpty() || m_job.refuse(problem);
}

void ConversionJob::setUpTools(Tools::ReportingTrap &trap)
{
    JobRun &run = m_job.run;
    trap(104, [&] { m_job.controls.setPointer(Pointer::Busy); });
    trap(106, [&] {
        const Tools::ToolSet tools = Tools::DeployTools(m_job.workFolder, run.encoder);
        run.tools = {tools.ExtractorCmd, tools.ConverterCmd, tools.EncoderCmd};
        run.addressWidth = tools.AddressWidth;
    });
    trap(108, [&] { run.quality = QualityFromSlider(run.choices.qualityValue, run.choices.qualityMaximum); });
    m_frames->setUp();
}

// The file at `position`: its frames, and with one video per file its video.
void ConversionJob::convertFile(Tools::ReportingTrap &trap, int position)
{
    JobControls &controls = m_job.controls;
    const int count = controls.fileCount();
    QString path;
    trap(110, [&] {
        path = controls.fileAt(position);
        controls.progress().setValue(static_cast<double>(position) / count * 100.0);
        controls.progress().setCaption(QStringLiteral("Processing: ") + Tools::FileNameOf(path));
        controls.yield();
    });
    const bool eachFile = m_job.choices().eachFile;
    QString output;
    if (eachFile) {
        trap(116, [&] { output = m_output->fileVideo(path); });
        if (!m_output->folderTakes(path, output))
            return;
    }
    if (!m_frames->takeFile(trap, position, path, output))
        return;
    if (eachFile && !m_job.cancelled())
        m_frames->makeFileVideo(trap, path, output);
}

void ConversionJob::makeCombinedVideo(Tools::ReportingTrap &trap)
{
    QString output;
    trap(122, [&] {
        output = m_output->combinedVideo();
        m_job.controls.progress().setCaption(QStringLiteral("Processing: output video"));
    });
    m_frames->makeCombinedVideo(trap, output);
}

// Removes the tools and scratch files, resets the window and shows the
// summary.
void ConversionJob::finishJob(Tools::ReportingTrap &trap)
{
    m_frames->finish(); // waits for the work a cancel cut short
    m_output->settle();
    m_job.cancelled();
    trap(124, [&] {
        m_frames->clearScratch();
        Tools::DeleteFiles(m_job.workFolder + QLatin1Char('/') + QLatin1String(kScriptName));
        Tools::DeleteFiles(m_job.workFolder + QLatin1Char('/') + QLatin1String(kMarkerName));
        const ToolPaths &tools = m_job.run.tools;
        for (const QString &tool : {tools.encoder, tools.converter, tools.extractor}) {
            if (!tool.isEmpty())
                Tools::DeleteFiles(tool);
        }
    });
    JobControls &controls = m_job.controls;
    trap(126, [&] {
        controls.setPointer(Pointer::Default);
        controls.progress().setValue(0);
        controls.progress().setCaption(QStringLiteral("Progress Bar"));
    });
    trap(128, [&] {
        controls.showSummary(summary(), m_job.run.outcome.details.join(QLatin1Char('\n')), m_output->resultFolder());
    });
}

QString ConversionJob::summary() const
{
    const JobOutcome &outcome = m_job.run.outcome;
    if (outcome.cancelled) {
        QString text = QStringLiteral("The job was cancelled.") + kCrLf + kCrLf;
        if (outcome.made.isEmpty()) {
            text += QStringLiteral("No video was made; older videos were kept.");
        } else {
            text += QStringLiteral("The following videos were made: ") + kCrLf;
            for (const QString &path : outcome.made)
                text += path + kCrLf;
        }
        return text;
    }
    QString text = QStringLiteral("Done.") + kCrLf + kCrLf;
    if (!outcome.noPictures.isEmpty()) {
        text += QStringLiteral("The following files: ") + kCrLf;
        for (const QString &path : outcome.noPictures)
            text += path + kCrLf;
        text += kCrLf + kCrLf + QStringLiteral("SWF could not be read or SWF does not contain any images to extract. ")
                + kCrLf + kCrLf
                + QStringLiteral(
                    "Please try opening these SWF files in your web browser (Google Chrome for example) to see "
                    "if they actually play like valid SWF files or have images that can be extracted.");
    } else if (outcome.failed.isEmpty()) {
        text += QStringLiteral("Please open with 'Media Player Classic - Home Cinema'") + kCrLf + QLatin1Char('(')
                + QLatin1String(kPlayerSite) + QLatin1Char(')');
    }
    if (!outcome.failed.isEmpty()) {
        if (!outcome.noPictures.isEmpty())
            text += kCrLf + kCrLf;
        text += QStringLiteral("The following videos could not be made: ") + kCrLf;
        for (const QString &path : outcome.failed) {
            const QString reason = outcome.reasons.value(path);
            text += path + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) + kCrLf;
        }
    }
    if (!outcome.partlyRead.isEmpty()) {
        text += kCrLf + kCrLf + QStringLiteral("The following files could only be read in part: ") + kCrLf;
        for (const QString &path : outcome.partlyRead)
            text += path + kCrLf;
    }
    return text;
}

} // namespace Pipeline
