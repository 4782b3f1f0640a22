#pragma once

#include <QString>

namespace FileList {

class FileQueue;

// True when `path` reaches, exactly as written (no wildcards), an existing
// normal file: the name survives the local 8-bit encoding, is not blank,
// and names a regular file that is not hidden.
bool IsReachableNormalFile(const QString &path);

// What a rejected entry could be renamed to: its folder, "x" and its
// extension ("/a/b.c.swf" gives "/a/x.swf", "/a/clip" gives "/a/x").
QString SuggestedName(const QString &path);

// Checks every entry and removes, from the highest position down, each one
// that is not a reachable normal file. Returns the message that names the
// removed entries and suggests new names, or an empty text when every
// entry passed.
QString PurgeUnsupportedNames(FileQueue &queue);

} // namespace FileList
