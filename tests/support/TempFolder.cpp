#include "TempFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TempFolder::TempFolder()
{
    EXPECT_TRUE(m_dir.isValid());
}

TempFolder::~TempFolder()
{
    const QString list = qEnvironmentVariable("TARNWICK_TEST_VIDEO_HASHES");
    if (list.isEmpty() || !m_dir.isValid())
        return;
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name = test ? QStringLiteral("%1.%2").arg(QString::fromUtf8(test->test_suite_name()),
                                                            QString::fromUtf8(test->name()))
                              : QStringLiteral("-");
    QStringList lines;
    QDirIterator it(m_dir.path(), {QStringLiteral("*.mp4")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile video(it.next());
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (video.open(QIODevice::ReadOnly) && hash.addData(&video))
            lines << QStringLiteral("%1 %2 %3\n").arg(QString::fromLatin1(hash.result().toHex()), name,
                                                      QDir(m_dir.path()).relativeFilePath(video.fileName()));
    }
    lines.sort();
    QFile out(list);
    if (!lines.isEmpty() && out.open(QIODevice::Append))
        out.write(lines.join(QString()).toUtf8());
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
