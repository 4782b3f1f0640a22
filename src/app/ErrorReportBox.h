#pragma once

#include "tools/ReportingTrap.h"

class QWidget;

namespace App {

// Text as a message box shows it: every CR LF, lone CR and lone LF becomes
// a line break.
QString DisplayText(const QString &text);

// The modal "Application Error" box over the main window.
class ErrorReportBox : public Tools::ErrorReporter
{
public:
    explicit ErrorReportBox(QWidget *owner = nullptr)
        : m_owner(owner)
    {
    }
    void showErrorReport(const QString &location, int step, const QString &description) override;

private:
    QWidget *m_owner;
};

} // namespace App
