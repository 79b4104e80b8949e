// SPDX-License-Identifier: GPL-3.0-or-later
#include "game.h"

#include "common/commonmodule.h"
#include "engine/judge.h"
#include "engine/playerview.h"

#include <climits>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

Game::Game(const GameLimits &limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_random(std::make_unique<SeededRandom>())
    , m_clock(std::make_unique<SteadyClock>())
{
    for (QStringList &answers : m_answers)
        answers = QStringList(Rules::AnswerSlots);
}

Game::~Game() = default;

void Game::setRandom(std::unique_ptr<UniformRandom> random)
{
    m_random = std::move(random);
}

void Game::setClock(std::unique_ptr<MonotonicClock> clock)
{
    m_clock = std::move(clock);
}

void Game::seedFromClock()
{
    if (auto *seeded = dynamic_cast<SeededRandom *>(m_random.get()))
        seeded->seedFromClock();
}

void Game::addView(int player, PlayerView *view)
{
    if (view && !m_views[index(player)].contains(view))
        m_views[index(player)].append(view);
}

void Game::removeView(PlayerView *view)
{
    for (QList<PlayerView *> &views : m_views)
        views.removeAll(view);
}

void Game::present(int player, PlayerView *view) const
{
    const int p = index(player);
    view->AllClear();
    for (int i = 0; i < m_pool.size(); ++i) {
        view->showBoardCharacter(i + 1, m_pool.at(i).character);
        if (m_pool.at(i).used)
            view->disableBoardPlace(i + 1);
    }
    for (int slot = 1; slot <= Rules::AnswerSlots; ++slot) {
        if (!m_answers[p].at(slot - 1).isEmpty())
            view->showAnswer(slot, m_answers[p].at(slot - 1));
    }
    view->setReadingContext(m_contexts[p]);
    view->showOwnScore(QString::number(m_scores[p]));
    view->showOpponentScore(QString::number(m_scores[1 - p]));
    if (m_locked[p])
        view->AllLock();
    else
        view->AllUnLock();
    if (m_items[p] != Rules::Neutral)
        view->showFeedbackItem(m_items[p]);
    if (!m_results[p].isEmpty())
        view->showResult(m_results[p]);
}

void Game::setWords(WordList words)
{
    m_words = std::move(words);
    m_pool.clear();
    emit wordsChanged();
    emit poolChanged();
    updateReadingContexts();
}

void Game::clearWords()
{
    setWords(WordList());
}

void Game::beginLoading()
{
    clearWords();
    m_loading = true;
    for (int player = 1; player <= Rules::Players; ++player)
        lockPlayer(player);
}

void Game::finishLoading()
{
    m_loading = false;
    lockAndClearPlayers();
    if (m_tickPending) {
        m_tickPending = false;
        tick();
    }
}

void Game::clearPlayer(int player)
{
    const int p = index(player);
    m_scores[p] = 0;
    m_answers[p] = QStringList(Rules::AnswerSlots);
    m_wrongTries[p].clear();
    m_wrongTryCounts[p] = 0;
    m_results[p].clear();
    m_items[p] = Rules::Neutral;
    for (PlayerView *view : views(player))
        view->AllClear();
}

void Game::lockPlayer(int player)
{
    m_locked[index(player)] = true;
    for (PlayerView *view : views(player))
        view->AllLock();
}

void Game::unlockPlayer(int player)
{
    const int p = index(player);
    m_locked[p] = false;
    m_results[p].clear();
    m_items[p] = Rules::Neutral;
    for (PlayerView *view : views(player))
        view->AllUnLock();
}

void Game::lockAndClearPlayers()
{
    for (int player = 1; player <= Rules::Players; ++player) {
        lockPlayer(player);
        clearPlayer(player);
    }
}

void Game::unlockPlayers()
{
    for (int player = 1; player <= Rules::Players; ++player)
        unlockPlayer(player);
}

void Game::start()
{
    if (!canStart())
        return;
    lockAndClearPlayers();

    m_pool.deal(m_words, *m_random);
    emit poolChanged();
    for (int j = 0; j < m_pool.size(); ++j) {
        for (int player = 1; player <= Rules::Players; ++player) {
            for (PlayerView *view : views(player))
                view->showBoardCharacter(j + 1, m_pool.at(j).character);
        }
    }
    updateReadingContexts();

    unlockPlayers();

    m_clockText = QStringLiteral("0");
    emit clockChanged(m_clockText);
    m_startMs = m_clock->nowMs();
    // Told even when it was running: the tick starts again from the deal.
    m_clockRunning = true;
    emit clockRunningChanged(true);
    setOver(false);
}

void Game::showOutcome(int player, const QString &text, int item)
{
    const int p = index(player);
    m_results[p] = text;
    m_items[p] = item;
    for (PlayerView *view : views(player)) {
        view->showResult(text);
        view->showFeedbackItem(item);
        view->playFeedback(item);
    }
}

void Game::SeigoHantei(int16_t PNum, const QString &St)
{
    if (m_loading)
        return;
    const int w = PNum == 1 ? 1 : 2;
    const int o = 3 - w;
    const Judgement j = judge(m_pool, m_words, St);

    if (j.outcome == Judgement::Correct) {
        m_pool.markUsed(j.first);
        m_pool.markUsed(j.second);
        emit poolChanged();
        for (int player = 1; player <= Rules::Players; ++player) {
            for (PlayerView *view : views(player)) {
                view->disableBoardPlace(j.first + 1);
                view->disableBoardPlace(j.second + 1);
            }
        }
        updateReadingContexts();
        showOutcome(w, text(CorrectText), Rules::Correct);
        const int slot = ++m_scores[index(w)];
        const QString score = QString::number(slot);
        for (PlayerView *view : views(w))
            view->showOwnScore(score);
        for (PlayerView *view : views(o))
            view->showOpponentScore(score);
        // The k-th correct word goes to slot k; a deal has at most 18.
        if (slot >= 1 && slot <= Rules::AnswerSlots) {
            m_answers[index(w)][slot - 1] = St;
            for (PlayerView *view : views(w))
                view->showAnswer(slot, St);
        }
    } else {
        showOutcome(w, text(j.outcome == Judgement::NoCharacter ? NoCharacterText : NoWordText), Rules::Wrong);
        recordWrongTry(w, St, j.outcome);
    }

    const int limit = m_limits.answerLimit();
    if (m_limits.answerLimitOn() && (m_scores[0] >= limit || m_scores[1] >= limit))
        EndGame();
}

void Game::recordWrongTry(int player, const QString &answer, Judgement::Outcome outcome)
{
    // Bounded, whatever a seat sends or however long a game without limits runs.
    const int p = index(player);
    if (m_wrongTryCounts[p] < INT_MAX)
        ++m_wrongTryCounts[p];
    if (m_wrongTries[p].size() < WrongTriesKept) {
        QString kept = answer.left(WrongTryLength);
        if (!kept.isEmpty() && kept.back().isHighSurrogate())
            kept.chop(1);
        m_wrongTries[p].append({kept, outcome});
    }
}

bool Game::updateClock()
{
    m_clockText = GameClock::elapsedText(m_startMs, m_clock->nowMs());
    emit clockChanged(m_clockText);
    return m_clockText != QLatin1String("--");
}

void Game::tick()
{
    if (m_loading) {
        m_tickPending = true;
        return;
    }
    updateClock();
    if (CommonModule::leadingNumber(m_clockText) >= m_limits.timeLimitSeconds() && m_limits.timeLimitOn())
        EndGame();
}

void Game::EndGame()
{
    if (m_over)
        return;
    setClockRunning(false);
    lockPlayer(1);
    lockPlayer(2);

    if (updateClock() && m_limits.timeLimitOn()) {
        const auto elapsed = qint64(CommonModule::leadingNumber(m_clockText));
        m_clockText = GameClock::finalText(elapsed, m_limits.timeLimitSeconds());
        emit clockChanged(m_clockText);
    }

    const GameResult result = decideGame(m_scores[0], m_scores[1]);
    struct Shown { int item; const char *text; };
    const Shown win{Rules::Correct, WinText}, lose{Rules::Wrong, LoseText}, draw{Rules::Neutral, DrawText};
    const Shown &one = result == GameResult::Player1Wins ? win : result == GameResult::Player2Wins ? lose : draw;
    const Shown &two = result == GameResult::Player2Wins ? win : result == GameResult::Player1Wins ? lose : draw;
    for (const auto &[player, shown] : {std::pair<int, Shown>{1, one}, std::pair<int, Shown>{2, two}}) {
        m_items[index(player)] = shown.item;
        m_results[index(player)] = text(shown.text);
        for (PlayerView *view : views(player)) {
            view->showFeedbackItem(shown.item);
            view->showResult(text(shown.text));
        }
    }
    // Only the winner's display performs, with the item of a win; player 1's
    // on a draw, although both show the draw.
    for (PlayerView *view : views(result == GameResult::Player2Wins ? 2 : 1))
        view->playFeedback(Rules::Correct);
    setOver(true);
}

void Game::setClockRunning(bool running)
{
    if (m_clockRunning == running)
        return;
    m_clockRunning = running;
    emit clockRunningChanged(running);
}

void Game::setOver(bool over)
{
    if (m_over == over)
        return;
    m_over = over;
    emit overChanged(over);
}

void Game::updateReadingContexts()
{
    // Both players share the board, so one context serves both for now.
    const ReadingContext context = ReadingContext::of(m_pool, m_words);
    for (int player = 1; player <= Rules::Players; ++player) {
        m_contexts[index(player)] = context;
        for (PlayerView *view : views(player))
            view->setReadingContext(context);
    }
}
