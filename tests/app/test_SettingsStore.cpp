#include "app/SettingsStore.h"
#include "tools/Failure.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace App;

namespace {

// Each test gets its own empty configuration folder.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_previous); }

    QString iniText() const
    {
        QFile file(SettingsStore::FileName());
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    QTemporaryDir m_config;
    QByteArray m_previous;
    SettingsStore store;
};

} // namespace

TEST_F(SettingsTest, DefaultsFromTheTable)
{
    struct
    {
        const char *key;
        const char *expected;
    } cases[] = {{"Text1", "3"},       {"Text2", "1"},        {"Option1", "True"}, {"Option2", "False"},
                 {"Quality", "75"},    {"Option7", "False"},  {"Option8", "True"}, {"Option3", "True"},
                 {"Option4", "False"}, {"LastFolderDot", ""}, {"LastFolder", ""},  {"Extension", "swf"},
                 {"Option5", "False"}, {"Option6", "False"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(store.ReadSetting(QString::fromLatin1(c.key)).toStdString(), c.expected);
    }
    const QString desktop = store.ReadSetting(QStringLiteral("Local Folder"));
    EXPECT_TRUE(desktop.endsWith(QLatin1Char('/')));
    EXPECT_EQ(desktop, DefaultOutputFolder());
    EXPECT_EQ(store.ReadSetting(QStringLiteral("Unknown"), QStringLiteral("given")), QStringLiteral("given"));
}

TEST_F(SettingsTest, WritesLandInTheIniFileAtOnceUnderTheSection)
{
    store.WriteBool(QStringLiteral("Option1"), false);
    store.WriteBool(QStringLiteral("Option2"), true);
    store.WriteSetting(QStringLiteral("Local Folder"), QStringLiteral("/srv/out/"));
    store.WriteNumber(QStringLiteral("Quality"), 80);

    EXPECT_TRUE(SettingsStore::FileName().startsWith(m_config.path()));
    QSettings raw(SettingsStore::FileName(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Tarnwick/Option1")).toString(), QStringLiteral("False"));
    EXPECT_EQ(raw.value(QStringLiteral("Tarnwick/Option2")).toString(), QStringLiteral("True"));
    EXPECT_EQ(raw.value(QStringLiteral("Tarnwick/Local Folder")).toString(), QStringLiteral("/srv/out/"));
    EXPECT_EQ(raw.value(QStringLiteral("Tarnwick/Quality")).toString(), QStringLiteral("80"));
    EXPECT_TRUE(iniText().contains(QStringLiteral("[Tarnwick]")));
}

TEST_F(SettingsTest, StoredEmptyTextIsNotReplacedByTheDefault)
{
    store.WriteSetting(QStringLiteral("Text1"), QStringLiteral("1"));
    EXPECT_EQ(store.ReadSetting(QStringLiteral("Text1")), QStringLiteral("1"));
    store.WriteSetting(QStringLiteral("Text1"), QStringLiteral("12"));
    EXPECT_EQ(store.ReadSetting(QStringLiteral("Text1")), QStringLiteral("12"));
    store.WriteSetting(QStringLiteral("Text1"), QString());
    EXPECT_EQ(store.ReadSetting(QStringLiteral("Text1")), QString());
}

TEST_F(SettingsTest, BooleanAndNumberForms)
{
    struct
    {
        const char *text;
        bool valid;
        bool value;
    } cases[] = {{"True", true, true}, {"False", true, false}, {"true", true, true},
                 {"0", true, false},   {"1", true, true},      {"-1", true, true},
                 {"2.5", true, true},  {"yes", false, false},  {"", false, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        store.WriteSetting(QStringLiteral("Option3"), QString::fromLatin1(c.text));
        if (c.valid) {
            EXPECT_EQ(store.ReadBool(QStringLiteral("Option3")), c.value);
        } else {
            EXPECT_THROW(store.ReadBool(QStringLiteral("Option3")), Tools::Failure);
        }
    }
    EXPECT_TRUE(store.ReadBool(QStringLiteral("Option8"))) << "default when absent";

    EXPECT_DOUBLE_EQ(LeadingNumber(QStringLiteral("80.6")), 80.6);
    EXPECT_DOUBLE_EQ(LeadingNumber(QStringLiteral("  42abc")), 42);
    EXPECT_DOUBLE_EQ(LeadingNumber(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber(QString()), 0);
}

TEST_F(SettingsTest, DefaultOutputFolderFallsBackWhenTheDesktopIsMissing)
{
    // A fresh account: no desktop folder, no videos folder, no user-dirs file.
    QTemporaryDir home;
    const QByteArray previousHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    const QString root = home.path() + QLatin1Char('/');

    EXPECT_EQ(DefaultOutputFolder(), root);
    EXPECT_EQ(DefaultOf(QStringLiteral("Local Folder")), root);

    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Videos")));
    EXPECT_EQ(DefaultOutputFolder(), root + QStringLiteral("Videos/"));

    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Desktop")));
    EXPECT_EQ(DefaultOutputFolder(), root + QStringLiteral("Desktop/"));
    EXPECT_EQ(DefaultOutputFolder(), DesktopFolder());
    qputenv("HOME", previousHome);
}
