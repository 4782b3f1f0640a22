#pragma once

#include "tools/ReportingTrap.h"

#include <QString>

#include <ostream>
#include <vector>

// Keeps every error report instead of showing it.
class RecordingReporter : public Tools::ErrorReporter
{
public:
    struct Report
    {
        QString location;
        int step;
        QString description;
    };

    void showErrorReport(const QString &location, int step, const QString &description) override
    {
        reports.push_back({location, step, description});
    }

    std::vector<Report> reports;
};

inline std::ostream &operator<<(std::ostream &out, const RecordingReporter::Report &report)
{
    return out << report.location.toStdString() << "at line " << report.step << ": "
               << report.description.toStdString();
}

inline std::ostream &operator<<(std::ostream &out, const RecordingReporter &reporter)
{
    for (const RecordingReporter::Report &report : reporter.reports)
        out << report << '\n';
    return out;
}
