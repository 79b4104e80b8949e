// SPDX-License-Identifier: GPL-3.0-or-later
// The review after a game, in a window of its own beside the boards.
#pragma once

#include "learning/dictionaryloader.h"
#include "learning/gamereview.h"
#include "learning/worddictionary.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QWidget>
#include <functional>

class Game;
class QAction;
class QLabel;
class QPagedPaintDevice;
class QPushButton;
class QTextBrowser;
class QTextDocument;
class QVBoxLayout;
class WAPISET;

// Follows a game: at its end it makes the review (the words with their
// readings, who found which, the words nobody found, the wrong tries) and
// shows it, placed so that it covers neither player window; closing it
// only hides it, and showAction() brings it back until the next deal, which
// hides and forgets it. From here the review, and the teacher's sheet of
// the words with readings in large type, are printed or saved as PDF.
class ReviewWindow : public QWidget
{
    Q_OBJECT
public:
    enum class Document { Review, Sheet };
    // Inner sizes: as it first shows where the screen has room, and the
    // smallest it shrinks to so as not to cover a board.
    static constexpr QSize PreferredSize{720, 640};
    static constexpr QSize MinimumSize{420, 240};

    // The dictionary of readings is read from WordDictionary::paths() on a
    // thread of its own when the first game starts.
    explicit ReviewWindow(const Game &game, QWidget *parent = nullptr);
    ~ReviewWindow() override;

    // ReviewMeanings=1 in the settings shows the English meanings.
    void readSettings(WAPISET &settings);
    void setMeanings(bool meanings);
    bool meanings() const { return m_meanings; }
    // Replaces the dictionary read, or to be read, from the files.
    void setDictionary(WordDictionary dictionary);
    // Reads it now if it is not read yet; waits for a read under way.
    const WordDictionary &dictionary();
    // Windows the review must not cover (the player windows), and windows it
    // had rather not cover.
    void setBoards(const QList<QWidget *> &boards, const QList<QWidget *> &others = {});

    bool hasReview() const { return !m_review.isEmpty(); }
    const GameReview &review() const { return m_review; }
    // Shows the review again; enabled while there is one. Ctrl+R.
    QAction *showAction() const { return m_showAction; }
    void showReview();

    QString html(Document which) const;
    // Lays the document out on the device's pages and paints it there.
    void print(QPagedPaintDevice *device, Document which) const;
    // An A4 PDF at path, written whole or not at all.
    bool writePdf(const QString &path, Document which, QString *error = nullptr) const;

    // Where "PDF" saves, asked with a file dialog unless a test puts in
    // its own chooser (empty: cancelled).
    void setPdfPathChooser(std::function<QString(const QString &suggested)> chooser);

    // Made with the first review, or when asked for.
    QTextBrowser *view();
    QPushButton *printButton() const { return m_print; }
    QPushButton *pdfButton() const { return m_pdf; }
    QPushButton *sheetPrintButton() const { return m_sheetPrint; }
    QPushButton *sheetPdfButton() const { return m_sheetPdf; }
    QPushButton *closeButton() const { return m_close; }
    // What became of the last PDF.
    QLabel *statusLabel() const { return m_status; }

signals:
    // A review was made at the game's end, or forgotten at the next deal.
    void reviewChanged();
    // A PDF was written, or could not be (error says why).
    void pdfWritten(const QString &path, bool ok, const QString &error);

private:
    void gameOver(bool over);
    void readDictionary();
    void takeDictionary();
    void render();
    void place();
    void printWithDialog(Document which);
    void saveAsPdf(Document which);
    QFont documentFont() const;
    static QString sheetTitle();

    const Game &m_game;
    DictionaryLoader m_loader;
    QFutureWatcher<LoadedDictionary> m_reading;
    enum class DictionaryState { Unread, Reading, Read };
    DictionaryState m_dictionaryState = DictionaryState::Unread;
    WordDictionary m_dictionary;
    GameReview m_review;
    bool m_meanings = false;
    bool m_placed = false;
    QList<QPointer<QWidget>> m_boards;
    QList<QPointer<QWidget>> m_others;
    std::function<QString(const QString &)> m_chooser;
    QAction *m_showAction = nullptr;
    QVBoxLayout *m_layout = nullptr;
    QTextBrowser *m_view = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
    QPushButton *m_sheetPrint = nullptr;
    QPushButton *m_sheetPdf = nullptr;
    QPushButton *m_close = nullptr;
    QLabel *m_status = nullptr;
};
