// SPDX-License-Identifier: GPL-3.0-or-later
#include "classmatch.h"

#include "common/commonmodule.h"
#include "engine/random.h"
#include "engine/recognitionqueue.h"
#include "learning/worddictionary.h"
#include "seats/remoteseat.h"

#include <QJsonArray>

ClassMatch::ClassMatch(qint64 id, const ClassSettings &settings, const WordList &words, RecognitionQueue *recognition,
                       const QList<Player> &players, const WordDictionary *dictionary, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_settings(settings)
    , m_players(players.mid(0, Rules::Players))
    , m_game(*this)
    , m_dictionary(dictionary)
{
    m_game.setWords(words);
    connect(&m_game, &Game::overChanged, this, &ClassMatch::gameOver);
    connect(&m_game, &Game::clockChanged, this, &ClassMatch::changed);
    for (qsizetype i = 0; i < m_players.size(); ++i) {
        const auto player = int16_t(i + 1);
        RecognitionQueue *lane = nullptr;
        if (recognition) {
            m_lanes.push_back(std::make_unique<RecognitionQueue>(*recognition));
            lane = m_lanes.back().get();
        }
        auto *seat = new RemoteSeat(player, m_players.at(i).seatCode, lane, this);
        seat->reserve(m_players.at(i).token);
        // The page's feedback files: series 0 for player 1, 1 for player 2.
        seat->setFeedbackLook(player - 1);
        seat->setReadAheadDelay(ReadAheadDelayMs);
        connect(seat, &RemoteSeat::answerSubmitted, this, &ClassMatch::judge);
        m_game.addView(player, seat);
        m_game.present(player, seat);
        m_seats.append(seat);
    }
}

ClassMatch::~ClassMatch()
{
    for (RemoteSeat *seat : std::as_const(m_seats)) {
        m_game.removeView(seat);
        seat->disconnect(this);
        seat->release();
    }
    qDeleteAll(m_seats);
}

int ClassMatch::playerOf(qint64 childId) const
{
    for (qsizetype i = 0; i < m_players.size(); ++i) {
        if (m_players.at(i).childId == childId)
            return int(i + 1);
    }
    return 0;
}

void ClassMatch::start(quint64 dealSeed)
{
    auto random = std::make_unique<SeededRandom>();
    random->seed(dealSeed);
    m_game.setRandom(std::move(random));
    m_started = true;
    m_game.start();
    emit changed();
}

void ClassMatch::tick()
{
    if (isRunning())
        m_game.tick();
}

void ClassMatch::end()
{
    if (isRunning())
        m_game.EndGame();
}

int ClassMatch::score(int player) const
{
    return player == 2 && alone() ? 0 : m_game.score(player);
}

QStringList ClassMatch::wordsFound(int player) const
{
    if (player == 2 && alone())
        return {};
    QStringList words = m_game.answers(player);
    words.removeAll(QString());
    return words;
}

int ClassMatch::secondsLeft() const
{
    if (!m_settings.timeLimitOn)
        return -1;
    if (!m_started)
        return m_settings.timeLimitSeconds;
    const int elapsed = qMax(0, int(CommonModule::leadingNumber(m_game.clockText())));
    return qMax(0, m_settings.timeLimitSeconds - elapsed);
}

QString ClassMatch::outcome(int player) const
{
    if (!isOver())
        return {};
    if (alone())
        return QStringLiteral("alone");
    switch (decideGame(m_game.score(1), m_game.score(2))) {
    case GameResult::Draw:
        return QStringLiteral("draw");
    case GameResult::Player1Wins:
        return player == 1 ? QStringLiteral("win") : QStringLiteral("lose");
    case GameResult::Player2Wins:
        return player == 2 ? QStringLiteral("win") : QStringLiteral("lose");
    }
    return {};
}

void ClassMatch::judge(int16_t player, const QString &word)
{
    if (!isRunning() || (player != 1 && player != 2) || player > playerCount())
        return;
    const int before = m_game.score(player);
    // The same verdict the game reaches, for the record of why a try was wrong.
    const Judgement::Outcome verdict = ::judge(m_game.pool(), m_game.words(), word).outcome;
    m_judging = true;
    m_game.SeigoHantei(player, word);
    m_judging = false;
    const bool correct = m_game.score(player) > before;
    if (!correct)
        ++m_wrong[player - 1];
    emit answerJudged(player, word,
                      correct ? Judgement::Correct : verdict == Judgement::Correct ? Judgement::NoWord : verdict);
    emit changed();
    // An answer that ended the game is told before the end.
    if (m_finishOwed) {
        m_finishOwed = false;
        emit finished();
    }
}

void ClassMatch::gameOver(bool over)
{
    if (!over || !m_started)
        return;
    makeReview();
    if (m_judging) {
        m_finishOwed = true;
        return;
    }
    emit changed();
    emit finished();
}

void ClassMatch::makeReview()
{
    const WordDictionary none;
    m_review = GameReview::of(m_game, m_dictionary ? *m_dictionary : none);
    // The same path as the console's seats: the seat keeps it for every
    // device that takes it until the seat is released.
    for (int player = 1; player <= playerCount(); ++player)
        seat(player)->setReview(seatReview(player));
}

QJsonObject ClassMatch::seatReview(int player) const
{
    if (m_review.isEmpty() || player < 1 || player > playerCount())
        return {};
    QJsonObject out = m_review.playerJson(player, false, RemoteSeat::MaxReviewBytes);
    if (alone() && !out.isEmpty()) {
        QJsonArray own;
        for (const QJsonValue &p : out.value(QStringLiteral("players")).toArray()) {
            if (p.toObject().value(QStringLiteral("player")).toInt() == player)
                own.append(p);
        }
        out.insert(QStringLiteral("players"), own);
    }
    return out;
}
