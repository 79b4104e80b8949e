// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback display of a player window: a picture per answer, animated, with a sound.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

class AudioOutput;
class FeedbackLibrary;
class FeedbackPlayer;
class FeedbackSeries;
class QVariantAnimation;

// The square feedback display of a player window. It shows one item of one
// series: 0 = correct answer or game won, 1 = wrong answer or game lost,
// 2 = neutral (also a draw); see FeedbackSeries for the series. Writing
// ItemNumber alone changes what is shown.
//
// PlayItem performs an item: the item's picture moves for a moment and its
// sound plays, both after the call has returned. A new PlayItem cuts the
// one before. Writing a different ItemNumber ends the movement at once.
class ResBank : public QWidget
{
    Q_OBJECT
public:
    explicit ResBank(QWidget *parent = nullptr);
    ~ResBank() override;

    // Where series and sounds come from. Until set, the bank reads series
    // beside the program by itself and stays silent.
    void setSources(FeedbackLibrary *library, AudioOutput *audio);

    // Written as a double, read back as a 32-bit integer: rounded to the
    // nearest (halves to even), saturated to the 32-bit range, NaN as 0.
    int32_t SeriesNumber() const;
    void setSeriesNumber(double series);

    // Written as a 16-bit integer, read back as a 32-bit integer.
    int32_t ItemNumber() const { return m_item; }
    void setItemNumber(int16_t item);

    // Performs that item of that series; returns at once.
    void PlayItem(int32_t series, int32_t item);

    // The outcome the picture stands for, in words ("正解！！"), for screen
    // readers; a new text is announced. Empty while neutral.
    QString outcomeText() const { return m_outcome; }
    void setOutcomeText(const QString &text);

    // How long the picture moves after PlayItem.
    static constexpr int AnimationMs = 900;
    bool isAnimating() const;
    const FeedbackPlayer *player() const { return m_player; }

    QSize sizeHint() const override { return {177, 177}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const FeedbackSeries &shownSeries();
    FeedbackLibrary &library();

    QString m_outcome;
    double m_series = 0;
    int32_t m_item = 2;
    std::shared_ptr<const FeedbackSeries> m_look;      // for SeriesNumber
    std::shared_ptr<const FeedbackSeries> m_performed; // for the running PlayItem
    int32_t m_performedItem = 2;
    QVariantAnimation *m_animation = nullptr;
    FeedbackPlayer *m_player = nullptr;
    FeedbackLibrary *m_library = nullptr;
    std::unique_ptr<FeedbackLibrary> m_ownLibrary;
};
