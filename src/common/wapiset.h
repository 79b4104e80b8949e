// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The settings reader. One instance belongs to the console; the player
// windows read their own keys through it.
//
// Configuration files were written for the Windows profile reader, so they
// are read its way: section and key names ignore letter case, blanks around
// names and values are dropped, the first occurrence of a key wins, lines
// starting with ";" are comments, a pair of enclosing double quotes is
// removed from a value. A file is decoded as UTF-8 (with or without a mark),
// UTF-16 with a mark, or else code page 932.
class WAPISET
{
public:
    // Finds the application folder: the folder of the real executable.
    void Prepare();

    // The application folder, ending with the platform's separator.
    QString AppFolder() const { return m_appFolder; }
    // Lets tests and embedders put the application folder elsewhere; a
    // missing trailing separator is added.
    void setAppFolder(const QString &folder);

    // Full path of the configuration file that ReadSetting reads.
    QString IniPath() const { return m_iniPath; }
    void setIniPath(const QString &path) { m_iniPath = path; }

    // Looks the key up in the section of the file named by IniPath; then
    // SettingValue holds the stored value, or defaultValue when the file, the
    // section or the key is missing. Never fails; a file that is there but
    // cannot be read whole (see readRegularFile) is reported once.
    void ReadSetting(const QString &section, const QString &key, const QString &defaultValue);
    QString SettingValue() const { return m_settingValue; }

    // Appends the lines of a text file to list, in file order (decoded as
    // readTextLines does). A file that cannot be read appends nothing. The
    // text argument selects nothing and is kept for callers that pass it.
    void LoadFileToList(QStringList &list, const QString &text, const QString &path);

    // Files larger than this are read only up to it: a configuration file is
    // a few lines, so anything bigger is a mistake that must not stall start-up.
    static constexpr qint64 MaxIniBytes = 1 << 20;

private:
    QString m_appFolder;
    QString m_iniPath;
    QString m_settingValue;
    QString m_reportedIniPath; // the file whose problem the log has seen
};

// The value of key in section of an already decoded profile text, or a null
// QString when there is none. Exposed for tests.
QString profileLookup(const QString &text, const QString &section, const QString &key);
