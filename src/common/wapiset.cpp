// SPDX-License-Identifier: GPL-3.0-or-later
// The settings reader, reading configuration files the Windows profile way.
#include "wapiset.h"

#include "regularfile.h"
#include "textdecode.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringView>
#include <QtDebug>

namespace {

// Only space and tab: an ideographic space is part of a Japanese value.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

// Cuts an oversize read back to its last whole line, so that the line the
// limit falls in is dropped rather than read with a truncated value, and a
// multi-byte character is never split.
QByteArray cutToLastLine(const QByteArray &bytes)
{
    const bool utf16le = bytes.startsWith("\xFF\xFE");
    const bool utf16be = bytes.startsWith("\xFE\xFF");
    if (utf16le || utf16be) {
        for (qsizetype i = (bytes.size() & ~qsizetype(1)) - 2; i >= 2; i -= 2) {
            const uchar lo = uchar(bytes[utf16le ? i : i + 1]);
            const uchar hi = uchar(bytes[utf16le ? i + 1 : i]);
            if (hi == 0 && (lo == '\n' || lo == '\r'))
                return bytes.left(i + 2);
        }
        return bytes.left(bytes.size() & ~qsizetype(1));
    }
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        if (bytes[i] == '\n' || bytes[i] == '\r')
            return bytes.left(i + 1);
    }
    return bytes;
}

} // namespace

void WAPISET::Prepare()
{
    QString folder;
    if (QCoreApplication::instance())
        folder = QCoreApplication::applicationDirPath();
    else
        folder = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
    setAppFolder(folder);
}

void WAPISET::setAppFolder(const QString &folder)
{
    m_appFolder = folder;
    if (!m_appFolder.isEmpty() && !m_appFolder.endsWith(QDir::separator()) && !m_appFolder.endsWith(u'/'))
        m_appFolder += QDir::separator();
}

void WAPISET::ReadSetting(const QString &section, const QString &key, const QString &defaultValue)
{
    m_settingValue = defaultValue;
    if (m_iniPath.isEmpty())
        return;
    FileContents file = readRegularFile(m_iniPath, MaxIniBytes);
    // Every key reads the file again: the log hears of a problem once.
    if (!file.ok && !file.missing && m_reportedIniPath != m_iniPath) {
        m_reportedIniPath = m_iniPath;
        const QByteArray path = QDir::toNativeSeparators(m_iniPath).toUtf8();
        if (file.tooLarge)
            qWarning("Configuration file %s is larger than %lld bytes; only the start is read",
                     path.constData(), static_cast<long long>(MaxIniBytes));
        else
            qWarning("Configuration file %s cannot be read (%s); the settings take their defaults",
                     path.constData(), qUtf8Printable(file.error));
    }
    if (file.tooLarge)
        file.bytes = cutToLastLine(file.bytes);
    else if (!file.ok)
        return;
    const QString value = profileLookup(decodeText(file.bytes), section, key);
    if (!value.isNull())
        m_settingValue = value;
}

QString profileLookup(const QString &text, const QString &section, const QString &key)
{
    const QStringView all(text);
    const qsizetype n = all.size();
    bool inSection = false;
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && all[end] != u'\n' && all[end] != u'\r')
            ++end;
        const QStringView line = trimBlanks(all.sliced(pos, end - pos));
        // CR LF, LF and CR all end a line.
        pos = end;
        if (pos < n && all[pos] == u'\r')
            ++pos;
        if (pos < n && all[pos] == u'\n')
            ++pos;

        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[') {
            // Without a closing bracket the section has no name and matches
            // nothing, so its keys are not taken for the previous section's.
            const qsizetype close = line.indexOf(u']');
            inSection = close > 0
                && trimBlanks(line.sliced(1, close - 1)).compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || trimBlanks(line.left(eq)).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QStringView value = trimBlanks(line.sliced(eq + 1));
        if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
            value = value.sliced(1, value.size() - 2);
        // Found but empty must stay distinguishable from not found.
        QString result = value.toString();
        if (result.isNull())
            result = QString::fromLatin1("");
        return result;
    }
    return QString();
}

void WAPISET::LoadFileToList(QStringList &list, const QString &text, const QString &path)
{
    Q_UNUSED(text);
    TextLines file = readTextLines(path);
    if (!file.ok) {
        qWarning("taruvo: cannot read the word list %s: %s",
                 qUtf8Printable(QDir::toNativeSeparators(path)), qUtf8Printable(file.error));
        return;
    }
    list.append(std::move(file.lines));
}
