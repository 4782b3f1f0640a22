#pragma once

#include "StagedFrames.h"

namespace Pipeline {

// SLOW and FAST: every picture of the movies, one after another, each shown
// for the same time; in SLOW, a black end frame after them.
class SlideShowFrames : public StagedFrames
{
public:
    using StagedFrames::StagedFrames;

    bool checkChoices(Tools::ReportingTrap &trap) override;

protected:
    void appendEndFrame() override;
    void layOutMovies() override;
    bool frameTiming(EncodeRequest &request) override;

private:
    QString m_rate; // frames per second as the encoder takes it: "1/3" or "5"
    double m_frameSeconds = 0;
    QByteArray m_endFrame; // once converted: the same for every video of the job
};

} // namespace Pipeline
