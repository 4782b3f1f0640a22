#pragma once

#include <QCursor>
#include <QString>

#include <optional>

namespace App {

// Largest pointer file read (a cursor file is a few kilobytes).
inline constexpr qint64 kMaxPointerFileBytes = 1024 * 1024;

// The pointer stored in a Windows cursor (.cur) or icon (.ico) file, with
// the hot spot that a cursor file records. Nothing when the file cannot be
// read or holds no picture.
std::optional<QCursor> LoadPointerFile(const QString &path);

} // namespace App
