#include "tools/CmdOutput.h"
#include "tools/Failure.h"
#include "tools/Shell32.h"
#include "tools/ToolDeployment.h"

#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace Tools;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int ModeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool ExtractorIsBuilt()
{
    return QFileInfo::exists(QStringLiteral(TARNWICK_BIN_DIR "/swfextract"));
}

// The embedded resources, with a stand-in extractor while the real one is not
// part of the build, so the deployment itself can be checked either way.
QByteArray LoadWithStandInExtractor(ResourceId id)
{
    if (id == ResourceId::Extractor && !ExtractorIsBuilt())
        return QByteArrayLiteral("#!/bin/sh\necho stand-in\n");
    return LoadResource(id);
}

// Runs a deployment expected to raise; returns the failure.
template <typename Deploy>
Failure ExpectFailure(Deploy &&deploy)
{
    try {
        deploy();
    } catch (const Failure &failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure raised";
    return Failure(0, QString());
}

} // namespace

TEST(WorkFolderOwner, PrivateUniqueAndRemovedWithItsContents)
{
    TempFolder parent;
    const QString outside = parent.write(QStringLiteral("outside/keep.txt"), "keep");
    QString path;
    {
        WorkFolderOwner first(parent.path());
        WorkFolderOwner second(parent.path());
        path = first.path();
        EXPECT_NE(first.path(), second.path());
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("tarnwick-"))) << path.toStdString();
        EXPECT_EQ(QFileInfo(path).fileName().size(), 15);
        EXPECT_EQ(ModeOf(path), 0700);
        QDir().mkpath(path + QStringLiteral("/temp/deep"));
        QFile::link(QFileInfo(outside).absolutePath(), path + QStringLiteral("/link"));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(ReadAll(outside), QByteArray("keep")) << "a link inside must be removed, not followed";
}

TEST(WorkFolderOwner, UsesTmpdirAndRefusesAMissingParent)
{
    TempFolder parent;
    const QByteArray saved = qgetenv("TMPDIR");
    ::setenv("TMPDIR", QFile::encodeName(parent.path()).constData(), 1);
    {
        WorkFolderOwner owner;
        EXPECT_EQ(QFileInfo(owner.path()).absolutePath(), QFileInfo(parent.path()).absoluteFilePath());
    }
    if (saved.isNull())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", saved.constData(), 1);

    const Failure failure = ExpectFailure([&] { WorkFolderOwner owner(parent.file(QStringLiteral("missing"))); });
    EXPECT_EQ(failure.number(), kFileAccessFailure);
}

TEST(EmbeddedResources, HoldTheConverterTheEndFrameAndTheBuiltExtractor)
{
    const QByteArray converter = LoadResource(ResourceId::Converter);
    EXPECT_TRUE(converter.startsWith("\x7F"
                                     "ELF"));

    // 128 x 128, 8 bits per pixel, every pixel index 0 and entry 0 black.
    const QByteArray bitmap = LoadResource(ResourceId::EndFrameBitmap);
    ASSERT_EQ(bitmap.size(), 14 + 40 + 1024 + 128 * 128);
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bitmap.constData() + at); };
    EXPECT_TRUE(bitmap.startsWith("BM"));
    EXPECT_EQ(u32(18), 128u);
    EXPECT_EQ(u32(22), 128u);
    EXPECT_EQ(qFromLittleEndian<quint16>(bitmap.constData() + 28), 8);
    EXPECT_EQ(bitmap.mid(54, 3), QByteArray(3, '\0'));
    EXPECT_EQ(bitmap.mid(int(u32(10))), QByteArray(128 * 128, '\0'));

    if (ExtractorIsBuilt()) {
        EXPECT_TRUE(LoadResource(ResourceId::Extractor)
                        .startsWith("\x7F"
                                    "ELF"));
    } else {
        const Failure failure = ExpectFailure([] { LoadResource(ResourceId::Extractor); });
        EXPECT_EQ(failure.number(), kResourceMissingFailure);
        EXPECT_EQ(failure.description(), QStringLiteral("Resource with identifier '107' not found"));
    }
}

TEST(DeployTools, WritesRunnableToolsAndFoldersInsideTheWorkFolderOnly)
{
    const QString encoder = LocateFfmpeg();
    if (encoder.isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder parent;
    WorkFolderOwner work(parent.path());

    const ToolSet tools = DeployTools(work.path(), encoder, LoadWithStandInExtractor);

    EXPECT_EQ(tools.ExtractorCmd, work.path() + QStringLiteral("/swfextract"));
    EXPECT_EQ(tools.EncoderCmd, work.path() + QStringLiteral("/ffmpeg"));
    EXPECT_EQ(tools.ConverterCmd, work.path() + QStringLiteral("/nconvert"));
    EXPECT_EQ(tools.AddressWidth, QString::number(sizeof(void *) * 8));
    EXPECT_EQ(Entries(work.path()),
              (QStringList{QStringLiteral("SWFPic"), QStringLiteral("ffmpeg"), QStringLiteral("nconvert"),
                           QStringLiteral("swfextract"), QStringLiteral("temp")}));
    EXPECT_EQ(Entries(parent.path()), QStringList{QFileInfo(work.path()).fileName()});
    EXPECT_EQ(ModeOf(tools.ConverterCmd), 0700);
    EXPECT_EQ(ModeOf(tools.ExtractorCmd), 0700);
    EXPECT_EQ(QFileInfo(tools.EncoderCmd).symLinkTarget(), QFileInfo(encoder).absoluteFilePath());

    // Each tool answers when run from where it was deployed.
    const QString version = RunCaptured(Command{tools.EncoderCmd, {QStringLiteral("-version")}, {}}, true, false);
    EXPECT_TRUE(version.startsWith(QStringLiteral("ffmpeg version"))) << version.left(80).toStdString();
    const QString converted = work.path() + QStringLiteral("/temp/image1.jpg");
    const QString bitmap = work.path() + QStringLiteral("/temp/image_1.jpg");
    WriteBytesIfAbsent(LoadResource(ResourceId::EndFrameBitmap), bitmap);
    EXPECT_EQ(RunAndWait(Command{tools.ConverterCmd,
                                 {QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-truecolors"),
                                  QStringLiteral("-o"), converted, bitmap},
                                 {}}),
              0);
    EXPECT_TRUE(ReadAll(converted).startsWith("\xFF\xD8\xFF"));
    EXPECT_NE(RunAndWait(Command{tools.ExtractorCmd, {}, {}}), 53 + kObjectErrorBase);
}

TEST(DeployTools, SecondDeploymentKeepsToolsAndEmptiesOnlyPictures)
{
    TempFolder parent;
    WorkFolderOwner work(parent.path());
    const QString fakeEncoder = parent.write(QStringLiteral("bin/ffmpeg"), "#!/bin/sh\n");
    const QString otherEncoder = parent.write(QStringLiteral("other/ffmpeg"), "#!/bin/sh\n");
    DeployTools(work.path(), fakeEncoder, LoadWithStandInExtractor);

    const QString converter = work.path() + QStringLiteral("/nconvert");
    QFile::remove(converter);
    QFile old(converter);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older build");
    old.close();
    for (const char *name : {"temp/a.jpg", "temp/B.JPG", "temp/song.mp3", "SWFPic/x_1.jpg", "SWFPic/x_2.png"}) {
        QFile file(work.path() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    DeployTools(work.path(), otherEncoder, LoadWithStandInExtractor);

    EXPECT_EQ(ReadAll(converter), QByteArray("older build"));
    EXPECT_EQ(QFileInfo(work.path() + QStringLiteral("/ffmpeg")).symLinkTarget(), fakeEncoder);
    EXPECT_EQ(Entries(work.path() + QStringLiteral("/temp")), QStringList{QStringLiteral("song.mp3")});
    EXPECT_EQ(Entries(work.path() + QStringLiteral("/SWFPic")), QStringList{QStringLiteral("x_2.png")});
}

TEST(DeployTools, RefusesBeforeTouchingAnyFile)
{
    TempFolder parent;
    WorkFolderOwner work(parent.path());

    const Failure noEncoder = ExpectFailure([&] { DeployTools(work.path(), QString(), LoadResource); });
    EXPECT_EQ(noEncoder.number(), kEncoderMissingFailure);
    EXPECT_TRUE(noEncoder.description().contains(QStringLiteral("Debian package \"ffmpeg\"")));
    EXPECT_EQ(Entries(work.path()), QStringList());

    const QString encoder = parent.write(QStringLiteral("bin/ffmpeg"), "#!/bin/sh\n");
    const auto noExtractor = [](ResourceId id) {
        if (id == ResourceId::Extractor)
            throw Failure(kResourceMissingFailure, QStringLiteral("Resource with identifier '107' not found"));
        return LoadResource(id);
    };
    const Failure missing = ExpectFailure([&] { DeployTools(work.path(), encoder, noExtractor); });
    EXPECT_EQ(missing.number(), kResourceMissingFailure);
    EXPECT_EQ(Entries(work.path()), QStringList());
}

TEST(DeployTools, ReplacesADanglingEncoderLink)
{
    TempFolder parent;
    WorkFolderOwner work(parent.path());
    const QString encoder = parent.write(QStringLiteral("bin/ffmpeg"), "#!/bin/sh\n");
    ASSERT_TRUE(QFile::link(parent.file(QStringLiteral("gone/ffmpeg")), work.path() + QStringLiteral("/ffmpeg")));
    const ToolSet tools = DeployTools(work.path(), encoder, LoadWithStandInExtractor);
    EXPECT_EQ(QFileInfo(tools.EncoderCmd).symLinkTarget(), encoder);
}

TEST(WriteBytesIfAbsent, WritesNewFilesOnlyAndNeverThroughALink)
{
    TempFolder folder;
    const QString data = folder.file(QStringLiteral("data.bmp"));
    const QString tool = folder.file(QStringLiteral("tool"));
    WriteBytesIfAbsent("first", data);
    WriteBytesIfAbsent("second", data);
    WriteBytesIfAbsent("#!/bin/sh\n", tool, true);
    EXPECT_EQ(ReadAll(data), QByteArray("first"));
    EXPECT_EQ(ModeOf(data), 0600);
    EXPECT_EQ(ModeOf(tool), 0700);

    const QString target = folder.file(QStringLiteral("elsewhere"));
    const QString link = folder.file(QStringLiteral("planted"));
    ASSERT_TRUE(QFile::link(target, link));
    const Failure failure = ExpectFailure([&] { WriteBytesIfAbsent("x", link); });
    EXPECT_EQ(failure.number(), kFileAccessFailure);
    EXPECT_FALSE(QFileInfo::exists(target));

    const Failure noFolder = ExpectFailure([&] { WriteBytesIfAbsent("x", folder.file(QStringLiteral("no/such"))); });
    EXPECT_EQ(noFolder.number(), kFileAccessFailure);
}

TEST(LocateFfmpeg, FindsOnlyARunnableFfmpeg)
{
    TempFolder folder;
    const QString withEncoder = folder.mkdir(QStringLiteral("with"));
    const QString notRunnable = folder.mkdir(QStringLiteral("plain"));
    const QString empty = folder.mkdir(QStringLiteral("empty"));
    folder.write(QStringLiteral("with/ffmpeg"), "#!/bin/sh\n");
    QFile::setPermissions(folder.file(QStringLiteral("with/ffmpeg")), QFile::ReadOwner | QFile::ExeOwner);
    folder.write(QStringLiteral("plain/ffmpeg"), "data");

    EXPECT_EQ(LocateFfmpeg({empty, withEncoder}), folder.file(QStringLiteral("with/ffmpeg")));
    EXPECT_EQ(LocateFfmpeg({empty, notRunnable}), QString());
}
