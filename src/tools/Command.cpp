#include "Command.h"

namespace Tools {

QString ShellQuote(const QString &argument)
{
    QString quoted = argument;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString Command::toShellText() const
{
    QStringList parts{ShellQuote(program)};
    for (const QString &argument : arguments)
        parts.append(ShellQuote(argument));
    return parts.join(QLatin1Char(' '));
}

} // namespace Tools
