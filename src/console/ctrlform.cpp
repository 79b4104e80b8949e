// SPDX-License-Identifier: GPL-3.0-or-later
#include "ctrlform.h"

#include "controls/fonts.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "common/commonmodule.h"
#include "controls/resbank.h"
#include "controls/zubutton.h"
#include "engine/judge.h"
#include "player/playform.h"
#include "recognition/sharedrecognizer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListView>
#include <QListWidget>
#include <QStringListModel>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>
#include <cmath>

CtrlForm::CtrlForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("CtrlForm"));
    setWindowTitle(QStringLiteral("Taruvo Ver.1.0E"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/taruvo-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/taruvo-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    buildDesign();
    connectPanel();
    m_random = std::make_unique<SeededRandom>();
    m_clock = std::make_unique<SteadyClock>();
}

CtrlForm::~CtrlForm() = default;

void CtrlForm::buildDesign()
{
    setFont(designFont(14.25));
    const Twips twips = twipsFor(this);
    setGeometry(QRect(QPoint(twips.x(120), twips.y(3885)), QSize(twips.x(2625), twips.y(5115))));
    // A fixed border: the operator cannot resize the console.
    setFixedSize(size());

    FormBuilder &d = m_design;
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    const QFont checkFont = designFont(11.25);

    m_menuBT = d.add(new MenuBT, "MenuBT", {120, 120, 2415, 615}, 0);
    m_menuBT->setText(QStringLiteral("ファイル選択"));
    m_menuBT->setFont(designFont(14.26));
    m_menuBT->setPattern(QStringLiteral("*.*"));

    m_label1 = d.label("Label1", QStringLiteral("None"), {120, 840, 2415, 375}, 2, FormBuilder::WhiteBox);
    m_label1->setAccessibleName(QStringLiteral("単語リスト"));

    m_startButton = d.add(new NButton, "StartButton", {120, 1320, 1455, 495}, 4);
    m_startButton->setText(QStringLiteral("スタート"));
    m_unlockButton = d.add(new NButton, "UnlockButton", {1680, 1320, 855, 495}, 10);
    m_unlockButton->setText(QStringLiteral("解除"));

    m_timShowCheck = d.add(new QCheckBox(QStringLiteral("時間表示")), "TimShowCheck", {120, 2040, 1215, 285}, 11);
    m_timLabel = d.label("TimLabel", QStringLiteral("0"), {1440, 2040, 810, 345}, 8, FormBuilder::WhiteBox, right);
    m_label5 = d.label<AutoSizeLabel>("Label5", QStringLiteral("秒"), {2280, 2040, 285, 285}, 9, FormBuilder::Plain);

    m_timeCheck = d.add(new QCheckBox(QStringLiteral("時間制限")), "TimeCheck", {120, 2520, 1215, 285}, 12);
    m_tim2Label = d.label("Tim2Label", QStringLiteral("0"), {1440, 2520, 780, 345}, 7, FormBuilder::WhiteBox, right);
    m_label2 = d.label<AutoSizeLabel>("Label2", QStringLiteral("秒"), {2280, 2520, 285, 285}, 13, FormBuilder::Plain);
    m_timScroll = d.add(new QScrollBar(Qt::Horizontal), "TimScroll", {120, 2880, 2415, 375}, 6);
    m_timScroll->setRange(1, 600);

    m_seikaiCheck = d.add(new QCheckBox(QStringLiteral("正解数制限")), "SeikaiCheck", {120, 3360, 1455, 285}, 14);
    m_seikaiLabel = d.label("SeikaiLabel", QStringLiteral("0"), {1680, 3360, 540, 345}, 16, FormBuilder::WhiteBox, right);
    m_label3 = d.label<AutoSizeLabel>("Label3", QStringLiteral("問"), {2280, 3360, 285, 285}, 17, FormBuilder::Plain);
    m_seikaiScroll = d.add(new QScrollBar(Qt::Horizontal), "SeikaiScroll", {120, 3720, 2415, 375}, 15);
    m_seikaiScroll->setRange(1, 18);

    m_playCheck = d.add(new QCheckBox(QStringLiteral("Play2")), "PlayCheck", {120, 4200, 1335, 375}, 5);
    m_endButton = d.add(new NButton, "EndButton", {120, 4680, 1095, 375}, 18);
    m_endButton->setText(QStringLiteral("終了"));
    m_minButton = d.add(new NButton, "MinButton", {1440, 4680, 1095, 375}, 19);
    m_minButton->setText(QStringLiteral("最小化"));

    // The word list and the character pool live in list boxes below the
    // client area, never shown.
    // List1 shows the word list sorted; a model holds it, since a list
    // widget needs seconds for a list of 100,000 words.
    m_list1 = d.add(new QListView, "List1", {480, 5280, 975, 345}, 1);
    m_list1->setModel(new QStringListModel(m_list1));
    m_list1->setUniformItemSizes(true);
    m_list2 = d.add(new QListWidget, "List2", {1560, 5280, 975, 345}, 3);

    for (QCheckBox *check : {m_timShowCheck, m_timeCheck, m_seikaiCheck})
        check->setFont(checkFont);
    for (QScrollBar *scroll : {m_timScroll, m_seikaiScroll}) {
        scroll->setValue(1);
        scroll->setSingleStep(1);
        scroll->setPageStep(1);
        scroll->setEnabled(false);
        // Scroll bars take focus so the operator can set them from the keyboard.
        scroll->setFocusPolicy(Qt::StrongFocus);
    }
    m_timScroll->setAccessibleName(QStringLiteral("時間制限（秒）"));
    m_seikaiScroll->setAccessibleName(QStringLiteral("正解数制限（問）"));
    for (QWidget *hidden : std::initializer_list<QWidget *>{m_timLabel, m_label5, m_tim2Label, m_label2,
                                                            m_seikaiLabel, m_label3, m_list1, m_list2})
        hidden->hide();

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(999);

    d.applyTabOrder();
}

void CtrlForm::connectPanel()
{
    auto showPair = [](QLabel *value, QLabel *unit, bool shown) {
        value->setVisible(shown);
        unit->setVisible(shown);
    };
    connect(m_timShowCheck, &QCheckBox::toggled, this, [=](bool ticked) {
        showPair(m_timLabel, m_label5, ticked);
    });
    connect(m_timeCheck, &QCheckBox::toggled, this, [=](bool ticked) {
        m_timScroll->setEnabled(ticked);
        showPair(m_tim2Label, m_label2, ticked);
    });
    connect(m_seikaiCheck, &QCheckBox::toggled, this, [=](bool ticked) {
        m_seikaiScroll->setEnabled(ticked);
        showPair(m_seikaiLabel, m_label3, ticked);
    });
    connect(m_playCheck, &QCheckBox::toggled, this, [this](bool ticked) {
        if (m_play2)
            m_play2->setVisible(ticked);
    });
    // valueChanged also fires while the thumb is dragged (tracking is on).
    connect(m_timScroll, &QScrollBar::valueChanged, this,
            [this](int value) { m_tim2Label->setText(QString::number(value)); });
    connect(m_seikaiScroll, &QScrollBar::valueChanged, this,
            [this](int value) { m_seikaiLabel->setText(QString::number(value)); });

    connect(m_unlockButton, &NButton::Pressed, this, [this] {
        m_play1->AllUnLock();
        m_play2->AllUnLock();
    });
    connect(m_menuBT, &MenuBT::FileChosen, this, &CtrlForm::loadWordList);
    connect(m_startButton, &NButton::Pressed, this, &CtrlForm::startGame);
    connect(m_timer1, &QTimer::timeout, this, &CtrlForm::Timer1Tick);
    connect(m_minButton, &NButton::Pressed, this, &QWidget::showMinimized);
    connect(m_endButton, &NButton::Pressed, this, &QWidget::close);
}

void CtrlForm::load(const QString &appFolder)
{
    m_wapiset.Prepare();
    if (!appFolder.isEmpty())
        m_wapiset.setAppFolder(appFolder);
    QDir::setCurrent(m_wapiset.AppFolder());
    if (auto *seeded = dynamic_cast<SeededRandom *>(m_random.get()))
        seeded->seedFromClock();

    m_wapiset.setIniPath(m_wapiset.AppFolder() + QStringLiteral("Taruvo.ini"));

    m_wapiset.ReadSetting(QStringLiteral("Taruvo"), QStringLiteral("DataPath"), QString());
    const QString dataFolder = m_wapiset.AppFolder() + m_wapiset.SettingValue();
    m_menuBT->setFolderPath(dataFolder);
    m_menuBT->BuildMenu();

    m_wapiset.ReadSetting(QStringLiteral("Taruvo"), QStringLiteral("FontName"), Fonts::DesignFace);
    const QString fontName = m_wapiset.SettingValue();
    Fonts::mapToInstalled(fontName);
    QFont poolFont = m_list2->font();
    poolFont.setFamily(fontName);
    m_list2->setFont(poolFont);

    m_timScroll->setValue(60);
    m_seikaiScroll->setValue(5);
    m_timShowCheck->setChecked(true);
    m_seikaiCheck->setChecked(true);

    m_startButton->setEnabled(false);
    m_unlockButton->setEnabled(false);

    m_play1 = std::make_unique<PlayForm>(this, 1);
    m_play1->AllLock();
    m_play1->AllClear();
    m_play1->show();

    m_play2 = std::make_unique<PlayForm>(this, 2);
    m_play2->AllLock();
    m_play2->AllClear();
}

void CtrlForm::followConsoleState()
{
    if (!m_play1 || m_closing)
        return;
    if (isMinimized()) {
        m_play1->hide();
        m_play2->hide();
    } else {
        m_play1->show();
        if (m_playCheck->isChecked())
            m_play2->show();
    }
}

void CtrlForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Twips follow the screen: on a screen of another resolution the
    // design is placed anew.
    if (QWindow *window = windowHandle())
        connect(window, &QWindow::screenChanged, this, &CtrlForm::placeDesign, Qt::UniqueConnection);
    followConsoleState();
}

void CtrlForm::placeDesign()
{
    const Twips twips = twipsFor(this);
    m_design.applyPlaces(twips);
    setFixedSize(twips.x(2625), twips.y(5115));
}

void CtrlForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Minimise and restore arrive as window-state changes, not resizes.
    if (event->type() == QEvent::WindowStateChange)
        followConsoleState();
}

void CtrlForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closing)
        return;
    m_closing = true;
    // Nothing of the game may run once closing has begun.
    m_timer1->stop();
    if (m_play1)
        m_play1->close();
    if (m_play2)
        m_play2->close();
    if (m_endProgram)
        m_endProgram();
    else
        QCoreApplication::exit(0);
}

void CtrlForm::loadWordList()
{
    // The load blocks the window; show that it is busy before it starts.
    m_label1->setText(QStringLiteral("Wait!!"));
    m_label1->repaint();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);

    m_words.clear();
    showWords();
    m_list2->clear();
    m_pool.clear();

    QStringList lines;
    m_wapiset.LoadFileToList(lines, QString(), m_menuBT->FilePath());
    m_words.load(lines);
    lines.clear();
    // The boxes read the list's own characters first where they are close.
    QSet<QString> characters;
    for (const QString &word : m_words.words()) {
        for (const QString &c : WordList::characters(word))
            characters.insert(c);
    }
    SharedRecognizer::setPreferredCharacters(characters);

    showWords();

    if (m_words.size() < CharacterPool::WordsPerGame) {
        m_label1->setText(QStringLiteral("None"));
        m_startButton->setEnabled(false);
    } else {
        m_label1->setText(QFileInfo(m_menuBT->FilePath()).fileName());
        m_startButton->setEnabled(true);
    }

    m_list2->clear();
    m_play1->AllLock();
    m_play1->AllClear();
    m_play2->AllLock();
    m_play2->AllClear();
    QGuiApplication::restoreOverrideCursor();
}

void CtrlForm::showWords()
{
    QStringList sorted = m_words.words();
    sorted.sort();
    static_cast<QStringListModel *>(m_list1->model())->setStringList(sorted);
}

void CtrlForm::showPool()
{
    // List2 mirrors the pool: the character, and whether it is used.
    m_list2->clear();
    for (int i = 0; i < m_pool.size(); ++i) {
        auto *item = new QListWidgetItem(m_pool.at(i).character, m_list2);
        item->setData(Qt::UserRole, m_pool.at(i).used ? 1 : 0);
    }
}

void CtrlForm::startGame()
{
    if (m_words.size() < CharacterPool::WordsPerGame)
        return;
    m_play1->AllLock();
    m_play1->AllClear();
    m_play2->AllLock();
    m_play2->AllClear();

    m_pool.deal(m_words, *m_random);
    showPool();
    for (int j = 0; j < m_pool.size(); ++j) {
        m_play1->MonButton(j + 1)->setText(m_pool.at(j).character);
        m_play2->MonButton(j + 1)->setText(m_pool.at(j).character);
    }

    m_play1->AllUnLock();
    m_play2->AllUnLock();

    m_timLabel->setText(QStringLiteral("0"));
    m_gameStartMs = m_clock->nowMs();
    m_timer1->start();
    m_unlockButton->setEnabled(false);
}

void CtrlForm::updateClock(bool *elapsedShown)
{
    const QString text = GameClock::elapsedText(m_gameStartMs, m_clock->nowMs());
    m_timLabel->setText(text);
    if (elapsedShown)
        *elapsedShown = text != QLatin1String("--");
}

void CtrlForm::Timer1Tick()
{
    updateClock(nullptr);
    if (CommonModule::leadingNumber(m_timLabel->text()) >= m_timScroll->value() && m_timeCheck->isChecked())
        EndGame();
}

void CtrlForm::EndGame()
{
    if (m_unlockButton->isEnabled())
        return;
    m_timer1->stop();
    m_play1->AllLock();
    m_play2->AllLock();

    bool elapsedShown = false;
    updateClock(&elapsedShown);
    if (elapsedShown && m_timeCheck->isChecked()) {
        const auto elapsed = qint64(CommonModule::leadingNumber(m_timLabel->text()));
        m_timLabel->setText(GameClock::finalText(elapsed, m_timScroll->value()));
    }

    const double s1 = CommonModule::leadingNumber(m_play1->Score1()->text());
    const double s2 = CommonModule::leadingNumber(m_play2->Score1()->text());
    const GameResult result = decideGame(s1, s2);
    struct Shown { int16_t item; const char *text; };
    static const Shown win{0, "かち！！"}, lose{1, "まけ！！"}, draw{2, "ひきわけ！！"};
    const Shown &one = result == GameResult::Player1Wins ? win : result == GameResult::Player2Wins ? lose : draw;
    const Shown &two = result == GameResult::Player2Wins ? win : result == GameResult::Player1Wins ? lose : draw;
    m_play1->resBank()->setItemNumber(one.item);
    m_play1->ResultLabel()->setText(QString::fromUtf8(one.text));
    m_play2->resBank()->setItemNumber(two.item);
    m_play2->ResultLabel()->setText(QString::fromUtf8(two.text));

    ResBank *winner = result == GameResult::Player2Wins ? m_play2->resBank() : m_play1->resBank();
    winner->PlayItem(winner->SeriesNumber(), 0);
    m_unlockButton->setEnabled(true);
}

void CtrlForm::SeigoHantei(int16_t PNum, const QString &St)
{
    PlayForm *w = PNum == 1 ? m_play1.get() : m_play2.get();
    PlayForm *o = PNum == 1 ? m_play2.get() : m_play1.get();
    const Judgement j = judge(m_pool, m_words, St);

    if (j.outcome == Judgement::Correct) {
        m_pool.markUsed(j.first);
        m_pool.markUsed(j.second);
        showPool();
        m_play1->MonButton(j.first + 1)->setEnabled(false);
        m_play1->MonButton(j.second + 1)->setEnabled(false);
        m_play2->MonButton(j.first + 1)->setEnabled(false);
        m_play2->MonButton(j.second + 1)->setEnabled(false);
        w->ResultLabel()->setText(QStringLiteral("正解！！"));
        w->resBank()->setItemNumber(0);
        w->resBank()->PlayItem(w->resBank()->SeriesNumber(), w->resBank()->ItemNumber());
        const double score = CommonModule::leadingNumber(w->Score1()->text()) + 1;
        w->Score1()->setText(QString::number(score, 'g', 15));
        o->Score2()->setText(w->Score1()->text());
        // The k-th correct word goes to answer label k; a score outside the
        // list (only reachable by a damaged score text) writes nothing.
        const double slot = std::nearbyint(CommonModule::leadingNumber(w->Score1()->text()));
        if (slot >= 1 && slot <= PlayForm::AnswerCount)
            w->AnsLabel(int(slot))->setText(St);
    } else {
        w->ResultLabel()->setText(j.outcome == Judgement::NoCharacter ? QStringLiteral("文字がない！")
                                                                      : QStringLiteral("単語がない！！"));
        w->resBank()->setItemNumber(1);
        w->resBank()->PlayItem(w->resBank()->SeriesNumber(), w->resBank()->ItemNumber());
    }

    const int limit = m_seikaiScroll->value();
    if (m_seikaiCheck->isChecked()
        && (CommonModule::leadingNumber(m_play1->Score1()->text()) >= limit
            || CommonModule::leadingNumber(m_play1->Score2()->text()) >= limit))
        EndGame();
}
