// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the settings reader and of text decoding.
#include "common/textdecode.h"
#include "common/wapiset.h"
#include "fakes/hostilefiles.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

static const QString Mincho = QString::fromUtf8("\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D"); // ＭＳ 明朝

static QByteArray utf16(const QString &text, bool bigEndian)
{
    QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
    return (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + QByteArray(encoder.encode(text));
}

class TestWapiset : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString read(const QByteArray &bytes, const QString &key)
    {
        QFile file(m_dir.filePath("Taruvo.ini"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            qFatal("cannot write the test file");
        file.close();
        WAPISET settings;
        settings.setIniPath(file.fileName());
        settings.ReadSetting("Setting", key, "def");
        return settings.SettingValue();
    }

private slots:
    void lookup_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString none;
        QTest::newRow("number") << "Setting" << "Series1" << "3";
        QTest::newRow("text, any case, blanks") << "SETTING" << "series2" << "abc";
        QTest::newRow("path with separator") << "Setting" << "DataPath" << "C:\\words\\";
        QTest::newRow("path without separator") << "Setting" << "DataPath2" << "/home/t/words";
        QTest::newRow("quotes keep inner blanks") << "Setting" << "Quoted" << " a ";
        QTest::newRow("lone quote kept") << "Setting" << "OneQuote" << "\"";
        QTest::newRow("empty value is found") << "Setting" << "Empty" << "";
        QTest::newRow("first occurrence wins") << "Setting" << "Dup" << "first";
        QTest::newRow("repeated section searched") << "setting" << "Extra" << "yes";
        QTest::newRow("tab trimmed, wide space kept") << "Setting" << "Tab" << QString::fromUtf8("\xE3\x80\x80x");
        QTest::newRow("comment") << "Setting" << "Hidden" << none;
        QTest::newRow("no equals sign") << "Setting" << "NoEquals" << none;
        QTest::newRow("missing section") << "Nope" << "Series1" << none;
        QTest::newRow("section without keys") << "Bare" << "Dup" << none;
        QTest::newRow("no leak past unclosed header") << "Setting" << "Leak" << none;
        QTest::newRow("key before any section") << "Setting" << "Orphan" << none;
    }

    void lookup()
    {
        // Guards against departures from the Windows profile reader's rules, under any line ending.
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString text = QString::fromUtf8(
            "Orphan=1\n; Hidden=1\n[Setting]\nSeries1=3\n  series2 = abc  \nDataPath=C:\\words\\\n"
            "DataPath2=/home/t/words\nQuoted=\" a \"\nOneQuote=\"\nEmpty=\nDup=first\nNoEquals\n"
            " ;Hidden=2\n\tTab\t=\t\xE3\x80\x80x\t\n[Bare]\n[ setting ]  x\nDup=second\nExtra=yes\n"
            "[Broken\nLeak=1");
        for (const char *eol : {"\n", "\r\n", "\r"}) {
            const QString value = profileLookup(QString(text).replace("\n", eol), section, key);
            QCOMPARE(value, expected);
            QCOMPARE(value.isNull(), expected.isNull());
        }
    }

    void files_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString text = "[Setting]\r\nFontName=" + Mincho + "\r\n";
        QTest::newRow("Shift_JIS") << QByteArray("[Setting]\r\nFontName=\x82\x6C\x82\x72 \x96\xBE\x92\xA9\r\n") << "FontName" << Mincho;
        QTest::newRow("UTF-8") << text.toUtf8() << "fontname" << Mincho;
        QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + text.toUtf8() << "FontName" << Mincho;
        QTest::newRow("UTF-16LE") << utf16(text, false) << "FontName" << Mincho;
        QTest::newRow("UTF-16BE") << utf16(text, true) << "FontName" << Mincho;
        QByteArray noise(4096, '\0');
        for (int i = 0; i < noise.size(); i += 2)
            noise[i] = char(QRandomGenerator::global()->bounded(256));
        QTest::newRow("empty") << QByteArray() << "Series1" << "def";
        QTest::newRow("random bytes and NULs") << noise << "Series1" << "def";
        QTest::newRow("NULs before the key") << QByteArray("[Setting]\0\nA=\0\0\nSeries1=3", 25) << "Series1" << "3";
        QTest::newRow("cut in a header") << QByteArray("[Setting]\r\nSeries1=3\r\n[Sett") << "Series1" << "3";
        QTest::newRow("cut in a line") << QByteArray("[Setting]\r\nSeries1=3\r\nSeries2=ab") << "Series2" << "ab";
    }

    void files()
    {
        // Guards against mojibake from any editor's encoding, and crashes or lost defaults on broken files.
        QFETCH(QByteArray, bytes);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(read(bytes, key), expected);
    }

    void oversizeFile()
    {
        // Guards against stalling on a huge file, or reading a value cut by the size limit.
        const QString head = "[Setting]\r\nSeries1=3\r\n;";
        for (const bool wide : {false, true}) {
            const int unit = wide ? 2 : 1, bom = wide ? 2 : 0;
            // The "Cut" line starts 12 bytes before the limit, inside its value.
            const int fill = int((WAPISET::MaxIniBytes - 12 - bom) / unit - head.size() - 2);
            const QString text = head + QString(fill, u'x') + "\r\nCut=0123456789\r\n" + QString(1 << 19, u';') + "\r\nLate=1\r\n";
            const QByteArray bytes = wide ? utf16(text, false) : text.toUtf8();
            QElapsedTimer timer;
            timer.start();
            for (const QString key : {"Series1", "Cut", "Late"}) {
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("larger than"));
                QCOMPARE(read(bytes, key), key == "Series1" ? "3" : "def");
            }
            QVERIFY2(timer.elapsed() < 5000, "reading an oversize file is too slow");
        }
    }

    void oversizeFileWarnsOnce()
    {
        // Guards the log against one warning per key read from the same oversize file.
        const QByteArray bytes = "[Setting]\nSeries1=3\n;" + QByteArray(WAPISET::MaxIniBytes, 'x') + "\n";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("larger than"));
        read(bytes, "Series1"); // writes the file
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("larger than"));
        QTest::failOnWarning(QRegularExpression("larger than"));
        WAPISET settings;
        settings.setIniPath(m_dir.filePath("Taruvo.ini"));
        for (const QString key : {"DataPath", "FontName", "Series1", "Series2"}) {
            settings.ReadSetting("Setting", key, "def");
            QCOMPARE(settings.SettingValue(), key == "Series1" ? "3" : "def");
        }
    }

    void hostileFiles_data()
    {
        QTest::addColumn<Hostile>("kind");
        for (const auto &[name, kind] : hostileKinds())
            QTest::newRow(name) << kind;
    }

    void hostileFiles()
    {
        // Guards start-up against a settings file or word list that is a
        // link to a device, a kernel file or a pipe: defaults, an empty
        // list, one line in the log each, and no wait.
        QFETCH(Hostile, kind);
        QTemporaryDir dir;
        HostilePlanter planter;
        const QString path = dir.filePath("Taruvo.ini");
        planter.plant(path, kind);
        QElapsedTimer timer;
        timer.start();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Taruvo.ini cannot be read"));
        QTest::failOnWarning(QRegularExpression("Taruvo.ini cannot be read"));
        WAPISET settings;
        settings.setIniPath(path);
        for (const QString key : {"DataPath", "FontName", "Series1"}) {
            settings.ReadSetting("Taruvo", key, "def");
            QCOMPARE(settings.SettingValue(), "def");
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot read the word list"));
        QStringList list{"学校"};
        settings.LoadFileToList(list, QString(), path);
        QCOMPARE(list, QStringList{"学校"});
        QVERIFY2(timer.elapsed() < 5000, "reading took too long");
    }

    void paths()
    {
        // Guards against paths glued to the folder without a separator, and against non-files as IniPath.
        WAPISET settings;
        settings.setAppFolder("/opt/taruvo");
        QCOMPARE(settings.AppFolder(), "/opt/taruvo/");
        settings.setAppFolder("/opt/taruvo/");
        QCOMPARE(settings.AppFolder(), "/opt/taruvo/");
        settings.setAppFolder("");
        QCOMPARE(settings.AppFolder(), "");
        settings.Prepare();
        QCOMPARE(settings.AppFolder(), QCoreApplication::applicationDirPath() + "/");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot be read \\(a folder"));
        for (const QString &path : {m_dir.path(), m_dir.filePath("missing.ini")}) {
            settings.setIniPath(path);
            settings.ReadSetting("Setting", "Series1", "def");
            QCOMPARE(settings.SettingValue(), "def");
        }
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // null: only the encoding is checked
        QTest::addColumn<QString>("encoding");
        const QString fffd(QChar::ReplacementCharacter);
        QTest::newRow("UTF-8 BOM, second kept") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "A") << QChar(0xFEFF) + QString("A") << "UTF-8 with BOM";
        QTest::newRow("UTF-16LE odd length") << QByteArray("\xFF\xFE" "A\0B", 5) << "A" + fffd << "UTF-16LE";
        QTest::newRow("UTF-16BE lone surrogate") << QByteArray("\xFE\xFF\xD8\x00\x00" "A", 6) << fffd + "A" << "UTF-16BE";
        QTest::newRow("NUL, 4-byte UTF-8") << QByteArray("\0\xF0\x9F\x98\x80", 5) << QString::fromUtf8("\0\xF0\x9F\x98\x80", 5) << "UTF-8";
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QString::fromUtf8("\xEF\xBE\x80\xEF\xBD\xAF") << "Shift_JIS (CP932)";
        QTest::newRow("truncated at end") << QByteArray("\xC3\xA9\xC3") << QString() << "Shift_JIS (CP932)";
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QString() << "Shift_JIS (CP932)";
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QString() << "Shift_JIS (CP932)";
        QTest::newRow("CP932 extension, controls, backslash") << QByteArray("\x87\x40\x1A\x1C\x7F\\~")
                                                          << QString::fromUtf8("\xE2\x91\xA0\x1A\x1C\x7F\\~") << "Shift_JIS (CP932)";
        QTest::newRow("CP932 lead without trail") << QByteArray("\x82\nA\x82") << fffd + "\nA" + fffd << "Shift_JIS (CP932)";
    }

    void decode()
    {
        // Guards against wrong encoding detection and silently lost or swapped characters.
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, encoding);
        TextEncoding detected = TextEncoding::Utf8;
        const QString decoded = decodeText(bytes, &detected);
        QCOMPARE(encodingName(detected), encoding);
        if (!text.isNull())
            QCOMPARE(decoded, text);
    }

    void decodeInPieces_data()
    {
        decode_data();
        const QString kanji = QStringLiteral("学校日本\r\n𩸽焼\r\n");
        QByteArray utf16le("\xFF\xFE"), utf16be("\xFE\xFF");
        for (QChar c : kanji) {
            const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            utf16le.append(lo).append(hi);
            utf16be.append(hi).append(lo);
        }
        QTest::newRow("UTF-8 kanji") << kanji.toUtf8().repeated(3) << QString() << "UTF-8";
        QTest::newRow("UTF-8 BOM, broken runs") << QByteArray("\xEF\xBB\xBF\xE5\xAD\xA6\x80\x80\x80\x80\x80\xE5\xAD\xC3\xA9\xF0\x9F\x98")
                                               << QString() << "UTF-8 with BOM";
        QTest::newRow("UTF-16LE, pairs at every offset") << utf16le.repeated(3) << QString() << "UTF-16LE";
        QTest::newRow("UTF-16BE, odd end") << utf16be.repeated(2) + "x" << QString() << "UTF-16BE";
        QTest::newRow("UTF-16LE, lone halves") << QByteArray("\xFF\xFE\x3D\xD8\x41\x00\x00\xDC\x3D\xD8", 10) << QString() << "UTF-16LE";
        QTest::newRow("CP932, backslash trails and kana")
            << QByteArray("\x95\x5C\x8E\xA6\xB1\xB2\x8A\x77\x8D\x5A\r\n\x82\x5C\x82").repeated(3) << QString()
            << "Shift_JIS (CP932)";
    }

    void decodeInPieces()
    {
        // Guards the word-list reader, which decodes large files a piece at a
        // time: pieces cut inside a character must not change the text.
        QFETCH(QByteArray, bytes);
        QFETCH(QString, encoding);
        TextEncoding whole;
        const QString expected = decodeText(bytes, &whole);
        for (qsizetype piece = 4; piece <= 13; ++piece) {
            PieceDecoder decoder(bytes);
            QCOMPARE(decoder.encoding(), whole);
            QString joined;
            while (!decoder.atEnd())
                joined += decoder.next(piece);
            QVERIFY2(joined == expected, qPrintable(QStringLiteral("pieces of %1 bytes").arg(piece)));
        }
        QCOMPARE(encodingName(whole), encoding);
    }
};

QTEST_GUILESS_MAIN(TestWapiset)
#include "tst_wapiset.moc"
