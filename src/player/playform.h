// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/playerlayout.h"
#include "common/rules.h"
#include "controls/formbuilder.h"
#include "controls/valuelabel.h"
#include "engine/playerview.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QWidget>
#include <cstdint>

class AudioOutput;
class FeedbackLibrary;
class RecBoxF_Zu;
class RecognitionQueue;
class ResBank;
class WAPISET;
class ZuButton;

// What a player window takes from the console when it is created.
struct PlayerSetup
{
    QIcon icon;
    // Typeface of the kanji (the console's FontName setting).
    QString fontName;
    // Reads the window's feedback series setting; null gives the default.
    WAPISET *settings = nullptr;
    FeedbackLibrary *feedback = nullptr;
    AudioOutput *audio = nullptr;
    RecognitionQueue *recognition = nullptr;
};

// A player window; the program has two, Play1 and Play2, which differ only
// in caption, player number and the settings key of their feedback series.
// It is a view of one player's seat: it shows what the game tells it
// (PlayerView) and emits answerSubmitted when its player checks an answer.
//
// A close command by the player is refused until setCloseAllowed(true);
// any other close goes ahead and emits closed().
class PlayForm : public QWidget, public PlayerView
{
    Q_OBJECT
public:
    // Runs the window's creation: icon and typeface from the console, the
    // feedback series from the settings file, the board and answer list
    // made from their templates.
    PlayForm(int16_t playerNumber, const PlayerSetup &setup, QWidget *parent = nullptr);
    ~PlayForm() override;

    int16_t PlayerNumber() const { return m_playerNumber; }
    QString SeriesKey() const;

    void AllClear() override;
    void AllLock() override;
    void AllUnLock() override;
    void showBoardCharacter(int place, const QString &character) override;
    void disableBoardPlace(int place) override;
    void showResult(const QString &text) override;
    void showFeedbackItem(int item) override;
    void playFeedback(int item) override;
    void showOwnScore(const QString &score) override;
    void showOpponentScore(const QString &score) override;
    void showAnswer(int slot, const QString &word) override;
    void setReadingContext(const ReadingContext &context) override;

    // Whether the window lets itself be closed: the console allows it when
    // it closes, and the session's end when it comes.
    void setCloseAllowed(bool allowed) { m_closeAllowed = allowed; }
    // Empties both boxes, then resets the feedback.
    void EraseAnswer();
    // Neutral feedback item and an empty result text. The box index is not used.
    void ResetFeedback(int boxIndex);

    // Board buttons 1..36 show pool characters 0..35; 0 is the hidden template.
    ZuButton *MonButton(int n) const { return m_monButtons.value(n); }
    // Answer labels 1..18 list the words answered; 0 is the hidden template.
    QLabel *AnsLabel(int k) const { return m_ansLabels.value(k); }
    RecBoxF_Zu *RecBox(int index) const { return m_recBoxes.value(index); }
    ResBank *resBank() const { return m_resBank; }
    QLabel *ResultLabel() const { return m_resultLabel; }
    ZuButton *RecButton() const { return m_recButton; }
    ZuButton *ClearButton() const { return m_clearButton; }
    ZuButton *AnsButton() const { return m_ansButton; }
    ValueLabel *Score1() const { return m_score1; }
    QLabel *Label1() const { return m_label1; }
    ValueLabel *Score2() const { return m_score2; }
    AutoSizeLabel *ChkLabel() const { return m_chkLabel; }

    static constexpr int BoardSize = Rules::BoardPlaces;
    static constexpr int AnswerCount = Rules::AnswerSlots;

    // The smallest outer size of the window in its normal state, in pixels.
    static constexpr int MinimumOuterWidth = 390;
    static constexpr int MinimumOuterHeight = 380;

    // Lays every control out again for the current inner size; runs by
    // itself whenever the window is shown or resized.
    void layOutControls();
    // How many passes have run, the nested one of a size correction included.
    int layoutPasses() const { return m_layoutPasses; }
    // Measures text as ChkLabel sizes itself to it, without changing the
    // label: the layout measures once per point of font size. Valid while
    // the window lives.
    PlayerLayout::TextMeasure chkLabelMeasure() const;

signals:
    // The player checks the answer word of the two boxes.
    void answerSubmitted(int16_t playerNumber, const QString &word);
    // The window has closed (not by its own player).
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildDesign();
    void create(const PlayerSetup &setup);
    void recognize();
    void readAsPair();
    void submitAnswer();
    void keepMinimumSize();
    QSize minimumInnerSize() const;
    PlayerLayout::FixedExtents fixedExtents() const;
    void applyLayout(const PlayerLayout::Result &layout);
    void warmUpMeasures();

    int16_t m_playerNumber;
    bool m_closeAllowed = false;
    FormBuilder m_design{this};

    ResBank *m_resBank = nullptr;
    QList<ZuButton *> m_monButtons;
    QList<QLabel *> m_ansLabels;
    QList<RecBoxF_Zu *> m_recBoxes;
    RecognitionQueue *m_recognition = nullptr;
    ReadingContext m_context;
    QLabel *m_resultLabel = nullptr;
    AutoSizeLabel *m_chkLabel = nullptr;
    ZuButton *m_recButton = nullptr;
    ZuButton *m_clearButton = nullptr;
    ZuButton *m_ansButton = nullptr;
    ValueLabel *m_score1 = nullptr;
    QLabel *m_label1 = nullptr;
    ValueLabel *m_score2 = nullptr;

    int m_layoutPasses = 0;
    // The too-small size last corrected, and whether that correction is
    // under way: a window manager that insists on a size is not fought.
    QSize m_correctedFrom;
    bool m_correcting = false;
    bool m_measuresWarm = false;
    // Text extents by font, sample and resolution: each new font size costs
    // the font system a lookup of its own.
    mutable QHash<QString, PlayerLayout::TextExtent> m_measured;
};
