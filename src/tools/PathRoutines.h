#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Small routines that take paths apart, test what a path names and delete
// scratch files. They work on path text with '/' as separator and never
// report failures: each answers through its result.
namespace Tools {

// The text after the last '/'; the whole text when it has none.
QString FileNameOf(const QString &path);
// The text up to and including the last '/'; empty when it has none.
QString FolderOf(const QString &path);
// The text before the last '.'; unchanged when empty, without '.', or when
// the last '.' is the first character (".swf" stays ".swf").
QString StripExtension(const QString &name);
// The text after the last '.' anywhere in the path; the whole path without '.'.
QString ExtensionOf(const QString &path);
// Collapses each pair of '/' into one in a single pass without overlap; a
// leading run of '/' becomes exactly one (the POSIX root).
QString CollapseSlashes(const QString &path);

// True when the path names a folder (links followed); false on any failure.
bool IsFolder(const QString &path);
// True when the path names anything whose time stamp can be read.
bool FileExists(const QString &path);
// True when the path opens as an existing regular file.
bool ProbeFile(const QString &path);

// Case-insensitive file-name pattern match with '*' and '?', where a
// trailing ".*" also matches names without any dot ("*.*" matches all).
bool MatchesPattern(const QString &name, const QString &pattern);

// Deletes the file or every file matching a wildcard in the last path part;
// folders are never deleted and every failure is ignored.
void DeleteFiles(const QString &pattern);

// Names (no folder part) of the files in `folder` that match `pattern` and
// can be opened, hidden ones included and folders never, sorted so that the
// result is the same on every machine. Empty when nothing matches.
QStringList ListFiles(const QString &folder, const QString &pattern);

// File attribute bits derived from POSIX facts.
enum FileAttribute : int {
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    Directory = 16,
    Archive = 32,
    ReparsePoint = 1024,
};

// The attribute bits of a path (the link itself for a symbolic link), or
// nothing when the path cannot be examined.
std::optional<int> FileAttributes(const QString &path);

} // namespace Tools
