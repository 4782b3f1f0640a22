#include "tools/Failure.h"
#include "tools/ReportingTrap.h"

#include "QtPrinters.h"
#include "RecordingReporter.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Tools;

TEST(ErrorPrompt, ExactBytes)
{
    const QString prompt = BuildErrorPrompt(QStringLiteral("in Tarnwick2021/08/31.Form1.PushButton1_Click "), 124,
                                            QStringLiteral("File not found"));
    EXPECT_EQ(prompt.toStdString(), "File not found\r\nin Tarnwick2021/08/31.Form1.PushButton1_Click at line 124\r\r"
                                    "Please email screenshot of this message to support@tarnwick.example");
}

TEST(ReportingTrap, TwoFailuresTwoReportsAndTheRoutineFinishes)
{
    RecordingReporter reporter;
    std::vector<int> ran;
    {
        ReportingTrap trap(reporter, QStringLiteral("in Pellmoor2021/08/31.AddFolder.GetSubDirectories2016 "));
        trap(100, [&] { throw Failure(53, QStringLiteral("File not found")); });
        trap(102, [&] { ran.push_back(102); });
        trap(104, [&] {
            ran.push_back(104);
            throw std::runtime_error("disk full");
            ran.push_back(-1);
        });
        const bool lastOk = trap(106, [&] { ran.push_back(106); });
        EXPECT_TRUE(lastOk);
    }
    EXPECT_EQ(ran, (std::vector<int>{102, 104, 106}));
    ASSERT_EQ(reporter.reports.size(), 2u);
    EXPECT_EQ(reporter.reports[0].step, 100);
    EXPECT_EQ(reporter.reports[0].description, QStringLiteral("File not found"));
    EXPECT_EQ(reporter.reports[0].location, QStringLiteral("in Pellmoor2021/08/31.AddFolder.GetSubDirectories2016 "));
    EXPECT_EQ(reporter.reports[1].step, 104);
    EXPECT_EQ(reporter.reports[1].description, QStringLiteral("disk full"));
}
