// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's window of the network seats, beside the console.
#pragma once

#include "seats/seatoptions.h"

#include <QJsonObject>
#include <QList>
#include <QWidget>
#include <cstdint>
#include <memory>

class FeedbackLibrary;
class Game;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class RecognitionQueue;
class SeatServer;

// What the seats window takes from the console.
struct SeatsSetup
{
    Game *game = nullptr;
    RecognitionQueue *recognition = nullptr;
    FeedbackLibrary *feedback = nullptr;
    // The feedback series of player 1 and player 2, as their windows use.
    int32_t series[2] = {0, 1};
};

// Shows, for each seat a browser may take, the address, the join code to
// type, a QR code of the address with the seat's link code, and the seat's
// state (waiting, connected, dropped), with a button that releases the seat
// for another device; and, once wrong codes come, how many, and when typed
// codes are made to wait because someone is guessing. While "受け付ける"
// is ticked the seats' server runs; ticking it again makes new codes.
class SeatsWindow : public QWidget
{
    Q_OBJECT
public:
    SeatsWindow(const SeatOptions &options, const SeatsSetup &setup, QWidget *parent = nullptr);
    ~SeatsWindow() override;

    // Null while the seats are not served.
    SeatServer *server() const { return m_server.get(); }
    void setServing(bool serving);
    // Whether a browser may take this player's seat.
    bool offersSeat(int player) const { return row(player) != nullptr; }
    // The review this player's page shows after a game (empty: none); kept
    // for the seats of a server started later.
    void setReview(int player, const QJsonObject &review);

    // The controls, for tests.
    QCheckBox *servingCheck() const { return m_serving; }
    QLabel *statusLabel() const { return m_status; }
    QLabel *guessLabel() const { return m_guesses; }
    QLabel *codeLabel(int player) const;
    QLabel *stateLabel(int player) const;
    QLabel *addressLabel(int player) const;
    QLabel *qrLabel(int player) const;
    QPushButton *releaseButton(int player) const;

    static QString stateText(int state);

private:
    struct Row
    {
        int16_t player = 0;
        QLabel *qr = nullptr;
        QLabel *address = nullptr;
        QLabel *code = nullptr;
        QLabel *state = nullptr;
        QPushButton *release = nullptr;
    };
    const Row *row(int player) const;
    void start();
    void stop();
    void showSeats();
    void showState(int player);
    void showGuesses();

    SeatOptions m_options;
    SeatsSetup m_setup;
    std::unique_ptr<SeatServer> m_server;
    QCheckBox *m_serving = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_guesses = nullptr;
    // Brings the count of the last minute up to date while there is one.
    QTimer *m_guessClock = nullptr;
    QList<Row> m_rows;
    QJsonObject m_reviews[2];
};
