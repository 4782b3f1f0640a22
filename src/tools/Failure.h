#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace Tools {

// Base of the numbers that launch failures are reported with (the classic
// "object error" base), and of the shell launcher's own failure numbers.
inline constexpr int kObjectErrorBase = -2147221504;
inline constexpr int kShellErrorBase = kObjectErrorBase + 1048;

// The failure numbers the program raises, each with its classic meaning.
namespace FailureNumber {
inline constexpr int InvalidCall = 5; // "Invalid procedure call or argument"
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int TypeMismatch = 13;
inline constexpr int FileNotFound = 53;
inline constexpr int PathFileAccess = 75; // "Path/File access error"
inline constexpr int PathNotFound = 76;
inline constexpr int ResourceNotFound = 326;
inline constexpr int InvalidPropertyValue = 380;
inline constexpr int InvalidPicture = 481;
} // namespace FailureNumber

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
