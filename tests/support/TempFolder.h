#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "QtPrinters.h"

// A temporary folder for one test, removed at its end.
class TempFolder
{
public:
    TempFolder();
    // With TARNWICK_TEST_VIDEO_HASHES naming a file, appends the SHA-256 of
    // each MP4 left in the folder to it, so that the videos of two builds
    // can be compared byte for byte.
    ~TempFolder();
    // The folder's path, ending without '/'.
    QString path() const { return m_dir.path(); }
    // The path of `name` inside the folder.
    QString file(const QString &name) const;
    // Writes `bytes` to `name` (sub-folders created) and returns its path.
    QString write(const QString &name, const QByteArray &bytes = QByteArray()) const;
    // Creates the sub-folder `name` and returns its path.
    QString mkdir(const QString &name) const;

private:
    QTemporaryDir m_dir;
};
