#pragma once

#include <QString>
#include <QStringList>

namespace Tools {

// A program with its argument list, run without a shell so that no file
// name can break the command or run code.
struct Command
{
    QString program;
    QStringList arguments;
    QString workingFolder; // empty: the caller's
    // "NAME=value" entries set for the child on top of the caller's environment.
    QStringList environment = {};

    // The command as one line of POSIX shell text, every part quoted.
    QString toShellText() const;
};

// Quotes one argument for the POSIX shell: single quotes, with an embedded
// ' written as '\''.
QString ShellQuote(const QString &argument);

} // namespace Tools
