#include "ErrorReportBox.h"

#include <QMessageBox>

namespace App {

QString DisplayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void ErrorReportBox::showErrorReport(const QString &location, int step, const QString &description)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Application Error"),
                    DisplayText(Tools::BuildErrorPrompt(location, step, description)), QMessageBox::Ok, m_owner);
    box.exec();
}

} // namespace App
