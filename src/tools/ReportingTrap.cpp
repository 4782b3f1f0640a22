#include "ReportingTrap.h"

namespace Tools {

QString BuildErrorPrompt(const QString &location, int step, const QString &description)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(step)
           + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
           + QLatin1String(kSupportAddress);
}

} // namespace Tools
