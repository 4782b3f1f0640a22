#include "tools/DataFolder.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

TEST(DataFolder, BesideTheProgramFirstThenTheInstalledFolder)
{
    // The build tree: Samples beside the program, an installed copy too.
    TempFolder build;
    build.mkdir(QStringLiteral("bin/Samples"));
    // An installed program: bin/ without Samples, share/tarnwick/Samples.
    TempFolder prefix;
    prefix.mkdir(QStringLiteral("bin"));
    prefix.mkdir(QStringLiteral("share/tarnwick/Samples"));
    // A program folder with a plain file where the Samples folder would be.
    TempFolder odd;
    odd.write(QStringLiteral("bin/Samples"), "not a folder");

    const QString installed = prefix.file(QStringLiteral("share/tarnwick"));
    const QString missing = prefix.file(QStringLiteral("share/nothing"));
    struct Case
    {
        const char *what;
        QString programFolder;
        QString installedFolder;
        QString expected;
    } cases[] = {
        {"build tree", build.file(QStringLiteral("bin")), installed, build.file(QStringLiteral("bin"))},
        {"installed", prefix.file(QStringLiteral("bin")), installed, installed},
        {"nothing installed", prefix.file(QStringLiteral("bin")), missing, prefix.file(QStringLiteral("bin"))},
        {"no installed folder known", prefix.file(QStringLiteral("bin")), QString(),
         prefix.file(QStringLiteral("bin"))},
        {"Samples is a file", odd.file(QStringLiteral("bin")), installed, installed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Tools::DataFolder(c.programFolder, c.installedFolder), c.expected);
    }
}
