#include "FrameMaking.h"

#include "PlayFrames.h"
#include "SlideShowFrames.h"
#include "TimedFrames.h"

#include "tools/PathRoutines.h"
#include "tools/ReportingTrap.h"

namespace Pipeline {

bool FrameMaking::checkChoices(Tools::ReportingTrap &trap)
{
    // A movie shown as the movie shows it, or recorded as it plays, keeps
    // its own timing: no delay to check.
    trap(100, [] {});
    return true;
}

void FrameMaking::clearScratch()
{
    Tools::DeleteFiles(m_job.tempFile(QStringLiteral("*.*")));
    Tools::DeleteFiles(m_job.pictureFile(QStringLiteral("*.*")));
}

std::unique_ptr<FrameMaking> MakeFrameMaking(JobContext &job, OutputPlan &output)
{
    // PLAY wins over the other choices wherever it was given.
    if (job.choices().play)
        return std::make_unique<PlayFrames>(job, output);
    if (job.choices().movie)
        return std::make_unique<TimedFrames>(job, output);
    return std::make_unique<SlideShowFrames>(job, output);
}

} // namespace Pipeline
