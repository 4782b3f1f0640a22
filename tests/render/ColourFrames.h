#pragma once

#include "MediaProbe.h"
#include "TempFolder.h"
#include "VectorSwf.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// The colour of one pixel (x, y) in every decoded frame of a video.
inline std::vector<SwfBuild::Rgb> PixelPerFrame(const QString &video, int x, int y, const TempFolder &work)
{
    const QString raw = work.file(QStringLiteral("pixels.rgb"));
    EXPECT_TRUE(RunFfmpeg({QStringLiteral("-i"), video, QStringLiteral("-vf"),
                           QStringLiteral("crop=2:2:%1:%2,scale=1:1").arg(x).arg(y), QStringLiteral("-f"),
                           QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), raw}));
    QFile f(raw);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    std::vector<SwfBuild::Rgb> colours;
    for (qsizetype i = 0; i + 2 < bytes.size(); i += 3)
        colours.push_back({quint8(bytes[i]), quint8(bytes[i + 1]), quint8(bytes[i + 2])});
    return colours;
}

// Which of ColourStepMovie's frame colours `c` is closest to; -1 for none.
inline int NearestStep(const SwfBuild::Rgb &c, int steps)
{
    int best = -1;
    double bestDistance = 1e9;
    for (int i = 0; i < steps; ++i) {
        const SwfBuild::Rgb s = SwfBuild::StepColour(i);
        const double d = std::hypot(std::hypot(c[0] - s[0], c[1] - s[1]), c[2] - s[2]);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return bestDistance < 40 ? best : -1;
}
