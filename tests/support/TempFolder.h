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
