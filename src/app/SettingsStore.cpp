#include "SettingsStore.h"

#include "tools/Failure.h"

#include <QRegularExpression>
#include <QSettings>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace App {

namespace {

constexpr char kApplication[] = "Quillmark";
constexpr char kSection[] = "Tarnwick";

// A fresh QSettings per access keeps the store free of any cache of ours.
class Section
{
public:
    Section()
        : m_settings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kApplication),
                     QLatin1String(kApplication))
    {
        m_settings.beginGroup(QLatin1String(kSection));
    }
    QSettings *operator->() { return &m_settings; }

private:
    QSettings m_settings;
};

} // namespace

QString DesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        return QString();
    return desktop.endsWith(QLatin1Char('/')) ? desktop : desktop + QLatin1Char('/');
}

QString DefaultOutputFolder()
{
    const QString desktop = DesktopFolder();
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    // A fresh account often has no desktop folder: a video folder, else home.
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QFileInfo(videos).isDir())
        return videos.endsWith(QLatin1Char('/')) ? videos : videos + QLatin1Char('/');
    const QString home = QDir::homePath();
    return home.endsWith(QLatin1Char('/')) ? home : home + QLatin1Char('/');
}

QString DefaultOf(const QString &key)
{
    if (key == QLatin1String(Keys::LocalFolder))
        return DefaultOutputFolder();
    for (const SettingKey &entry : kSettingKeys) {
        if (key == QLatin1String(entry.key))
            return QLatin1String(entry.defaultValue);
    }
    return QString();
}

QString SettingsStore::ReadSetting(const QString &key, const QString &defaultValue) const
{
    Section section;
    const QVariant value = section->value(key);
    return value.isValid() ? value.toString() : defaultValue;
}

QString SettingsStore::ReadSetting(const QString &key) const
{
    return ReadSetting(key, DefaultOf(key));
}

void SettingsStore::WriteSetting(const QString &key, const QString &value)
{
    Section section;
    section->setValue(key, value);
    section->sync();
}

bool SettingsStore::ReadBool(const QString &key) const
{
    bool ok = false;
    const bool value = ParseBool(ReadSetting(key), &ok);
    if (!ok)
        throw Tools::Failure(Tools::FailureNumber::TypeMismatch, QStringLiteral("Type mismatch"));
    return value;
}

void SettingsStore::WriteBool(const QString &key, bool value)
{
    WriteSetting(key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

double SettingsStore::ReadNumber(const QString &key) const
{
    return LeadingNumber(ReadSetting(key));
}

void SettingsStore::WriteNumber(const QString &key, int value)
{
    WriteSetting(key, QString::number(value));
}

QString SettingsStore::FileName()
{
    Section section;
    return section->fileName();
}

bool ParseBool(const QString &text, bool *ok)
{
    const QString trimmed = text.trimmed();
    *ok = true;
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const double number = trimmed.toDouble(ok);
    return *ok && number != 0.0;
}

double LeadingNumber(const QString &text)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch match = leading.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

} // namespace App
