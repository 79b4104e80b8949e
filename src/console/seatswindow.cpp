// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatswindow.h"

#include "console/qrcodeimage.h"
#include "console/seatfeedback.h"
#include "seats/remoteseat.h"
#include "seats/seataddresses.h"
#include "seats/seatserver.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int QrModule = 4;

// Room for the longest state from the start: a window placed beside the
// console and the players must not grow under them when a seat drops.
void reserveStateRoom(QLabel *label)
{
    const QFontMetrics metrics(label->font());
    int width = 0, lines = 1;
    for (int state : {int(RemoteSeat::State::Waiting), int(RemoteSeat::State::Connected), int(RemoteSeat::State::Dropped)}) {
        const QStringList text = SeatsWindow::stateText(state).split(QLatin1Char('\n'));
        lines = qMax(lines, int(text.size()));
        for (const QString &line : text)
            width = qMax(width, metrics.horizontalAdvance(line));
    }
    label->setMinimumSize(width, lines * metrics.lineSpacing());
}

} // namespace

SeatsWindow::SeatsWindow(const SeatOptions &options, const SeatsSetup &setup, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowMinimizeButtonHint)
    , m_options(options)
    , m_setup(setup)
{
    setObjectName(QStringLiteral("SeatsWindow"));
    setWindowTitle(QStringLiteral("ネット席 - Taruvo"));
    auto *layout = new QVBoxLayout(this);
    m_serving = new QCheckBox(QStringLiteral("受け付ける"));
    m_serving->setObjectName(QStringLiteral("ServingCheck"));
    layout->addWidget(m_serving);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    m_guesses = new QLabel;
    m_guesses->setObjectName(QStringLiteral("GuessLabel"));
    m_guesses->setWordWrap(true);
    m_guesses->hide();
    layout->addWidget(m_guesses);
    m_guessClock = new QTimer(this);
    m_guessClock->setInterval(1000);
    connect(m_guessClock, &QTimer::timeout, this, &SeatsWindow::showGuesses);

    for (int16_t player : options.players) {
        Row r;
        r.player = player;
        auto *group = new QGroupBox(QStringLiteral("Player%1").arg(player));
        auto *grid = new QGridLayout(group);
        r.qr = new QLabel;
        r.qr->setAlignment(Qt::AlignCenter);
        r.qr->setMinimumSize(140, 140);
        r.code = new QLabel;
        QFont big = r.code->font();
        big.setPointSizeF(big.pointSizeF() * 2.2);
        big.setBold(true);
        r.code->setFont(big);
        r.code->setTextInteractionFlags(Qt::TextSelectableByMouse);
        r.address = new QLabel;
        r.address->setTextInteractionFlags(Qt::TextSelectableByMouse);
        r.state = new QLabel;
        reserveStateRoom(r.state);
        r.release = new QPushButton(QStringLiteral("解放"));
        r.release->setToolTip(QStringLiteral("この席を ほかの端末に あけわたします"));
        grid->addWidget(r.qr, 0, 0, 4, 1);
        grid->addWidget(r.code, 0, 1);
        grid->addWidget(r.address, 1, 1);
        grid->addWidget(r.state, 2, 1);
        grid->addWidget(r.release, 3, 1, Qt::AlignLeft);
        layout->addWidget(group);
        connect(r.release, &QPushButton::clicked, this, [this, player] {
            if (m_server)
                m_server->release(player);
        });
        m_rows.append(r);
    }
    layout->addStretch();

    connect(m_serving, &QCheckBox::toggled, this, [this](bool on) { on ? start() : stop(); });
    m_serving->setChecked(true);
}

SeatsWindow::~SeatsWindow() = default;

void SeatsWindow::setServing(bool serving)
{
    m_serving->setChecked(serving);
}

const SeatsWindow::Row *SeatsWindow::row(int player) const
{
    for (const Row &r : m_rows) {
        if (r.player == player)
            return &r;
    }
    return nullptr;
}

void SeatsWindow::setReview(int player, const QJsonObject &review)
{
    m_reviews[player == 1 ? 0 : 1] = review;
    if (RemoteSeat *seat = m_server ? m_server->seat(player) : nullptr)
        seat->setReview(review);
}

QLabel *SeatsWindow::codeLabel(int player) const
{
    const Row *r = row(player);
    return r ? r->code : nullptr;
}

QLabel *SeatsWindow::stateLabel(int player) const
{
    const Row *r = row(player);
    return r ? r->state : nullptr;
}

QLabel *SeatsWindow::addressLabel(int player) const
{
    const Row *r = row(player);
    return r ? r->address : nullptr;
}

QLabel *SeatsWindow::qrLabel(int player) const
{
    const Row *r = row(player);
    return r ? r->qr : nullptr;
}

QPushButton *SeatsWindow::releaseButton(int player) const
{
    const Row *r = row(player);
    return r ? r->release : nullptr;
}

QString SeatsWindow::stateText(int state)
{
    switch (RemoteSeat::State(state)) {
    case RemoteSeat::State::Waiting:
        return QStringLiteral("待っています");
    case RemoteSeat::State::Connected:
        return QStringLiteral("つながっています");
    case RemoteSeat::State::Dropped:
        return QStringLiteral("切れています\n（同じ端末で もどれます）");
    }
    return QString();
}

void SeatsWindow::start()
{
    if (m_server || !m_setup.game)
        return;
    m_server = std::make_unique<SeatServer>(*m_setup.game, m_setup.recognition, m_options.players);
    QFile icon(QStringLiteral(":/icons/taruvo-32.png"));
    if (icon.open(QIODevice::ReadOnly))
        m_server->files().add(QStringLiteral("/icon.png"), "image/png", icon.readAll());
    for (RemoteSeat *seat : m_server->seats()) {
        const int p = seat->player();
        if (m_setup.feedback)
            seat->setFeedbackLook(
                addSeatFeedback(m_server->files(), p, *m_setup.feedback, m_setup.series[p == 1 ? 0 : 1]));
        seat->setReview(m_reviews[p == 1 ? 0 : 1]);
    }
    connect(m_server.get(), &SeatServer::seatStateChanged, this, &SeatsWindow::showState);
    // Once a second at most while they come, as a crowd may try hundreds.
    connect(m_server.get(), &SeatServer::codesTried, this, [this] {
        if (!m_guessClock->isActive())
            showGuesses();
    });
    if (!m_server->listen(m_options.address, m_options.port)) {
        m_status->setText(QStringLiteral("ポートを開けません: %1").arg(m_server->errorString()));
        qWarning("taruvo: network seats: no port to listen on: %s", qPrintable(m_server->errorString()));
        m_server.reset();
    } else {
        m_status->setText(QStringLiteral("ポート %1 で受付中").arg(m_server->port()));
    }
    showSeats();
    showGuesses();
}

void SeatsWindow::stop()
{
    m_server.reset();
    m_status->setText(QStringLiteral("受付を止めています"));
    showSeats();
    showGuesses();
}

void SeatsWindow::showSeats()
{
    const QStringList hosts =
        m_server ? SeatAddresses::hosts(m_server->address()) : QStringList();
    for (const Row &r : m_rows) {
        RemoteSeat *seat = m_server ? m_server->seat(r.player) : nullptr;
        if (!seat || hosts.isEmpty()) {
            r.qr->clear();
            r.code->setText(QStringLiteral("------"));
            r.address->clear();
            r.state->clear();
            r.release->setEnabled(false);
            continue;
        }
        QStringList urls;
        for (const QString &host : hosts)
            urls << SeatAddresses::joinUrl(host, m_server->port(), QString()).chopped(1);
        r.address->setText(urls.join(QLatin1Char('\n')));
        r.code->setText(seat->code());
        const QImage qr =
            qrCodeImage(SeatAddresses::joinUrl(hosts.first(), m_server->port(), m_server->linkCode(r.player)), QrModule);
        r.qr->setPixmap(QPixmap::fromImage(qr));
        showState(r.player);
    }
}

void SeatsWindow::showState(int player)
{
    const Row *r = row(player);
    RemoteSeat *seat = m_server ? m_server->seat(player) : nullptr;
    if (!r || !seat)
        return;
    const RemoteSeat::State state = seat->state();
    r->state->setText(stateText(int(state)));
    r->release->setEnabled(state != RemoteSeat::State::Waiting);
}

void SeatsWindow::showGuesses()
{
    const JoinGuard *guard = m_server ? &m_server->joinGuard() : nullptr;
    if (!guard || guard->wrongCodesSinceStart() == 0) {
        m_guesses->hide();
        m_guessClock->stop();
        return;
    }
    const int recent = guard->wrongCodesInWindow();
    QString text = QStringLiteral("まちがったコード: この1分に %1 回（ぜんぶで %2 回）")
                       .arg(recent)
                       .arg(guard->wrongCodesSinceStart());
    if (guard->typedCodesWait()) {
        // Someone is guessing: the operator should know why a child who
        // types a code is told to wait, and that the QR code still works.
        text += QStringLiteral("\nコードが ためされています。入力したコードは あと %1 秒 うけつけません"
                               "（QRコードでは はいれます）")
                    .arg((guard->typedCodesWaitMs() + 999) / 1000);
        m_guesses->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    } else {
        m_guesses->setStyleSheet(QString());
    }
    m_guesses->setText(text);
    m_guesses->show();
    // The count of the last minute goes down by itself.
    if (recent > 0)
        m_guessClock->start();
    else
        m_guessClock->stop();
}
