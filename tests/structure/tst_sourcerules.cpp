// SPDX-License-Identifier: GPL-3.0-or-later
// The shape of the source tree: which room may include which, no include
// circles, and no widgets below the windows.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>
#include <functional>

namespace {

const QString Source = QStringLiteral(TARUVO_SOURCE_DIR "/src");

// Who may include whom; the libraries link the same way.
const QHash<QString, QStringList> mayInclude = {
    {"common", {}},
    {"engine", {"common"}},
    {"recognition", {"engine", "common"}},
    {"feedback", {"common"}},
    {"seats", {"engine", "common"}},
    {"learning", {"engine", "common"}},
    {"controls", {"engine", "feedback", "common"}},
    {"player", {"controls", "engine", "feedback", "common"}},
    {"console", {"player", "controls", "engine", "feedback", "recognition", "seats", "learning", "common"}},
    {"app", {"console", "player", "controls", "engine", "feedback", "recognition", "seats", "learning", "common"}},
    {"tools", {"recognition", "learning", "engine", "common"}},
    {"host", {"seats", "learning", "engine", "common"}},
    {"hostweb", {"host", "seats", "learning", "engine", "common"}},
    {"hostapp", {"hostweb", "host", "seats", "learning", "recognition", "engine", "common"}},
};

struct Include
{
    QString text;   // as written
    bool quoted;
    int line;
};

QList<Include> includesOf(const QString &path)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*#\s*include\s*([<"])([^">]+)[">])"));
    QList<Include> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    int line = 0;
    while (!file.atEnd()) {
        ++line;
        const QRegularExpressionMatch m = pattern.match(QString::fromUtf8(file.readLine()));
        if (m.hasMatch())
            out.append({m.captured(2), m.captured(1) == QLatin1String("\""), line});
    }
    return out;
}

QStringList sourceFiles()
{
    QStringList files;
    QDirIterator it(Source, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(Source).relativeFilePath(it.next());
    files.sort();
    return files;
}

QString roomOf(const QString &relative)
{
    return relative.section(QLatin1Char('/'), 0, 0);
}

// A quoted include as the compiler finds it: beside the including file
// first, then from the source root; empty when it is not ours.
QString resolved(const QString &from, const QString &include)
{
    const QString beside = QDir::cleanPath(QFileInfo(from).path() + QLatin1Char('/') + include);
    if (QFile::exists(Source + QLatin1Char('/') + beside))
        return beside;
    if (QFile::exists(Source + QLatin1Char('/') + include))
        return QDir::cleanPath(include);
    return {};
}

} // namespace

class TestSourceRules : public QObject
{
    Q_OBJECT
private slots:
    void roomsIncludeOnlyWhatTheyLink();
    void noIncludeCircles();
    void nothingBelowTheWindowsUsesWidgets();
};

void TestSourceRules::roomsIncludeOnlyWhatTheyLink()
{
    // Guards the layering: a control reaching into the console, or the
    // player window into the console, would tie them together again.
    QStringList wrong;
    for (const QString &file : sourceFiles()) {
        const QString room = roomOf(file);
        QVERIFY2(mayInclude.contains(room), qPrintable(QStringLiteral("unknown room ") + room));
        for (const Include &inc : includesOf(Source + QLatin1Char('/') + file)) {
            if (!inc.quoted)
                continue;
            const QString target = resolved(file, inc.text);
            if (target.isEmpty())
                continue;
            const QString other = roomOf(target);
            if (other != room && !mayInclude.value(room).contains(other))
                wrong << QStringLiteral("%1:%2 includes %3").arg(file).arg(inc.line).arg(inc.text);
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

void TestSourceRules::noIncludeCircles()
{
    // Guards against two files that need each other (the console and the
    // player window once did).
    QHash<QString, QStringList> edges;
    const QStringList files = sourceFiles();
    for (const QString &file : files) {
        for (const Include &inc : includesOf(Source + QLatin1Char('/') + file)) {
            // A .cpp and its header are one unit of the graph.
            const QString target = inc.quoted ? resolved(file, inc.text) : QString();
            const QString from = file.section(QLatin1Char('.'), 0, -2);
            const QString to = target.section(QLatin1Char('.'), 0, -2);
            if (!target.isEmpty() && to != from)
                edges[from] << to;
        }
    }
    enum Mark { Unseen, Open, Done };
    QHash<QString, Mark> mark;
    QStringList path;
    QString circle;
    std::function<bool(const QString &)> visit = [&](const QString &unit) {
        mark[unit] = Open;
        path << unit;
        for (const QString &next : edges.value(unit)) {
            if (mark.value(next) == Open) {
                circle = (path.mid(path.indexOf(next)) << next).join(QStringLiteral(" -> "));
                return true;
            }
            if (mark.value(next) == Unseen && visit(next))
                return true;
        }
        path.removeLast();
        mark[unit] = Done;
        return false;
    };
    for (const QString &unit : edges.keys()) {
        if (mark.value(unit) == Unseen && visit(unit))
            break;
    }
    QVERIFY2(circle.isEmpty(), qPrintable(circle));
}

void TestSourceRules::nothingBelowTheWindowsUsesWidgets()
{
    // Guards the engine and the helpers under it against any header of Qt's
    // GUI or widget modules: they must run and be tested without a screen.
    // The seats' server may use the network modules besides, the class
    // host those and Qt SQL.
    const QStringList core = QStringLiteral(TARUVO_QTCORE_INCLUDES).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    const QStringList network = core
        + QStringLiteral(TARUVO_NETWORK_INCLUDES).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    const QStringList hosted = network + QStringLiteral(TARUVO_SQL_INCLUDES).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList wrong;
    for (const QString &file : sourceFiles()) {
        const QString room = roomOf(file);
        const bool host = room.startsWith(QLatin1String("host"));
        if (room != QLatin1String("engine") && room != QLatin1String("common") && room != QLatin1String("seats")
            && room != QLatin1String("learning") && !host)
            continue;
        // The class host is headless too: the network and Qt SQL besides.
        const QStringList &allowed = host ? hosted : room == QLatin1String("seats") ? network : core;
        for (const Include &inc : includesOf(Source + QLatin1Char('/') + file)) {
            if (inc.quoted || !inc.text.startsWith(QLatin1Char('Q')))
                continue;
            bool inCore = false;
            for (const QString &dir : allowed)
                inCore = inCore || QFile::exists(dir + QLatin1Char('/') + inc.text);
            if (!inCore)
                wrong << QStringLiteral("%1:%2 includes <%3>").arg(file).arg(inc.line).arg(inc.text);
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestSourceRules)
#include "tst_sourcerules.moc"
