#pragma once

#include "JobContext.h"
#include "JobControls.h"
#include "MovieExtraction.h"
#include "MovieTiming.h"
#include "Soundtrack.h"
#include "TimelineReport.h"
#include "VideoEncoding.h"

#include <QString>

#include <memory>

namespace Tools {
class ReportingTrap;
}

namespace Pipeline {

class FrameMaking;
class OutputPlan;

// The Start button's work: checks the choices, deploys the tools, has each
// SWF's frames made the chosen way (FrameMaking), encodes each MP4 where
// the output plan says (OutputPlan) and reports one summary. The numbered
// steps are those error reports name.
class ConversionJob
{
public:
    // `workFolder` is the program's private scratch folder.
    ConversionJob(JobControls &controls, QString workFolder, MediaReaders readers = {});
    ~ConversionJob();

    // Runs the job; a call while a job runs returns at once.
    void PushButton2_Click();

    bool converting() const { return m_converting; }
    const JobOutcome &outcome() const { return m_job.run.outcome; }

private:
    bool checkChoices(Tools::ReportingTrap &trap);
    void setUpTools(Tools::ReportingTrap &trap);
    void convertFile(Tools::ReportingTrap &trap, int position);
    void makeCombinedVideo(Tools::ReportingTrap &trap);
    void finishJob(Tools::ReportingTrap &trap);
    bool checkOutputFolder(const QString &folder);
    QString summary() const;

    JobContext m_job;
    bool m_converting = false;
    // Of one run.
    std::unique_ptr<OutputPlan> m_output;
    std::unique_ptr<FrameMaking> m_frames;
};

// Quality 1 (best) .. 31 from the slider: (maximum - value) x 10 / 32,
// rounded with ties to even, at least 1.
int QualityFromSlider(int value, int maximum);

} // namespace Pipeline
