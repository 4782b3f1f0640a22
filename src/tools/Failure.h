#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace Tools {

// Base of the numbers that launch failures are reported with (the classic
// "object error" base), and of the shell launcher's own failure numbers.
inline constexpr int kObjectErrorBase = -2147221504;
inline constexpr int kShellErrorBase = kObjectErrorBase + 1048;

// A numbered failure with a user-readable description. It travels as an
// exception only inside routines run under a ReportingTrap, which shows it
// and carries on with the next step.
class Failure : public std::exception
{
public:
    Failure(int number, QString description);

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

} // namespace Tools
