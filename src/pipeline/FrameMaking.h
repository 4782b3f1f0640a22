#pragma once

#include "JobContext.h"
#include "OutputPlan.h"

#include <QString>

#include <memory>

namespace Tools {
class ReportingTrap;
}

namespace Pipeline {

// One way of making a job's frames: a slide show of the movies' pictures
// (SLOW, FAST), the pictures timed as the movie shows them (AS IN MOVIE),
// or the movie recorded as it plays (PLAY). The job's driver calls these
// in its numbered steps; one is made for each run.
class FrameMaking
{
public:
    FrameMaking(JobContext &job, OutputPlan &output)
        : m_job(job)
        , m_output(output)
    {
    }
    virtual ~FrameMaking() = default;
    FrameMaking(const FrameMaking &) = delete;
    FrameMaking &operator=(const FrameMaking &) = delete;

    // Step 100, the first check at Start: false when the job was refused.
    virtual bool checkChoices(Tools::ReportingTrap &trap);
    // What this way needs that the machine lacks, checked before any work;
    // empty when nothing is missing.
    virtual QString missingParts() const { return QString(); }
    // Once the tools are deployed.
    virtual void setUp() { }
    // Reads the file at `position` (`output`: its video with one video per
    // file). False when no video is to be made of it now.
    virtual bool takeFile(Tools::ReportingTrap &trap, int position, const QString &path, const QString &output) = 0;
    // One video per file: the video of the file just taken.
    virtual void makeFileVideo(Tools::ReportingTrap &trap, const QString &path, const QString &output) = 0;
    // Combined: the one video of every file taken.
    virtual void makeCombinedVideo(Tools::ReportingTrap &trap, const QString &output) = 0;
    // At the job's end, before its last video is counted: waits for the
    // work begun beside it.
    virtual void finish() { }
    // Removes the scratch files in temp/ and SWFPic/.
    virtual void clearScratch();

protected:
    JobContext &m_job;
    OutputPlan &m_output;
};

// The way the run's choices name.
std::unique_ptr<FrameMaking> MakeFrameMaking(JobContext &job, OutputPlan &output);

} // namespace Pipeline
