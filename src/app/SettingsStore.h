#pragma once

#include <QString>

namespace App {

// The keys of the per-user store, with their defaults, in one table.
struct SettingKey
{
    const char *key;
    const char *defaultValue; // "True"/"False" for Booleans; empty for "Local Folder" (DefaultOutputFolder)
};

namespace Keys {
inline constexpr char Text1[] = "Text1";
inline constexpr char Text2[] = "Text2";
inline constexpr char Option1[] = "Option1";
inline constexpr char Option2[] = "Option2";
inline constexpr char Option5[] = "Option5";
inline constexpr char Option6[] = "Option6";
inline constexpr char LocalFolder[] = "Local Folder";
inline constexpr char Quality[] = "Quality";
inline constexpr char Option7[] = "Option7";
inline constexpr char Option8[] = "Option8";
inline constexpr char Option3[] = "Option3";
inline constexpr char Option4[] = "Option4";
inline constexpr char LastFolderDot[] = "LastFolderDot";
inline constexpr char LastFolder[] = "LastFolder";
inline constexpr char Extension[] = "Extension";
inline constexpr char PlayHeight[] = "PlayHeight";
inline constexpr char PlaySeconds[] = "PlaySeconds";
} // namespace Keys

// The keys; the first twelve in the order the window restores them.
inline constexpr SettingKey kSettingKeys[] = {
    {Keys::Text1, "3"},        {Keys::Text2, "1"},       {Keys::Option1, "True"},  {Keys::Option5, "False"},
    {Keys::Option2, "False"},  {Keys::Option6, "False"}, {Keys::LocalFolder, ""},  {Keys::Quality, "75"},
    {Keys::Option7, "False"},  {Keys::Option8, "True"},  {Keys::Option3, "True"},  {Keys::Option4, "False"},
    {Keys::LastFolderDot, ""}, {Keys::LastFolder, ""},   {Keys::Extension, "swf"},
    // PLAY's frame height, and its cap in seconds (0: none below 3 hours).
    {Keys::PlayHeight, "720"}, {Keys::PlaySeconds, "0"},
};

// The user's desktop folder followed by "/"; empty when there is none.
QString DesktopFolder();

// The default output folder followed by "/": the desktop folder, or when it
// does not exist the user's videos folder, or when that does not exist
// either the home folder.
QString DefaultOutputFolder();

// The default of a key from the table (DefaultOutputFolder for "Local Folder").
QString DefaultOf(const QString &key);

// Per-user text values under "Quillmark" / "Tarnwick", in INI form at the
// user's configuration location. Nothing is cached: every read goes to the
// store and every write replaces the stored value at once.
class SettingsStore
{
public:
    // The stored text, or `defaultValue` when the key was never written.
    QString ReadSetting(const QString &key, const QString &defaultValue) const;
    // The stored text, or the key's default from the table.
    QString ReadSetting(const QString &key) const;
    void WriteSetting(const QString &key, const QString &value);

    // "True"/"False" or a number (0 is false). Raises Failure 13 ("Type
    // mismatch") for any other text.
    bool ReadBool(const QString &key) const;
    void WriteBool(const QString &key, bool value);

    // The leading number of the stored text ("80.6" gives 80.6, text with no
    // leading number 0).
    double ReadNumber(const QString &key) const;
    void WriteNumber(const QString &key, int value);

    // Where the store lives (for the README and support).
    static QString FileName();
};

// Parses "True"/"False" (any letter case) or a number; nothing otherwise.
bool ParseBool(const QString &text, bool *ok);

// The number that the text begins with, after leading blanks; 0 when none.
double LeadingNumber(const QString &text);

} // namespace App
