// SPDX-License-Identifier: GPL-3.0-or-later
#include "reviewwindow.h"

#include "common/wapiset.h"
#include "common/windowplacement.h"
#include "controls/fonts.h"
#include "engine/game.h"
#include "learning/reviewhtml.h"

#include <QAction>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

ReviewWindow::ReviewWindow(const Game &game, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_game(game)
{
    setObjectName(QStringLiteral("ReviewWindow"));
    setWindowTitle(QStringLiteral("ふりかえり - Taruvo"));
    connect(&m_reading, &QFutureWatcherBase::finished, this, &ReviewWindow::takeDictionary);

    // The view comes with the first review: a console that is only started
    // need not hold the text browser's machinery.
    m_layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    const auto button = [&](const char *name, const QString &text) {
        auto *b = new QPushButton(text);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    m_print = button("PrintButton", QStringLiteral("印刷…"));
    m_pdf = button("PdfButton", QStringLiteral("PDFに保存…"));
    buttons->addSpacing(16);
    m_sheetPrint = button("SheetPrintButton", QStringLiteral("先生用シートを印刷…"));
    m_sheetPdf = button("SheetPdfButton", QStringLiteral("先生用シートをPDFに…"));
    buttons->addStretch(1);
    m_close = button("CloseButton", QStringLiteral("閉じる"));
    m_layout->addLayout(buttons);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_layout->addWidget(m_status);
    resize(PreferredSize);

    connect(m_print, &QPushButton::clicked, this, [this] { printWithDialog(Document::Review); });
    connect(m_pdf, &QPushButton::clicked, this, [this] { saveAsPdf(Document::Review); });
    connect(m_sheetPrint, &QPushButton::clicked, this, [this] { printWithDialog(Document::Sheet); });
    connect(m_sheetPdf, &QPushButton::clicked, this, [this] { saveAsPdf(Document::Sheet); });
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    m_showAction = new QAction(QStringLiteral("ふりかえり"), this);
    m_showAction->setObjectName(QStringLiteral("ShowReviewAction"));
    m_showAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_showAction->setEnabled(false);
    connect(m_showAction, &QAction::triggered, this, &ReviewWindow::showReview);

    connect(&game, &Game::overChanged, this, &ReviewWindow::gameOver);
    // Read while the first game is played: neither start-up nor the review
    // waits for it, and a console left idle does not hold it.
    connect(&game, &Game::clockRunningChanged, this, [this](bool running) {
        if (running)
            readDictionary();
    });
}

ReviewWindow::~ReviewWindow() = default;

QTextBrowser *ReviewWindow::view()
{
    if (!m_view) {
        m_view = new QTextBrowser;
        m_view->setObjectName(QStringLiteral("ReviewView"));
        m_view->setFont(documentFont());
        m_view->document()->setDefaultFont(documentFont());
        // Qt puts a child added later first in its window's tab order,
        // where the view is on screen.
        m_layout->insertWidget(0, m_view, 1);
    }
    return m_view;
}

void ReviewWindow::readDictionary()
{
    if (m_dictionaryState != DictionaryState::Unread)
        return;
    m_dictionaryState = DictionaryState::Reading;
    m_reading.setFuture(m_loader.load(WordDictionary::paths()));
}

void ReviewWindow::takeDictionary()
{
    if (m_dictionaryState != DictionaryState::Reading)
        return;
    m_dictionaryState = DictionaryState::Read;
    m_reading.waitForFinished();
    const LoadedDictionary loaded = m_reading.result();
    m_dictionary = loaded.dictionary;
    // Without it the review shows the words without readings.
    if (m_dictionary.isEmpty())
        qWarning("taruvo: no dictionary of readings (%s)", qUtf8Printable(loaded.error));
    else if (m_dictionary.skippedLines() > 0)
        qWarning("taruvo: dictionary %s: %d lines skipped", qUtf8Printable(QDir::toNativeSeparators(loaded.path)),
                 m_dictionary.skippedLines());
}

void ReviewWindow::setDictionary(WordDictionary dictionary)
{
    // A read under way goes on, unwanted.
    m_dictionaryState = DictionaryState::Read;
    m_dictionary = std::move(dictionary);
}

const WordDictionary &ReviewWindow::dictionary()
{
    readDictionary();
    takeDictionary();
    return m_dictionary;
}

void ReviewWindow::readSettings(WAPISET &settings)
{
    settings.ReadSetting(QStringLiteral("Taruvo"), QStringLiteral("ReviewMeanings"), QStringLiteral("0"));
    setMeanings(settings.SettingValue().trimmed() == QLatin1String("1"));
}

void ReviewWindow::setMeanings(bool meanings)
{
    if (meanings == m_meanings)
        return;
    m_meanings = meanings;
    render();
    if (hasReview())
        emit reviewChanged();
}

void ReviewWindow::setBoards(const QList<QWidget *> &boards, const QList<QWidget *> &others)
{
    m_boards.clear();
    m_others.clear();
    for (QWidget *w : boards)
        m_boards << w;
    for (QWidget *w : others)
        m_others << w;
}

void ReviewWindow::setPdfPathChooser(std::function<QString(const QString &)> chooser)
{
    m_chooser = std::move(chooser);
}

void ReviewWindow::gameOver(bool over)
{
    if (over) {
        m_review = GameReview::of(m_game, dictionary());
        render();
        m_showAction->setEnabled(true);
        showReview();
    } else {
        // A new deal: this review is no longer the game's.
        m_review = GameReview();
        m_showAction->setEnabled(false);
        hide();
        if (m_view)
            m_view->clear();
        m_status->clear();
    }
    emit reviewChanged();
}

void ReviewWindow::render()
{
    if (m_review.isEmpty())
        return;
    view()->setHtml(html(Document::Review));
}

QString ReviewWindow::html(Document which) const
{
    if (which == Document::Sheet)
        return ReviewHtml::sheet(m_review, sheetTitle());
    ReviewHtml::Options options;
    options.meanings = m_meanings;
    return ReviewHtml::review(m_review, options);
}

QString ReviewWindow::sheetTitle()
{
    const QString date = QLocale(QLocale::Japanese).toString(QDate::currentDate(), QStringLiteral("yyyy年M月d日"));
    return QStringLiteral("きょうのことば　%1").arg(date);
}

QFont ReviewWindow::documentFont() const
{
    QFont font(Fonts::DesignFace);
    font.setPointSizeF(12);
    return font;
}

void ReviewWindow::showReview()
{
    if (m_review.isEmpty())
        return;
    if (!isVisible())
        place();
    show();
    raise();
}

void ReviewWindow::place()
{
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where)
        return;
    const auto rects = [](const QList<QPointer<QWidget>> &windows) {
        QList<QRect> out;
        for (const QPointer<QWidget> &w : windows) {
            if (w && w->isVisible())
                out << w->frameGeometry();
        }
        return out;
    };
    // Smaller where the screen has no room beside the boards for the whole.
    const QMargins frame = frameGeometry().size() != size()
        ? QMargins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom())
        : WindowPlacement::EstimatedFrame;
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect outer = WindowPlacement::fitBeside(where->availableGeometry(), PreferredSize + extra,
                                                   MinimumSize + extra, rects(m_boards), rects(m_others));
    resize(outer.size() - extra);
    move(outer.topLeft());
}

void ReviewWindow::print(QPagedPaintDevice *device, Document which) const
{
    QTextDocument document;
    document.setDefaultFont(documentFont());
    // Laid out on the device's page (in the document's 96 dpi pixels), so
    // that the sheet can be fitted to one page.
    document.setPageSize(device->pageLayout().paintRect(QPageLayout::Point).size() * (96.0 / 72.0));
    if (which == Document::Sheet) {
        for (double scale = 1.0; scale > 0.3; scale -= 0.05) {
            document.setHtml(ReviewHtml::sheet(m_review, sheetTitle(), scale));
            if (document.pageCount() <= 1)
                break;
        }
    } else {
        document.setHtml(html(which));
    }
    document.print(device);
}

bool ReviewWindow::writePdf(const QString &path, Document which, QString *error) const
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setCreator(QStringLiteral("Taruvo"));
        writer.setTitle(which == Document::Sheet ? QStringLiteral("きょうのことば") : QStringLiteral("ふりかえり"));
        print(&writer, which);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf.data()) != pdf.data().size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void ReviewWindow::printWithDialog(Document which)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        print(&printer, which);
}

void ReviewWindow::saveAsPdf(Document which)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString name = which == Document::Sheet ? QStringLiteral("きょうのことば.pdf") : QStringLiteral("ふりかえり.pdf");
    const QString suggested = QDir(folder).filePath(name);
    const QString path = m_chooser ? m_chooser(suggested)
                                   : QFileDialog::getSaveFileName(this, QStringLiteral("PDFに保存"), suggested,
                                                                  QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    const bool ok = writePdf(path, which, &error);
    const QString shown = QDir::toNativeSeparators(path);
    m_status->setText(ok ? QStringLiteral("保存しました: %1").arg(shown)
                         : QStringLiteral("保存できません: %1 (%2)").arg(shown, error));
    emit pdfWritten(path, ok, error);
}
