// SPDX-License-Identifier: GPL-3.0-or-later
#include "ctrlform.h"

#include "common/windowplacement.h"
#include "controls/fonts.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/resbank.h"
#include "controls/valuelabel.h"
#include "console/reviewwindow.h"
#include "console/seatswindow.h"
#include "player/playform.h"
#include "seats/remoteseat.h"
#include "wordlistmodel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListView>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

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
    connectGame();
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

    m_label1 = d.label<ValueLabel>("Label1", QStringLiteral("None"), {120, 840, 2415, 375}, 2, FormBuilder::WhiteBox);
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
    m_timScroll->setRange(Rules::TimeLimitMin, Rules::TimeLimitMax);

    m_seikaiCheck = d.add(new QCheckBox(QStringLiteral("正解数制限")), "SeikaiCheck", {120, 3360, 1455, 285}, 14);
    m_seikaiLabel = d.label("SeikaiLabel", QStringLiteral("0"), {1680, 3360, 540, 345}, 16, FormBuilder::WhiteBox, right);
    m_label3 = d.label<AutoSizeLabel>("Label3", QStringLiteral("問"), {2280, 3360, 285, 285}, 17, FormBuilder::Plain);
    m_seikaiScroll = d.add(new QScrollBar(Qt::Horizontal), "SeikaiScroll", {120, 3720, 2415, 375}, 15);
    m_seikaiScroll->setRange(Rules::AnswerLimitMin, Rules::AnswerLimitMax);

    m_playCheck = d.add(new QCheckBox(QStringLiteral("Play2")), "PlayCheck", {120, 4200, 1335, 375}, 5);
    m_endButton = d.add(new NButton, "EndButton", {120, 4680, 1095, 375}, 18);
    m_endButton->setText(QStringLiteral("終了"));
    m_minButton = d.add(new NButton, "MinButton", {1440, 4680, 1095, 375}, 19);
    m_minButton->setText(QStringLiteral("最小化"));

    // The word list and the character pool live in list boxes below the
    // client area, never shown.
    // List1 shows the word list sorted, through a model that reads the
    // compact list: a list widget would need seconds and gigabytes for a
    // list of millions of words.
    m_list1 = d.add(new QListView, "List1", {480, 5280, 975, 345}, 1);
    m_wordsModel = new WordListModel(m_game.words(), m_list1);
    m_list1->setModel(m_wordsModel);
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
        // Qt's scroll bars invert their keys (Right and Up lower the value,
        // as they would scroll a page back); a limit goes up with Right and Up.
        scroll->setInvertedControls(false);
    }
    m_timScroll->setAccessibleName(QStringLiteral("時間制限（秒）"));
    m_seikaiScroll->setAccessibleName(QStringLiteral("正解数制限（問）"));
    for (QWidget *hidden : std::initializer_list<QWidget *>{m_timLabel, m_label5, m_tim2Label, m_label2,
                                                            m_seikaiLabel, m_label3, m_list1, m_list2})
        hidden->hide();

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(Rules::ClockTickMs);

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

    connect(m_menuBT, &MenuBT::FileChosen, this, &CtrlForm::loadWordList);
    connect(&m_reading, &QFutureWatcher<WordListFile>::finished, this, &CtrlForm::wordListRead);
    connect(m_minButton, &NButton::Pressed, this, &QWidget::showMinimized);
    connect(m_endButton, &NButton::Pressed, this, &QWidget::close);
}

void CtrlForm::connectGame()
{
    connect(m_unlockButton, &NButton::Pressed, &m_game, &Game::unlockPlayers);
    connect(m_startButton, &NButton::Pressed, &m_game, &Game::start);
    connect(m_timer1, &QTimer::timeout, &m_game, &Game::tick);
    connect(&m_game, &Game::clockChanged, m_timLabel, &QLabel::setText);
    connect(&m_game, &Game::clockRunningChanged, this, [this](bool running) {
        if (running)
            m_timer1->start();
        else
            m_timer1->stop();
    });
    connect(&m_game, &Game::overChanged, m_unlockButton, &QWidget::setEnabled);
    connect(&m_game, &Game::wordsChanged, this, &CtrlForm::showWords);
    connect(&m_game, &Game::poolChanged, this, &CtrlForm::showPool);
}

bool CtrlForm::PanelLimits::timeLimitOn() const
{
    return form->m_timeCheck->isChecked();
}

int CtrlForm::PanelLimits::timeLimitSeconds() const
{
    return form->m_timScroll->value();
}

bool CtrlForm::PanelLimits::answerLimitOn() const
{
    return form->m_seikaiCheck->isChecked();
}

int CtrlForm::PanelLimits::answerLimit() const
{
    return form->m_seikaiScroll->value();
}

void CtrlForm::load(const QString &appFolder)
{
    m_wapiset.Prepare();
    if (!appFolder.isEmpty())
        m_wapiset.setAppFolder(appFolder);
    QDir::setCurrent(m_wapiset.AppFolder());
    m_game.seedFromClock();
    m_feedback.setFolder(m_wapiset.AppFolder() + QStringLiteral("series"));

    m_wapiset.setIniPath(m_wapiset.AppFolder() + QStringLiteral("Taruvo.ini"));

    m_wapiset.ReadSetting(QStringLiteral("Taruvo"), QStringLiteral("DataPath"), QString());
    const QString dataFolder = m_wapiset.AppFolder() + m_wapiset.SettingValue();
    m_menuBT->setFolderPath(dataFolder);
    m_menuBT->BuildMenu();

    m_wapiset.ReadSetting(QStringLiteral("Taruvo"), QStringLiteral("FontName"), Fonts::DesignFace);
    QString fontName = m_wapiset.SettingValue();
    if (fontName.size() > Fonts::MaxNameLength) {
        qWarning("taruvo: FontName is %lld characters long, no typeface is; using %s",
                 qlonglong(fontName.size()), qPrintable(Fonts::DesignFace));
        fontName = Fonts::DesignFace;
    }
    // The designs' own face and the kanji face, each looked up once.
    Fonts::mapToInstalled(Fonts::DesignFace);
    if (fontName != Fonts::DesignFace)
        Fonts::mapToInstalled(fontName);
    QFont poolFont = m_list2->font();
    poolFont.setFamily(fontName);
    m_list2->setFont(poolFont);

    m_timScroll->setValue(Rules::TimeLimitStart);
    m_seikaiScroll->setValue(Rules::AnswerLimitStart);
    m_timShowCheck->setChecked(true);
    m_seikaiCheck->setChecked(true);

    m_startButton->setEnabled(false);
    m_unlockButton->setEnabled(false);

    PlayerSetup setup;
    setup.icon = windowIcon();
    setup.fontName = m_list2->font().family();
    setup.settings = &m_wapiset;
    setup.feedback = &m_feedback;
    setup.audio = &m_audio;
    setup.recognition = &m_recognition;

    m_play1 = std::make_unique<PlayForm>(1, setup);
    m_game.addView(1, m_play1.get());
    connectPlayer(m_play1.get());
    m_play1->AllLock();
    m_play1->AllClear();

    m_play2 = std::make_unique<PlayForm>(2, setup);
    m_game.addView(2, m_play2.get());
    connectPlayer(m_play2.get());
    m_play2->AllLock();
    m_play2->AllClear();

    startSeats();
    startReview();
    placeWindows();
    m_play1->show();
}

void CtrlForm::startReview()
{
    // A window of its own: the console's and the players' designs stay as
    // they are. The console's context menu and Ctrl+R bring it back.
    m_review = std::make_unique<ReviewWindow>(m_game);
    m_review->setWindowIcon(windowIcon());
    m_review->readSettings(m_wapiset);
    m_review->setBoards({m_play1.get(), m_play2.get()}, {this, m_seats.get()});
    addAction(m_review->showAction());
    setContextMenuPolicy(Qt::ActionsContextMenu);
    // Each browser seat shows its own player's part of the same review.
    connect(m_review.get(), &ReviewWindow::reviewChanged, this, &CtrlForm::reviewToSeats);
}

void CtrlForm::reviewToSeats()
{
    if (!m_seats || !m_review)
        return;
    for (int player = 1; player <= Rules::Players; ++player) {
        m_seats->setReview(player, m_review->hasReview()
                                       ? m_review->review().playerJson(player, m_review->meanings(),
                                                                       RemoteSeat::MaxReviewBytes)
                                       : QJsonObject());
    }
}

void CtrlForm::startSeats()
{
    QStringList problems;
    const SeatOptions options = SeatOptions::read(m_wapiset, m_arguments, &problems);
    for (const QString &problem : problems)
        qWarning("taruvo: network seats: %s", qPrintable(problem));
    if (!options.enabled())
        return;
    SeatsSetup setup;
    setup.game = &m_game;
    setup.recognition = &m_recognition;
    setup.feedback = &m_feedback;
    setup.series[0] = m_play1->resBank()->SeriesNumber();
    setup.series[1] = m_play2->resBank()->SeriesNumber();
    m_seats = std::make_unique<SeatsWindow>(options, setup);
    m_seats->setWindowIcon(windowIcon());
    m_seats->adjustSize();
}

void CtrlForm::placeWindows()
{
    // The design gives sizes only: the console and both players side by
    // side where the screen is wide enough, so that Player2 never hides
    // Player1; cascaded otherwise. The seats' window goes beside the console.
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where)
        return;
    QList<QWidget *> windows{this, m_play1.get(), m_play2.get()};
    if (m_seats)
        windows.insert(1, m_seats.get());
    QList<QSize> outer;
    for (const QWidget *w : windows) {
        const QSize framed = w->frameGeometry().size();
        outer.append(framed != w->size() ? framed : w->size().grownBy(WindowPlacement::EstimatedFrame));
    }
    const QRect available = where->availableGeometry();
    const auto place = [&windows, &outer, &available] {
        const QList<QPoint> places = WindowPlacement::arrange(available, outer);
        for (qsizetype i = 0; i < places.size(); ++i)
            windows[i]->move(places[i]);
    };
    place();
    // Player2's own window is hidden behind its check box, and seldom shown
    // while a browser takes that seat: where the row is too narrow for all,
    // the windows in use go side by side (the seat's code in sight) and
    // Player2 keeps its place in the cascade.
    if (!WindowPlacement::fitInRow(available, outer) && m_seats && m_seats->offersSeat(2)) {
        outer.removeLast();
        place();
    }
}

void CtrlForm::connectPlayer(PlayForm *play)
{
    connect(play, &PlayForm::answerSubmitted, &m_game, &Game::SeigoHantei);
    // A player window closed by the session closes the console, unless the
    // console is closing already.
    connect(play, &PlayForm::closed, this, [this] {
        if (!m_closing)
            close();
    });
}

void CtrlForm::setSessionEnding()
{
    m_sessionEnding = true;
    for (PlayForm *play : {m_play1.get(), m_play2.get()}) {
        if (play)
            play->setCloseAllowed(true);
    }
}

void CtrlForm::followConsoleState()
{
    if (!m_play1 || m_closing)
        return;
    if (isMinimized()) {
        m_play1->hide();
        m_play2->hide();
        if (m_seats)
            m_seats->hide();
    } else {
        m_play1->show();
        if (m_playCheck->isChecked())
            m_play2->show();
        if (m_seats)
            m_seats->show();
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
    // Nothing of the game may run once closing has begun; a list being
    // read is abandoned.
    m_timer1->stop();
    m_reading.future().cancel();
    for (PlayForm *play : {m_play1.get(), m_play2.get()}) {
        if (play) {
            play->setCloseAllowed(true);
            play->close();
        }
    }
    // The seats' server stops listening, and the devices are told.
    m_seats.reset();
    m_review.reset();
    if (m_endProgram)
        m_endProgram();
    else
        QCoreApplication::exit(0);
}

void CtrlForm::loadWordList()
{
    // The file is read off the window's thread: the windows stay responsive
    // and closing acts at once, while the game can neither start nor judge
    // until the words are in.
    if (!m_game.isLoading())
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    m_label1->setText(QStringLiteral("Wait!!"));
    m_label1->setToolTip(QString());
    m_startButton->setEnabled(false);
    m_game.beginLoading();
    m_readingPath = m_menuBT->FilePath();
    m_reading.setFuture(m_loader.load(m_readingPath));
}

void CtrlForm::wordListRead()
{
    QFuture<WordListFile> read = m_reading.future();
    // A read given up for a newer one or for closing leaves everything to those.
    if (read.isCanceled() || read.resultCount() == 0)
        return;
    WordListFile file = read.takeResult();
    const QString path = m_readingPath;
    if (!file.ok) {
        qWarning("taruvo: cannot read the word list %s: %s", qUtf8Printable(QDir::toNativeSeparators(path)),
                 qUtf8Printable(file.error));
    }
    // The boxes read the list's own characters first where they are close.
    m_recognizer.setPreferredCharacters(file.characters);
    const qsizetype count = file.words.size();
    m_game.setWords(std::move(file.words));

    const QString name = QFileInfo(path).fileName();
    if (count < Rules::WordsPerGame) {
        m_label1->setText(QStringLiteral("None"));
        m_startButton->setEnabled(false);
        // Why, where the operator looks.
        m_label1->setToolTip(file.ok ? QStringLiteral("%1: %2 words; a game needs %3")
                                           .arg(name).arg(count).arg(Rules::WordsPerGame)
                                     : QStringLiteral("%1: %2").arg(name, file.error));
    } else {
        m_label1->setText(name);
        m_label1->setToolTip(QStringLiteral("%1: %2 words").arg(QDir::toNativeSeparators(path)).arg(count));
        m_startButton->setEnabled(true);
    }
    m_game.finishLoading();
    QGuiApplication::restoreOverrideCursor();
}

void CtrlForm::showWords()
{
    m_wordsModel->refresh();
}

void CtrlForm::showPool()
{
    // List2 mirrors the pool: the character, and whether it is used.
    const CharacterPool &pool = m_game.pool();
    m_list2->clear();
    for (int i = 0; i < pool.size(); ++i) {
        auto *item = new QListWidgetItem(pool.at(i).character, m_list2);
        item->setData(Qt::UserRole, pool.at(i).used ? 1 : 0);
    }
}
