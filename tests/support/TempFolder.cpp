#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TempFolder::TempFolder()
{
    EXPECT_TRUE(m_dir.isValid());
}

QString TempFolder::file(const QString &name) const
{
    return m_dir.filePath(name);
}

QString TempFolder::write(const QString &name, const QByteArray &bytes) const
{
    const QString path = file(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly)) << path.toStdString();
    out.write(bytes);
    return path;
}

QString TempFolder::mkdir(const QString &name) const
{
    const QString path = file(name);
    EXPECT_TRUE(QDir().mkpath(path));
    return path;
}
