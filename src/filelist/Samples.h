#pragma once

#include <QString>

namespace FileList {

class FileQueue;

// The folder of example files beside the program.
QString SamplesFolder(const QString &programFolder);

// True when some entry's text equals `path` exactly (letter case counts).
bool IsListed(const FileQueue &queue, const QString &path);

// Appends every file of the Samples folder (hidden ones included, no
// subfolders) that is not listed yet, sorted by name. Returns how many
// were added.
int LoadSampleFiles(FileQueue &queue, const QString &programFolder);

} // namespace FileList
