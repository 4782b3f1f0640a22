#pragma once

#include "Failure.h"

#include <QString>

#include <exception>
#include <new>
#include <utility>

namespace Tools {

// Where a report of an unexpected failure should be sent.
inline constexpr char kSupportAddress[] = "support@tarnwick.example";

// Shows the "Application Error" report; the window shows a modal box, tests
// record the text.
class ErrorReporter
{
public:
    virtual ~ErrorReporter() = default;
    virtual void showErrorReport(const QString &location, int step, const QString &description) = 0;
};

// The report's prompt: description, CR LF, location, "at line ", step,
// CR CR, the support line.
QString BuildErrorPrompt(const QString &location, int step, const QString &description);

// Runs a user-facing routine's numbered steps. A failure in a step is shown
// through the reporter with the routine's location text and the step's
// number, and the routine goes on with its next step:
//
//     ReportingTrap trap(reporter, kLocation);
//     trap(100, [&] { ... });
//     trap(102, [&] { ... });
class ReportingTrap
{
public:
    ReportingTrap(ErrorReporter &reporter, QString location)
        : m_reporter(reporter)
        , m_location(std::move(location))
    {
    }

    // Runs one step; returns false when it failed (and was reported).
    template <typename Step>
    bool operator()(int number, Step &&step)
    {
        m_step = number;
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const Failure &failure) {
            report(failure.description());
        } catch (const std::bad_alloc &) {
            report(QStringLiteral("Out of memory"));
        } catch (const std::exception &error) {
            report(QString::fromLocal8Bit(error.what()));
        }
        return false;
    }

    int currentStep() const { return m_step; }
    const QString &location() const { return m_location; }

private:
    void report(const QString &description) { m_reporter.showErrorReport(m_location, m_step, description); }

    ErrorReporter &m_reporter;
    QString m_location;
    int m_step = 0;
};

} // namespace Tools
