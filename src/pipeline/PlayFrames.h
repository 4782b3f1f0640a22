#pragma once

#include "FrameMaking.h"

#include <memory>

namespace Pipeline {

class PlayRecording;

// PLAY: each movie recorded as it plays (PlayRecording); the delay boxes do
// not apply. Combined, the recordings follow one another in one video.
class PlayFrames : public FrameMaking
{
public:
    PlayFrames(JobContext &job, OutputPlan &output);
    ~PlayFrames() override;

    QString missingParts() const override;
    void setUp() override;
    bool takeFile(Tools::ReportingTrap &trap, int position, const QString &path, const QString &output) override;
    void makeFileVideo(Tools::ReportingTrap &trap, const QString &path, const QString &output) override;
    void makeCombinedVideo(Tools::ReportingTrap &trap, const QString &output) override;
    void finish() override;

private:
    bool record(const QString &path, int position, const QString &output);
    void publish(const QString &output);

    std::unique_ptr<PlayRecording> m_play;
};

} // namespace Pipeline
