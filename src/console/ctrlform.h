// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/wapiset.h"
#include "controls/formbuilder.h"
#include "controls/valuelabel.h"
#include "engine/game.h"
#include "engine/recognitionqueue.h"
#include "engine/wordlistfile.h"
#include "feedback/audiooutput.h"
#include "feedback/feedbacklibrary.h"
#include "recognition/sharedrecognizer.h"

#include <QFutureWatcher>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QListView;
class QListWidget;
class QScrollBar;
class QTimer;
class MenuBT;
class NButton;
class PlayForm;
class ReviewWindow;
class SeatsWindow;
class WordListModel;

// The operator console, the first window of the program. It owns the game,
// the player windows, the recogniser and the feedback series, and wires them
// together: the game decides, the console's controls show its state (the
// word list in List1, the character pool in List2, the clock in TimLabel,
// the end of a game in UnlockButton), and the settings panel's controls are
// the limits the game reads when it needs them.
//
// Life cycle: construction builds the window design only; load() runs the
// start-up sequence (settings file, player windows); closing the console
// closes both player windows and ends the program.
class CtrlForm : public QWidget
{
    Q_OBJECT
public:
    explicit CtrlForm(QWidget *parent = nullptr);
    ~CtrlForm() override;

    // The start-up sequence. appFolder replaces the folder of the executable
    // (for tests and embedders); empty means the real one.
    void load(const QString &appFolder = QString());

    // Judges an answer of player PNum (1: Play1, anything else: Play2); the
    // game shows the outcome in the player windows and may end.
    void SeigoHantei(int16_t PNum, const QString &St) { m_game.SeigoHantei(PNum, St); }
    // The end of a game; does nothing once a game has ended.
    void EndGame() { m_game.EndGame(); }
    // One tick of the game clock (Timer1).
    void Timer1Tick() { m_game.tick(); }

    Game &game() { return m_game; }
    const Game &game() const { return m_game; }
    // The game's sources of chance and time; tests put fixed ones in.
    void setRandom(std::unique_ptr<UniformRandom> random) { m_game.setRandom(std::move(random)); }
    void setClock(std::unique_ptr<MonotonicClock> clock) { m_game.setClock(std::move(clock)); }

    const WordList &wordList() const { return m_game.words(); }
    // True from the choice of a file until its words are in.
    bool isLoadingWordList() const { return m_game.isLoading(); }
    const CharacterPool &characterPool() const { return m_game.pool(); }

    // The handwriting recogniser of every box; loads on first use.
    SharedRecognizer &recognizer() { return m_recognizer; }
    // Every box and seat reads ink through this one queue.
    RecognitionQueue &recognition() { return m_recognition; }
    FeedbackLibrary &feedback() { return m_feedback; }

    // The program's arguments, read by load() for the options they hold
    // (network seats: --seats, --seat-port, --seat-address).
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    // The window of the seats browsers may take; null unless enabled.
    SeatsWindow *seatsWindow() const { return m_seats.get(); }

    // The review of the last game, shown at its end; never null after load().
    ReviewWindow *reviewWindow() const { return m_review.get(); }

    // The settings reader the player windows read their own keys through.
    WAPISET &settings() { return m_wapiset; }

    // How the program ends once the console has closed; by default the
    // event loop quits. Tests record the call instead.
    void setEndProgram(std::function<void()> end) { m_endProgram = std::move(end); }

    // Set when the desktop session ends or the process is asked to stop:
    // player windows then let themselves be closed.
    void setSessionEnding();
    bool sessionEnding() const { return m_sessionEnding; }
    bool isClosing() const { return m_closing; }

    PlayForm *Play1() const { return m_play1.get(); }
    PlayForm *Play2() const { return m_play2.get(); }

    // The controls of the design.
    MenuBT *menuBT() const { return m_menuBT; }
    ValueLabel *Label1() const { return m_label1; }
    NButton *StartButton() const { return m_startButton; }
    NButton *UnlockButton() const { return m_unlockButton; }
    QCheckBox *TimShowCheck() const { return m_timShowCheck; }
    QLabel *TimLabel() const { return m_timLabel; }
    QLabel *Label5() const { return m_label5; }
    QCheckBox *TimeCheck() const { return m_timeCheck; }
    QLabel *Tim2Label() const { return m_tim2Label; }
    QLabel *Label2() const { return m_label2; }
    QScrollBar *TimScroll() const { return m_timScroll; }
    QCheckBox *SeikaiCheck() const { return m_seikaiCheck; }
    QLabel *SeikaiLabel() const { return m_seikaiLabel; }
    QLabel *Label3() const { return m_label3; }
    QScrollBar *SeikaiScroll() const { return m_seikaiScroll; }
    QCheckBox *PlayCheck() const { return m_playCheck; }
    NButton *EndButton() const { return m_endButton; }
    NButton *MinButton() const { return m_minButton; }
    QListView *List1() const { return m_list1; }
    QListWidget *List2() const { return m_list2; }
    QTimer *Timer1() const { return m_timer1; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildDesign();
    void placeDesign();
    void placeWindows();
    void connectPanel();
    void followConsoleState();
    void connectGame();
    void connectPlayer(PlayForm *play);
    void loadWordList();
    void wordListRead();
    void showWords();
    void showPool();
    void startSeats();
    void startReview();
    void reviewToSeats();

    // The panel's controls are the limits: read whenever the game asks.
    struct PanelLimits final : GameLimits
    {
        explicit PanelLimits(const CtrlForm *form) : form(form) {}
        bool timeLimitOn() const override;
        int timeLimitSeconds() const override;
        bool answerLimitOn() const override;
        int answerLimit() const override;
        const CtrlForm *form;
    };

    FormBuilder m_design{this};
    WAPISET m_wapiset;
    PanelLimits m_limits{this};
    Game m_game{m_limits};
    SharedRecognizer m_recognizer;
    RecognitionQueue m_recognition{m_recognizer};
    FeedbackLibrary m_feedback;
    AudioOutput m_audio;
    std::unique_ptr<PlayForm> m_play1;
    std::unique_ptr<PlayForm> m_play2;
    // Goes before the game, the windows and the recogniser it uses.
    std::unique_ptr<SeatsWindow> m_seats;
    std::unique_ptr<ReviewWindow> m_review;
    QStringList m_arguments;
    WordListLoader m_loader;
    QFutureWatcher<WordListFile> m_reading;
    QString m_readingPath;
    WordListModel *m_wordsModel = nullptr;
    std::function<void()> m_endProgram;
    bool m_closing = false;
    bool m_sessionEnding = false;

    MenuBT *m_menuBT = nullptr;
    ValueLabel *m_label1 = nullptr;
    NButton *m_startButton = nullptr;
    NButton *m_unlockButton = nullptr;
    QCheckBox *m_timShowCheck = nullptr;
    QLabel *m_timLabel = nullptr;
    QLabel *m_label5 = nullptr;
    QCheckBox *m_timeCheck = nullptr;
    QLabel *m_tim2Label = nullptr;
    QLabel *m_label2 = nullptr;
    QScrollBar *m_timScroll = nullptr;
    QCheckBox *m_seikaiCheck = nullptr;
    QLabel *m_seikaiLabel = nullptr;
    QLabel *m_label3 = nullptr;
    QScrollBar *m_seikaiScroll = nullptr;
    QCheckBox *m_playCheck = nullptr;
    NButton *m_endButton = nullptr;
    NButton *m_minButton = nullptr;
    QListView *m_list1 = nullptr;
    QListWidget *m_list2 = nullptr;
    QTimer *m_timer1 = nullptr;
};
