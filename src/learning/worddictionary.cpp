// SPDX-License-Identifier: GPL-3.0-or-later
#include "worddictionary.h"

#include "common/regularfile.h"
#include "common/textdecode.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

bool WordDictionary::isKanji(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0x20000 && c <= 0x3FFFF) || c == 0x3005;
}

bool WordDictionary::isKana(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        // Hiragana, katakana and the long-vowel mark; no middle dot.
        const char16_t u = c.unicode();
        if (u < 0x3041 || u > 0x30FF || u == 0x30FB || u == 0x30A0)
            return false;
    }
    return true;
}

QString WordDictionary::fileName()
{
    return QStringLiteral("words-ja.tsv");
}

QStringList WordDictionary::paths()
{
    QStringList out;
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!program.isEmpty()) {
        out << QDir(program).filePath(fileName());
        out << QDir::cleanPath(QDir(program).filePath(QStringLiteral(TARUVO_DATA_FROM_PROGRAM "/") + fileName()));
    }
    out << QStringLiteral(TARUVO_DATA_DIR "/") + fileName();
    out.removeDuplicates();
    return out;
}

WordDictionary WordDictionary::read(const QString &path, QString *error)
{
    const FileContents file = readRegularFile(path, MaxFileBytes);
    if (!file.ok) {
        if (error)
            *error = file.tooLarge ? QStringLiteral("larger than %1 MB").arg(MaxFileBytes >> 20) : file.error;
        return {};
    }
    WordDictionary out = parse(decodeText(file.bytes));
    if (error)
        *error = out.isEmpty() ? QStringLiteral("no words in it") : QString();
    return out;
}

WordDictionary WordDictionary::readFirst(const QStringList &paths, QString *found, QString *error)
{
    QStringList why;
    for (const QString &path : paths) {
        QString problem;
        WordDictionary d = read(path, &problem);
        if (!d.isEmpty()) {
            if (found)
                *found = path;
            if (error)
                error->clear();
            return d;
        }
        why << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), problem);
    }
    if (error)
        *error = why.join(QStringLiteral("; "));
    return {};
}

struct WordDictionary::Packed
{
    // The entries in rank order, one after the other: each its word, a tab,
    // its readings joined by commas, a tab and its meaning, in UTF-8.
    QByteArray text;
    // Where each entry starts in text, and where the last one ends.
    std::vector<quint32> starts;
    // The ranks in the order of their words' bytes (UTF-8 keeps the order of
    // the code points); no word twice.
    std::vector<quint32> byWord;

    qsizetype size() const { return qsizetype(byWord.size()); }
    std::string_view entry(qsizetype rank) const
    {
        return std::string_view(text.constData() + starts[size_t(rank)], starts[size_t(rank) + 1] - starts[size_t(rank)]);
    }
    std::string_view word(qsizetype rank) const
    {
        const std::string_view e = entry(rank);
        return e.substr(0, e.find('\t'));
    }
    qsizetype rankOf(std::string_view w) const
    {
        const auto it = std::lower_bound(byWord.begin(), byWord.end(), w,
                                         [this](quint32 rank, std::string_view key) { return word(rank) < key; });
        return it != byWord.end() && word(*it) == w ? qsizetype(*it) : -1;
    }
};

struct WordDictionary::Kept
{
    QMutex lock;
    // Node-based: an entry stays where it was made.
    std::unordered_map<qsizetype, DictionaryEntry> entries;
};

namespace {

QString fromUtf8(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// Gathers the lines that are entries into the packed form.
class PackedBuilder
{
public:
    // False for a line that is not an entry.
    bool add(QStringView line);
    QByteArray text;
    std::vector<quint32> starts;
};

bool PackedBuilder::add(QStringView line)
{
    const qsizetype tab1 = line.indexOf(QLatin1Char('\t'));
    const qsizetype tab2 = tab1 < 0 ? -1 : line.indexOf(QLatin1Char('\t'), tab1 + 1);
    if (tab2 < 0 || line.indexOf(QLatin1Char('\t'), tab2 + 1) >= 0)
        return false;
    const QStringView word = line.left(tab1);
    const QStringView readings = line.mid(tab1 + 1, tab2 - tab1 - 1);
    const QStringView meaning = line.mid(tab2 + 1);

    const QList<uint> codes = word.toUcs4();
    if (codes.size() != 2 || !WordDictionary::isKanji(codes[0]) || !WordDictionary::isKanji(codes[1]))
        return false;
    const QList<QStringView> parts = readings.split(QLatin1Char(','));
    if (parts.size() > WordDictionary::MaxReadings)
        return false;
    for (QStringView r : parts) {
        if (r.size() > WordDictionary::MaxReadingLength || !WordDictionary::isKana(r))
            return false;
    }
    if (meaning.size() > WordDictionary::MaxMeaningLength)
        return false;
    for (QChar c : meaning) {
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter || c.isSurrogate())
            return false;
    }
    // Checked, the fields go in as they are: the readings are kana joined
    // by commas, the meaning has neither tab nor line end.
    const QByteArray packed = word.toUtf8() + '\t' + readings.toUtf8() + '\t' + meaning.trimmed().toUtf8();
    if (text.size() + packed.size() > qsizetype(std::numeric_limits<quint32>::max()))
        return false; // beyond what the offsets count; no file the reader takes comes near
    if (starts.empty())
        starts.push_back(0);
    text += packed;
    starts.push_back(quint32(text.size()));
    return true;
}

} // namespace

WordDictionary WordDictionary::parse(const QString &text)
{
    WordDictionary d;
    PackedBuilder builder;
    QStringView rest(text);
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != QLatin1Char('\n') && rest[end] != QLatin1Char('\r'))
            ++end;
        const QStringView line = rest.left(end);
        rest = rest.mid(end);
        if (rest.startsWith(u"\r\n"))
            rest = rest.mid(2);
        else if (!rest.isEmpty())
            rest = rest.mid(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!builder.add(line))
            ++d.m_skipped;
    }
    if (builder.starts.size() < 2)
        return d;

    auto packed = std::make_shared<Packed>();
    packed->text = std::move(builder.text);
    packed->starts = std::move(builder.starts);
    const qsizetype lines = qsizetype(packed->starts.size()) - 1;
    packed->byWord.resize(size_t(lines));
    for (qsizetype r = 0; r < lines; ++r)
        packed->byWord[size_t(r)] = quint32(r);
    // Stable: of a word on several lines, the first line comes first.
    std::stable_sort(packed->byWord.begin(), packed->byWord.end(),
                     [&packed](quint32 a, quint32 b) { return packed->word(a) < packed->word(b); });
    std::vector<bool> repeated(size_t(lines), false);
    bool anyRepeated = false;
    for (size_t i = 1; i < packed->byWord.size(); ++i) {
        if (packed->word(packed->byWord[i]) == packed->word(packed->byWord[i - 1])) {
            repeated[packed->byWord[i]] = true;
            anyRepeated = true;
        }
    }
    if (anyRepeated) {
        // The later lines of a word go; the ranks after them move up.
        std::vector<quint32> newRank(static_cast<size_t>(lines));
        QByteArray text;
        std::vector<quint32> starts{0};
        for (qsizetype r = 0; r < lines; ++r) {
            newRank[size_t(r)] = quint32(starts.size() - 1);
            if (repeated[size_t(r)])
                continue;
            const std::string_view e = packed->entry(r);
            text.append(e.data(), qsizetype(e.size()));
            starts.push_back(quint32(text.size()));
        }
        std::vector<quint32> byWord;
        byWord.reserve(starts.size() - 1);
        for (quint32 r : packed->byWord) {
            if (!repeated[r])
                byWord.push_back(newRank[r]);
        }
        packed->text = std::move(text);
        packed->starts = std::move(starts);
        packed->byWord = std::move(byWord);
    }
    packed->text.squeeze();
    packed->starts.shrink_to_fit();
    packed->byWord.shrink_to_fit();
    d.m_packed = std::move(packed);
    d.m_kept = std::make_shared<Kept>();
    return d;
}

qsizetype WordDictionary::size() const
{
    return m_packed ? m_packed->size() : 0;
}

int WordDictionary::rank(const QString &word) const
{
    if (!m_packed || word.isEmpty())
        return -1;
    const QByteArray bytes = word.toUtf8();
    return int(m_packed->rankOf(std::string_view(bytes.constData(), size_t(bytes.size()))));
}

QString WordDictionary::wordAt(qsizetype rank) const
{
    Q_ASSERT(rank >= 0 && rank < size());
    return fromUtf8(m_packed->word(rank));
}

DictionaryEntry WordDictionary::entryAt(qsizetype rank) const
{
    Q_ASSERT(rank >= 0 && rank < size());
    const std::string_view e = m_packed->entry(rank);
    const size_t tab1 = e.find('\t'), tab2 = e.find('\t', tab1 + 1);
    DictionaryEntry out;
    out.word = fromUtf8(e.substr(0, tab1));
    out.readings = fromUtf8(e.substr(tab1 + 1, tab2 - tab1 - 1)).split(QLatin1Char(','));
    out.meaning = fromUtf8(e.substr(tab2 + 1));
    return out;
}

std::optional<DictionaryEntry> WordDictionary::lookUp(const QString &word) const
{
    const int r = rank(word);
    if (r < 0)
        return std::nullopt;
    return entryAt(r);
}

const DictionaryEntry &WordDictionary::kept(qsizetype rank) const
{
    Q_ASSERT(rank >= 0 && rank < size());
    QMutexLocker lock(&m_kept->lock);
    auto it = m_kept->entries.find(rank);
    if (it == m_kept->entries.end())
        it = m_kept->entries.emplace(rank, entryAt(rank)).first;
    return it->second;
}

const DictionaryEntry *WordDictionary::find(const QString &word) const
{
    const int r = rank(word);
    return r < 0 ? nullptr : &kept(r);
}

WordDictionary::Entries WordDictionary::entries() const
{
    return Entries(*this);
}
