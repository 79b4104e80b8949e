// SPDX-License-Identifier: GPL-3.0-or-later
// Headless Chromium driven through chromedriver's WebDriver protocol, from a
// test's own event loop (so that a server in the same process keeps
// answering while the browser works).
#pragma once

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class WebDriver
{
public:
    // The key WebDriver names an element by.
    static constexpr const char *ElementKey = "element-6066-11e4-a52e-4f735466cecf";

    ~WebDriver() { stop(); }

    // Starts chromedriver and a browser with a fresh profile and a window of
    // the given size; false with *why when either does not come up.
    bool start(QSize window, QString *why)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        m_base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        m_driver.setProcessChannelMode(QProcess::MergedChannels);
        m_driver.start(QStringLiteral("chromedriver"), {QStringLiteral("--port=%1").arg(port)});
        if (!m_driver.waitForStarted(10000)) {
            *why = QStringLiteral("chromedriver does not start: ") + m_driver.errorString();
            return false;
        }
        if (!QTest::qWaitFor([this] { return call("GET", "/status").toObject().value("ready").toBool(); }, 20000)) {
            *why = QStringLiteral("chromedriver is not ready: ") + QString::fromUtf8(m_driver.readAll());
            return false;
        }
        // DevTools over a pipe rather than a port: nothing more listens on
        // the machine, and the driver need not resolve "localhost" (a root
        // without /etc/hosts cannot).
        const QJsonArray args{"--headless", "--remote-debugging-pipe", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                              "--disable-background-networking", "--disable-component-update", "--disable-sync",
                              "--disable-breakpad", "--disable-crash-reporter", "--disable-dev-shm-usage",
                              "--user-data-dir=" + m_profile.path(),
                              QStringLiteral("--window-size=%1,%2").arg(window.width()).arg(window.height())};
        const QJsonObject caps{{"capabilities", QJsonObject{{"alwaysMatch", QJsonObject{
            {"browserName", "chrome"},
            {"goog:loggingPrefs", QJsonObject{{"browser", "ALL"}}},
            {"goog:chromeOptions", QJsonObject{{"binary", "/usr/bin/chromium"}, {"args", args}}}}}}}};
        const QJsonObject session = call("POST", "/session", caps).toObject();
        m_session = session.value("sessionId").toString();
        if (m_session.isEmpty()) {
            *why = QStringLiteral("no browser session: ") + QJsonDocument(session).toJson(QJsonDocument::Compact);
            return false;
        }
        return true;
    }

    void stop()
    {
        if (!m_session.isEmpty())
            call("DELETE", QStringLiteral("/session/") + m_session);
        m_session.clear();
        if (m_driver.state() != QProcess::NotRunning) {
            m_driver.terminate();
            if (!m_driver.waitForFinished(5000))
                m_driver.kill();
        }
    }

    // One command of the session (path after /session/<id>); its value.
    QJsonValue session(const QByteArray &method, const QString &path, const QJsonObject &body = QJsonObject())
    {
        return call(method, QStringLiteral("/session/") + m_session + path, body);
    }

    void go(const QString &url) { session("POST", "/url", {{"url", url}}); }
    void refresh() { session("POST", "/refresh", QJsonObject{}); }
    QJsonValue script(const QString &body) { return session("POST", "/execute/sync", {{"script", body}, {"args", QJsonArray()}}); }
    QString element(const QString &css)
    {
        return session("POST", "/element", {{"using", "css selector"}, {"value", css}}).toObject().value(ElementKey).toString();
    }
    void click(const QString &css) { session("POST", "/element/" + element(css) + "/click", QJsonObject{}); }
    void type(const QString &css, const QString &text) { session("POST", "/element/" + element(css) + "/value", {{"text", text}}); }
    QRectF rect(const QString &css)
    {
        const QJsonObject r = session("GET", "/element/" + element(css) + "/rect").toObject();
        return QRectF(r.value("x").toDouble(), r.value("y").toDouble(), r.value("width").toDouble(), r.value("height").toDouble());
    }
    // Sizes the page's viewport (the window's frame comes on top of it). A
    // resize lands a little later than its answer, and more so on a busy
    // machine: measure again after each step until the viewport is right.
    bool viewport(QSize size)
    {
        for (int attempt = 0; attempt < 6; ++attempt) {
            const QJsonObject inner = script("return {w: innerWidth, h: innerHeight};").toObject();
            const QSize now(inner.value("w").toInt(), inner.value("h").toInt());
            if (now == size)
                return true;
            const QJsonObject window = session("GET", "/window/rect").toObject();
            const QSize frame(window.value("width").toInt() - now.width(), window.value("height").toInt() - now.height());
            session("POST", "/window/rect", {{"width", size.width() + qMax(0, frame.width())},
                                             {"height", size.height() + qMax(0, frame.height())}});
            (void)QTest::qWaitFor([&] {
                const QJsonObject after = script("return {w: innerWidth, h: innerHeight};").toObject();
                return QSize(after.value("w").toInt(), after.value("h").toInt()) != now;
            }, 3000);
        }
        const QJsonObject inner = script("return {w: innerWidth, h: innerHeight};").toObject();
        return QSize(inner.value("w").toInt(), inner.value("h").toInt()) == size;
    }
    QByteArray screenshot() { return QByteArray::fromBase64(session("GET", "/screenshot").toString().toLatin1()); }
    QString lastError() const { return m_error; }
    // What the page wrote to its console since last asked.
    QString consoleLog()
    {
        QStringList lines;
        for (const QJsonValue &e : session("POST", "/se/log", {{"type", "browser"}}).toArray())
            lines << e.toObject().value("message").toString();
        return lines.join('\n');
    }

private:
    QJsonValue call(const QByteArray &method, const QString &path, const QJsonObject &body = QJsonObject())
    {
        QNetworkRequest request(QUrl(m_base + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        const QByteArray bytes = method == "GET" || method == "DELETE" ? QByteArray()
                                                                        : QJsonDocument(body).toJson(QJsonDocument::Compact);
        QNetworkReply *reply = m_net.sendCustomRequest(request, method, bytes);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        // A fresh machine builds its font cache at the browser's first start.
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        const QJsonValue value = answer.value("value");
        if (value.isObject() && value.toObject().contains("error"))
            m_error = value.toObject().value("message").toString().left(400);
        return value;
    }

    QNetworkAccessManager m_net;
    QProcess m_driver;
    QTemporaryDir m_profile;
    QString m_base;
    QString m_session;
    QString m_error;
};
