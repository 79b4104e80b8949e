// SPDX-License-Identifier: GPL-3.0-or-later
// A scoped message filter for the feedback loaders.
#include "feedbacklog.h"

#include <QThread>

Q_LOGGING_CATEGORY(lcFeedback, "taruvo.feedback")

namespace {

QuietLog *g_active = nullptr;
QString *g_first = nullptr;
QThread *g_thread = nullptr;
QtMessageHandler g_previous = nullptr;

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_active && QThread::currentThread() == g_thread && type != QtFatalMsg) {
        if (g_first->isEmpty())
            *g_first = message.simplified();
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

QuietLog::QuietLog()
{
    // Only the outermost one filters; inner ones see nothing.
    if (g_active)
        return;
    g_active = this;
    g_first = &m_first;
    g_thread = QThread::currentThread();
    g_previous = qInstallMessageHandler(holdBack);
    m_installed = true;
}

QuietLog::~QuietLog()
{
    if (!m_installed)
        return;
    qInstallMessageHandler(g_previous);
    g_active = nullptr;
    g_first = nullptr;
    g_thread = nullptr;
    g_previous = nullptr;
}
