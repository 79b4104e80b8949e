// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/playerlayout.h"
#include "controls/formbuilder.h"

#include <QList>
#include <QWidget>
#include <cstdint>

class CtrlForm;
class RecBoxF_Zu;
class ResBank;
class ZuButton;

// A player window; the program has two, Play1 and Play2, which differ only
// in caption, player number and the settings key of their feedback series.
// It holds no game state: it shows what the console writes into its
// controls and hands the player's answers to the console.
//
// The console drives it with AllClear, AllLock and AllUnLock. A close
// command by the player is refused; any other close goes ahead and asks the
// console to close, which ends the program.
class PlayForm : public QWidget
{
    Q_OBJECT
public:
    // Runs the window's creation: icon and typeface from the console, the
    // feedback series from the settings file, the board and answer list
    // made from their templates.
    PlayForm(CtrlForm *console, int16_t playerNumber);
    ~PlayForm() override;

    int16_t PlayerNumber() const { return m_playerNumber; }
    QString SeriesKey() const;

    void AllClear();
    void AllLock();
    void AllUnLock();
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
    QLabel *Score1() const { return m_score1; }
    QLabel *Label1() const { return m_label1; }
    QLabel *Score2() const { return m_score2; }
    AutoSizeLabel *ChkLabel() const { return m_chkLabel; }

    static constexpr int BoardSize = 36;
    static constexpr int AnswerCount = 18;

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

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildDesign();
    void create();
    void recognize();
    void submitAnswer();
    void keepMinimumSize();
    PlayerLayout::FixedExtents fixedExtents() const;
    void applyLayout(const PlayerLayout::Result &layout);
    void warmUpMeasures();

    CtrlForm *m_console;
    int16_t m_playerNumber;
    FormBuilder m_design{this};

    ResBank *m_resBank = nullptr;
    QList<ZuButton *> m_monButtons;
    QList<QLabel *> m_ansLabels;
    QList<RecBoxF_Zu *> m_recBoxes;
    QLabel *m_resultLabel = nullptr;
    AutoSizeLabel *m_chkLabel = nullptr;
    ZuButton *m_recButton = nullptr;
    ZuButton *m_clearButton = nullptr;
    ZuButton *m_ansButton = nullptr;
    QLabel *m_score1 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_score2 = nullptr;

    int m_layoutPasses = 0;
    // The too-small size last corrected, and whether that correction is
    // under way: a window manager that insists on a size is not fought.
    QSize m_correctedFrom;
    bool m_correcting = false;
    bool m_measuresWarm = false;
};
