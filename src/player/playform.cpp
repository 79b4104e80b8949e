// SPDX-License-Identifier: GPL-3.0-or-later
#include "playform.h"

#include "common/commonmodule.h"
#include "common/wapiset.h"
#include "controls/recboxf_zu.h"
#include "controls/resbank.h"
#include "controls/valuelabel.h"
#include "controls/zubutton.h"
#include "engine/boardpreference.h"
#include "engine/recognitionqueue.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

namespace {

QLabel *cloneLabel(const QLabel *label)
{
    auto *copy = new QLabel(label->parentWidget());
    copy->hide();
    copy->setFont(label->font());
    copy->setGeometry(label->geometry());
    copy->setAlignment(label->alignment());
    copy->setTextFormat(label->textFormat());
    copy->setAutoFillBackground(label->autoFillBackground());
    copy->setPalette(label->palette());
    copy->setFrameStyle(label->frameStyle());
    copy->setLineWidth(label->lineWidth());
    copy->setText(label->text());
    return copy;
}

} // namespace

PlayForm::PlayForm(int16_t playerNumber, const PlayerSetup &setup, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint)
    , m_playerNumber(playerNumber)
{
    setObjectName(playerNumber == 1 ? QStringLiteral("Play1") : QStringLiteral("Play2"));
    setWindowTitle(playerNumber == 1 ? QStringLiteral("Player1") : QStringLiteral("Player2"));
    buildDesign();
    create(setup);
}

PlayForm::~PlayForm() = default;

QString PlayForm::SeriesKey() const
{
    return m_playerNumber == 1 ? QStringLiteral("Series1") : QStringLiteral("Series2");
}

void PlayForm::buildDesign()
{
    setFont(designFont(14.25));
    const Twips twips = twipsFor(this);
    // Design places of the two windows on the screen, client area top-left.
    const QPoint screenPlace = m_playerNumber == 1 ? QPoint(twips.x(2850), twips.y(2145))
                                                   : QPoint(twips.x(6795), twips.y(2400));
    setGeometry(QRect(screenPlace, QSize(twips.x(6915), twips.y(6465))));

    const bool one = m_playerNumber == 1;
    auto tab = [one](int inPlay1, int inPlay2) { return one ? inPlay1 : inPlay2; };
    FormBuilder &d = m_design;
    const auto centred = Qt::AlignCenter;

    m_resBank = d.add(new ResBank, "ResBank", {120, 120, 2655, 2655}, tab(0, 2));
    m_resBank->setSeriesNumber(one ? 0 : 1);
    m_resBank->setItemNumber(2);

    auto *monTemplate = d.add(new ZuButton, "MonButton0", {2880, 120, 735, 735}, tab(9, 0));
    monTemplate->hide();
    // The board only shows characters; it must not steal focus from the boxes.
    monTemplate->setFocusPolicy(Qt::NoFocus);
    m_monButtons.append(monTemplate);

    m_resultLabel = d.label("ResultLabel", QString(), {120, 2880, 2655, 345}, tab(2, 8),
                            FormBuilder::WhiteBox, centred);

    QLabel *ansTemplate = d.label("AnsLabel0", QString(), {240, 3360, 735, 345}, tab(1, 9),
                                  FormBuilder::WhiteBox);
    ansTemplate->hide();
    m_ansLabels.append(ansTemplate);

    m_chkLabel = d.label<AutoSizeLabel>("ChkLabel", QStringLiteral("飛焼"), {1080, 3360, 630, 345},
                                        tab(8, 7), FormBuilder::WhiteBox);
    m_chkLabel->hide();

    m_recBoxes.append(d.add(new RecBoxF_Zu, "RecBox0", {2880, 3360, 1935, 1815}, tab(3, 1)));
    m_recBoxes.append(d.add(new RecBoxF_Zu, "RecBox1", {4920, 3360, 1815, 1815}, tab(4, 3)));
    m_recBoxes[0]->setAccessibleName(QStringLiteral("手書き欄 1文字め"));
    m_recBoxes[1]->setAccessibleName(QStringLiteral("手書き欄 2文字め"));

    m_recButton = d.add(new ZuButton, "RecButton", {2880, 5280, 2295, 450}, tab(5, 10));
    m_recButton->setText(QStringLiteral("にんしき"));
    m_clearButton = d.add(new ZuButton, "ClearButton", {5760, 5280, 975, 450}, tab(6, 11));
    m_clearButton->setText(QStringLiteral("けす"));
    m_ansButton = d.add(new ZuButton, "AnsButton", {2880, 5880, 2295, 450}, tab(7, 12));
    m_ansButton->setText(QStringLiteral("こたえあわせ"));

    m_score1 = d.label<ValueLabel>("Score1", QStringLiteral("0"), {5280, 6000, 480, 345}, tab(10, 6),
                       FormBuilder::WhiteBox, centred);
    m_label1 = d.label("Label1", QStringLiteral("対"), {5760, 6000, 480, 345}, tab(12, 4),
                       FormBuilder::WhiteBox, centred);
    m_score2 = d.label<ValueLabel>("Score2", QStringLiteral("0"), {6240, 6000, 480, 345}, tab(11, 5),
                       FormBuilder::WhiteBox, centred);
    m_score1->setAccessibleName(QStringLiteral("じぶんのてんすう"));
    m_score2->setAccessibleName(QStringLiteral("あいてのてんすう"));

    d.applyTabOrder();

    connect(m_recButton, &ZuButton::Pressed, this, &PlayForm::recognize);
    connect(m_clearButton, &ZuButton::Pressed, this, &PlayForm::EraseAnswer);
    connect(m_ansButton, &ZuButton::Pressed, this, &PlayForm::submitAnswer);
    for (int i = 0; i < m_recBoxes.size(); ++i)
        connect(m_recBoxes[i], &RecBoxF_Zu::Changed, this, [this, i] { ResetFeedback(i); });
}

void PlayForm::create(const PlayerSetup &setup)
{
    setWindowIcon(setup.icon);
    m_resBank->setSources(setup.feedback, setup.audio);
    m_recognition = setup.recognition;
    for (RecBoxF_Zu *box : m_recBoxes)
        box->setRecognizer(setup.recognition);

    const QString fontName = setup.fontName;
    auto renamed = [&fontName](QFont font) {
        font.setFamily(fontName);
        return font;
    };
    m_ansLabels[0]->setFont(renamed(m_ansLabels[0]->font()));
    m_resultLabel->setFont(renamed(m_resultLabel->font()));
    m_recBoxes[0]->setBoxFontName(fontName);
    m_recBoxes[1]->setBoxFontName(fontName);
    m_monButtons[0]->setFont(renamed(m_monButtons[0]->font()));

    const QString seriesDefault = m_playerNumber == 1 ? QStringLiteral("0") : QStringLiteral("1");
    QString series = seriesDefault;
    if (setup.settings) {
        setup.settings->ReadSetting(QStringLiteral("Taruvo"), SeriesKey(), seriesDefault);
        series = setup.settings->SettingValue();
    }
    m_resBank->setSeriesNumber(CommonModule::leadingNumber(series));

    for (int k = 1; k <= AnswerCount; ++k) {
        QLabel *label = cloneLabel(m_ansLabels[0]);
        label->setObjectName(QStringLiteral("AnsLabel%1").arg(k));
        label->show();
        m_ansLabels.append(label);
    }
    for (int n = 1; n <= BoardSize; ++n) {
        ZuButton *button = m_monButtons[0]->clone();
        button->setObjectName(QStringLiteral("MonButton%1").arg(n));
        button->show();
        m_monButtons.append(button);
    }
}

void PlayForm::EraseAnswer()
{
    m_recBoxes[0]->Clear();
    m_recBoxes[1]->Clear();
    ResetFeedback(0);
}

void PlayForm::ResetFeedback(int boxIndex)
{
    Q_UNUSED(boxIndex);
    if (m_resBank->ItemNumber() != 2)
        m_resBank->setItemNumber(2);
    m_resultLabel->setText(QString());
    m_resBank->setOutcomeText(QString());
}

void PlayForm::AllClear()
{
    EraseAnswer();
    for (int k = 1; k <= AnswerCount; ++k)
        m_ansLabels[k]->setText(QString());
    for (int n = 1; n <= BoardSize; ++n) {
        m_monButtons[n]->setText(QString());
        m_monButtons[n]->setEnabled(true);
    }
    m_score1->setText(QStringLiteral("0"));
    m_score2->setText(QStringLiteral("0"));
}

void PlayForm::AllLock()
{
    m_recBoxes[0]->setLocked(true);
    m_recBoxes[1]->setLocked(true);
    m_recButton->setEnabled(false);
    m_clearButton->setEnabled(false);
    m_ansButton->setEnabled(false);
}

void PlayForm::AllUnLock()
{
    EraseAnswer();
    m_recBoxes[0]->setLocked(false);
    m_recBoxes[1]->setLocked(false);
    m_recButton->setEnabled(true);
    m_clearButton->setEnabled(true);
    m_ansButton->setEnabled(true);
}

void PlayForm::showBoardCharacter(int place, const QString &character)
{
    if (ZuButton *button = MonButton(place); button && place > 0)
        button->setText(character);
}

void PlayForm::disableBoardPlace(int place)
{
    if (ZuButton *button = MonButton(place); button && place > 0)
        button->setEnabled(false);
}

void PlayForm::showResult(const QString &text)
{
    m_resultLabel->setText(text);
    m_resBank->setOutcomeText(text);
}

void PlayForm::showFeedbackItem(int item)
{
    m_resBank->setItemNumber(int16_t(item));
}

void PlayForm::playFeedback(int item)
{
    m_resBank->PlayItem(m_resBank->SeriesNumber(), item);
}

void PlayForm::showOwnScore(const QString &score)
{
    m_score1->setText(score);
}

void PlayForm::showOpponentScore(const QString &score)
{
    m_score2->setText(score);
}

void PlayForm::showAnswer(int slot, const QString &word)
{
    if (QLabel *label = AnsLabel(slot); label && slot > 0)
        label->setText(word);
}

void PlayForm::setReadingContext(const ReadingContext &context)
{
    m_context = context;
    for (RecBoxF_Zu *box : m_recBoxes)
        box->setReadingContext(context);
}

void PlayForm::recognize()
{
    // Each box on its own: ink that gave no character is thrown away.
    for (RecBoxF_Zu *box : m_recBoxes) {
        box->Recognize();
        if (!box->HasResult())
            box->Clear();
    }
    readAsPair();
}

void PlayForm::readAsPair()
{
    // The two boxes read as a word of the board where it scores close to
    // their own readings, else each as itself. A candidate the player
    // picked is certain: it stays, and the other box may still read as a
    // word with it.
    RecBoxF_Zu *first = m_recBoxes[0], *second = m_recBoxes[1];
    if (!m_recognition || !first->HasResult() || !second->HasResult())
        return;
    const auto readingOf = [](const RecBoxF_Zu *box) {
        return box->resultPicked() ? QList<Candidate>{{box->ResultText(), 0}} : box->reading();
    };
    const QList<Candidate> a = readingOf(first), b = readingOf(second);
    if (a.isEmpty() || b.isEmpty())
        return;
    const BoardPreference::PairReading pair = BoardPreference::pair(a, b, m_context, m_recognition->contextMargins());
    first->showReading(pair.isValid() ? pair.first : a.first().text);
    second->showReading(pair.isValid() ? pair.second : b.first().text);
}

void PlayForm::submitAnswer()
{
    // Both boxes are asked, the second first; without two results nothing
    // happens at all.
    const bool second = m_recBoxes[1]->HasResult();
    const bool first = m_recBoxes[0]->HasResult();
    if (!first || !second)
        return;
    const QString word = m_recBoxes[0]->ResultText() + m_recBoxes[1]->ResultText();
    emit answerSubmitted(m_playerNumber, word);
    // The game has shown the outcome in this window and may have locked it;
    // nothing here may touch the controls any more.
}

void PlayForm::closeEvent(QCloseEvent *event)
{
    // Only the console's own closing and the end of the desktop session may
    // close a player window; the player's close command is refused.
    if (!m_closeAllowed) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void PlayForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    layOutControls();
    // Twips follow the screen: another screen may have another resolution.
    if (QWindow *window = windowHandle()) {
        connect(window, &QWindow::screenChanged, this, &PlayForm::layOutControls, Qt::UniqueConnection);
        window->removeEventFilter(this);
        window->installEventFilter(this);
    }
    if (!m_measuresWarm) {
        m_measuresWarm = true;
        QTimer::singleShot(0, this, &PlayForm::warmUpMeasures);
    }
}

void PlayForm::warmUpMeasures()
{
    // Font sizes never measured cost the font system a lookup each, some
    // milliseconds in all for a large window. Measuring them for the whole
    // screen once, while idle, keeps maximising and dragging quick.
    const QScreen *where = screen();
    if (!where)
        return;
    const Twips twips = twipsFor(this);
    const QSize area = where->availableSize();
    PlayerLayout::layoutFor(twips.fromX(area.width()), twips.fromY(area.height()), fixedExtents(),
                            chkLabelMeasure());
}

void PlayForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A hidden window is laid out when it is shown.
    if (isVisible())
        layOutControls();
}

QSize PlayForm::minimumInnerSize() const
{
    // The minimum is on the outer size; the frame is known once the window
    // manager has framed the window, and is 0 before.
    const QSize frame = frameGeometry().size() - size();
    return QSize(MinimumOuterWidth - frame.width(), MinimumOuterHeight - frame.height()).expandedTo(QSize(1, 1));
}

bool PlayForm::eventFilter(QObject *watched, QEvent *event)
{
    // The window is framed by the time it is first exposed: from then on
    // the size hint subtracts the real frame, so that the first drag stops
    // at the outer minimum too.
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()
        && !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const QSize minimum = minimumInnerSize();
        if (minimumSize() != minimum && size().width() >= minimum.width() && size().height() >= minimum.height())
            setMinimumSize(minimum);
    }
    return QWidget::eventFilter(watched, event);
}

void PlayForm::keepMinimumSize()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QSize minimum = minimumInnerSize();
    if (size().width() >= minimum.width() && size().height() >= minimum.height()) {
        if (!m_correcting)
            m_correctedFrom = QSize();
        // The hint lets the window manager stop a drag at the minimum.
        if (minimumSize() != minimum)
            setMinimumSize(minimum);
        return;
    }
    if (size() == m_correctedFrom)
        return;
    m_correctedFrom = size();
    m_correcting = true;
    setMinimumSize(minimum);
    resize(size().expandedTo(minimum));
    m_correcting = false;
}

PlayerLayout::FixedExtents PlayForm::fixedExtents() const
{
    // Read from the controls, which the layout never resizes in these
    // directions: a screen of another resolution rounds them its own way.
    const Twips twips = twipsFor(this);
    PlayerLayout::FixedExtents fixed;
    fixed.resultHeight = twips.fromY(m_resultLabel->height());
    fixed.recButtonHeight = twips.fromY(m_recButton->height());
    fixed.scoreWidth = twips.fromX(m_score1->width());
    fixed.scoreHeight = twips.fromY(m_score1->height());
    return fixed;
}

PlayerLayout::TextMeasure PlayForm::chkLabelMeasure() const
{
    // QLabel's own size hint for plain, unwrapped text: the text's bounding
    // box, the frame, and an indent of one "x" when the label has a frame
    // and no indent of its own.
    const QLabel *label = m_chkLabel;
    const QFont base = label->font();
    const QMargins frame = label->contentsMargins();
    const int margin = label->margin();
    const Qt::Alignment align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
    const bool indentByX = label->indent() < 0 && label->frameWidth() > 0;
    const int flags = int(align & ~(Qt::AlignVCenter | Qt::AlignHCenter));
    const Twips twips = twipsFor(this);
    QHash<QString, PlayerLayout::TextExtent> *known = &m_measured;
    return [=](const QString &sample, double points) {
        QFont font = base;
        font.setPointSizeF(points);
        QHash<QString, PlayerLayout::TextExtent> &measured = *known;
        const QString key =
            QStringLiteral("%1|%2|%3|%4").arg(font.key(), sample).arg(twips.dpiX).arg(twips.dpiY);
        if (const auto found = measured.constFind(key); found != measured.constEnd())
            return *found;
        const QFontMetrics metrics(font, label);
        int extraWidth = 2 * margin + frame.left() + frame.right();
        int extraHeight = 2 * margin + frame.top() + frame.bottom();
        const int indent = indentByX ? metrics.horizontalAdvance(QLatin1Char('x')) - 2 * margin : label->indent();
        if (indent > 0) {
            if (align & (Qt::AlignLeft | Qt::AlignRight))
                extraWidth += indent;
            if (align & (Qt::AlignTop | Qt::AlignBottom))
                extraHeight += indent;
        }
        const QRect text = metrics.boundingRect(0, 0, 2000 - extraWidth, 2000, flags, sample);
        const PlayerLayout::TextExtent extent{font.pointSizeF(), twips.fromX(text.width() + extraWidth),
                                              twips.fromY(text.height() + extraHeight)};
        measured.insert(key, extent);
        return extent;
    };
}

void PlayForm::layOutControls()
{
    const int pass = ++m_layoutPasses;
    keepMinimumSize();
    // A corrected size has been laid out by the pass its resize ran.
    if (m_layoutPasses != pass)
        return;
    const Twips twips = twipsFor(this);
    applyLayout(PlayerLayout::layoutFor(twips.fromX(width()), twips.fromY(height()), fixedExtents(),
                                        chkLabelMeasure()));
}

void PlayForm::applyLayout(const PlayerLayout::Result &layout)
{
    const Twips twips = twipsFor(this);
    auto place = [&twips](QWidget *widget, const PlayerLayout::Place &p) {
        widget->setGeometry(twips.rect(p.left, p.top, p.width, p.height));
    };
    // Fonts are set only when they change: a font change re-polishes the control.
    auto setPoints = [](QWidget *widget, double points) {
        if (widget->font().pointSizeF() != points) {
            QFont font = widget->font();
            font.setPointSizeF(points);
            widget->setFont(font);
        }
    };

    place(m_resBank, layout.resBank);
    place(m_resultLabel, layout.resultLabel);
    for (int k = 0; k <= AnswerCount; ++k)
        place(m_ansLabels[k], layout.answers[k]);
    for (int k = 1; k <= AnswerCount; ++k)
        setPoints(m_ansLabels[k], layout.SA);
    setPoints(m_resultLabel, layout.resultPoints);
    for (int n = 1; n <= BoardSize; ++n) {
        place(m_monButtons[n], layout.board[n]);
        setPoints(m_monButtons[n], layout.SB);
    }
    place(m_recBoxes[0], layout.recBox[0]);
    place(m_recBoxes[1], layout.recBox[1]);
    place(m_recButton, layout.recButton);
    place(m_clearButton, layout.clearButton);
    place(m_ansButton, layout.ansButton);
    place(m_score1, layout.score1);
    place(m_label1, layout.label1);
    place(m_score2, layout.score2);

    // The measuring label ends as the board's measure left it.
    setPoints(m_chkLabel, layout.SB);
    m_chkLabel->setText(QStringLiteral("焼"));
}
