#include "ui/MainWindow.h"

#include "link/PortDiagnosis.h"
#include "link/PortWatch.h"
#include "session/LineMonitor.h"
#include "session/UnitSession.h"
#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"
#include "ui/EntryLeaveWatcher.h"
#include "ui/FindUnitsDialog.h"
#include "ui/LineMonitorDock.h"
#include "ui/VerifyDisplay.h"
#include "ui/WindowFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace ktv {

MainWindow::MainWindow(UnitSession &session, QWidget *parent)
    : QMainWindow(parent), session_(session),
      sheets_(std::make_unique<SheetActions>(*this, session)),
      results_(std::make_unique<ResultsActions>(*this, session, *sheets_))
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("BRONTIV - KTRA-VELD Software - Version 2.03"));
    leaveWatcher_ = new EntryLeaveWatcher(
        session_, [this](Model model) { return entriesOf(model); }, this);
    buildMenus();

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    tabs_ = new QTabWidget(central);
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->setUsesScrollButtons(true);
    // Seen only on a narrow screen; the Tab key walks the panel, not them.
    for (QToolButton *scroll : tabs_->tabBar()->findChildren<QToolButton *>())
        scroll->setFocusPolicy(Qt::NoFocus);
    for (const ModelSpec &entry : panelCatalogue()) {
        Panel &p = panels_[tabIndex(entry.model)];
        p = buildPanel(entry);
        tabs_->addTab(p.page, entry.tabCaption);
        wirePanel(p);
    }
    column->addWidget(tabs_);
    buildConnectionArea(central);
    auto *scroll = new PanelScrollArea(this);
    scroll->setObjectName(QStringLiteral("PanelScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(central);
    setCentralWidget(scroll);
    // Made now, so that the size below, and the centring by the load step,
    // count its height.
    setStatusBar(new ElidingStatusBar(this));
    buildLineMonitor();

    // Wide enough to show every tab's caption; the load step fits it to the screen.
    resize(std::max(sizeHint().width(), tabs_->tabBar()->sizeHint().width() + 40),
           sizeHint().height());

    session_.setView(this);
    axisSelect_ = new AxisSelectDialog(*this);
    axisDefine_ = new AxisDefineDialog(*this);
    watchPort();
}

void MainWindow::watchPort()
{
    // An adapter pulled out and plugged in again: said in the status line;
    // connecting again is the operator's choice.
    auto *watch = new PortWatch(
        [this] { return session_.link.deviceForPort(session_.state.ComPortNumber); }, this);
    connect(watch, &PortWatch::vanished, this, [this](const QString &device) {
        showRunStatus(QStringLiteral("COM %1 (%2) was unplugged")
                          .arg(session_.state.ComPortNumber)
                          .arg(device));
    });
    connect(watch, &PortWatch::returned, this, [this](const QString &device) {
        showRunStatus(QStringLiteral("COM %1 (%2) is back: press Connect")
                          .arg(session_.state.ComPortNumber)
                          .arg(device));
        if (!session_.isScanning())
            setConnectEnabled(true);
    });
    watch->start();
}

MainWindow::~MainWindow()
{
    session_.setView(nullptr);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    const std::pair<const char *, const char *> sheetEntries[] = {
        {"mnuSaveSettings", "&Save Unit Settings..."},
        {"mnuLoadSettings", "&Load Unit Settings..."},
        {"mnuCompareSettings", "C&ompare with Unit Settings..."}};
    const std::array<void (MainWindow::*)(), 3> sheetActions = {
        &MainWindow::saveUnitSettings, &MainWindow::loadUnitSettings,
        &MainWindow::compareWithUnitSettings};
    for (std::size_t i = 0; i < sheetActions.size(); ++i) {
        QAction *entry = file->addAction(QString::fromLatin1(sheetEntries[i].second));
        entry->setObjectName(QString::fromLatin1(sheetEntries[i].first));
        connect(entry, &QAction::triggered, this, sheetActions[i]);
    }
    file->addSeparator();
    mnuExit_ = file->addAction(QStringLiteral("E&xit"));
    mnuExit_->setObjectName(QStringLiteral("mnuExit"));
    mnuExit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(mnuExit_, &QAction::triggered, this, &QWidget::close);

    QMenu *setup = menuBar()->addMenu(QStringLiteral("S&etup"));
    setup->setObjectName(QStringLiteral("mnuSetup"));
    mnuConnect_ = setup->addAction(QStringLiteral("&Connect"));
    mnuConnect_->setObjectName(QStringLiteral("mnuConnect"));
    mnuConnect_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(mnuConnect_, &QAction::triggered, this, &MainWindow::pressConnect);
    mnuDisconnect_ = setup->addAction(QStringLiteral("&Disconnect"));
    mnuDisconnect_->setObjectName(QStringLiteral("mnuDisconnect"));
    mnuDisconnect_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(mnuDisconnect_, &QAction::triggered, this, &MainWindow::pressDisconnect);
    mnuCommSettings_ = setup->addAction(QStringLiteral("Communication &Settings..."));
    mnuCommSettings_->setObjectName(QStringLiteral("mnuCommSettings"));
    mnuCommSettings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(mnuCommSettings_, &QAction::triggered, this, &MainWindow::openCommSettings);
    QAction *findUnits = setup->addAction(QStringLiteral("&Find Units on the Line..."));
    findUnits->setObjectName(QStringLiteral("mnuFindUnits"));
    findUnits->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(findUnits, &QAction::triggered, this, &MainWindow::openFindUnits);
    results_->addSetupEntries(setup);

    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    QAction *history = tools->addAction(QStringLiteral("Change &History..."));
    history->setObjectName(QStringLiteral("mnuChangeHistory"));
    connect(history, &QAction::triggered, this, &MainWindow::openChangeHistory);
    results_->addToolsEntries(tools);
}

void MainWindow::buildConnectionArea(QWidget *central)
{
    auto *row = new QHBoxLayout;
    connect_ = new QPushButton(central);
    connect_->setObjectName(QStringLiteral("cmdConnect"));
    connect_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    connect_->setIconSize(QSize(32, 32));
    connect_->setAccessibleName(QStringLiteral("Connect"));
    connect_->setToolTip(QStringLiteral("Connect"));
    connect(connect_, &QPushButton::clicked, this, &MainWindow::pressConnect);

    exit_ = new QPushButton(central);
    exit_->setObjectName(QStringLiteral("cmdExit"));
    exit_->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    exit_->setIconSize(QSize(32, 32));
    exit_->setAccessibleName(QStringLiteral("Exit"));
    exit_->setToolTip(QStringLiteral("Exit"));
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);

    auto *labels = new QVBoxLayout;
    connected_ = new QLabel(QStringLiteral("Connected"), central);
    connected_->setObjectName(QStringLiteral("lblConnected"));
    QFont bold = connected_->font();
    bold.setBold(true);
    connected_->setFont(bold);
    version_ = new QLabel(QStringLiteral("Version Number"), central);
    version_->setObjectName(QStringLiteral("lblVersionNumber"));
    version_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    labels->addWidget(connected_);
    labels->addWidget(version_);
    // Seen only while a scan runs.
    scanProgress_ = new QLabel(central);
    scanProgress_->setObjectName(QStringLiteral("lblScanProgress"));
    scanProgress_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    scanProgress_->hide();
    labels->addWidget(scanProgress_);

    row->addWidget(connect_);
    row->addLayout(labels, 1);
    row->addWidget(exit_);
    static_cast<QVBoxLayout *>(central->layout())->addLayout(row);
}

void MainWindow::buildLineMonitor()
{
    lineMonitor_ = new LineMonitor(session_.link, this);
    lineMonitorDock_ = new LineMonitorDock(*lineMonitor_, toolkit_, this);
    addDockWidget(Qt::BottomDockWidgetArea, lineMonitorDock_);
    lineMonitorDock_->hide();
    // View comes before Tools, as in most programs.
    auto *view = new QMenu(QStringLiteral("&View"), this);
    view->setObjectName(QStringLiteral("mnuView"));
    const auto *tools = menuBar()->findChild<QMenu *>(QStringLiteral("mnuTools"));
    menuBar()->insertMenu(tools ? tools->menuAction() : nullptr, view);
    mnuLineMonitor_ = lineMonitorDock_->toggleViewAction();
    mnuLineMonitor_->setText(QStringLiteral("&Line Monitor"));
    mnuLineMonitor_->setObjectName(QStringLiteral("mnuLineMonitor"));
    mnuLineMonitor_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    view->addAction(mnuLineMonitor_);
    // The window grows by the monitor's height as far as the screen lets it;
    // the rest comes from the panels, which scroll then.
    connect(lineMonitorDock_, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (!shown)
            return;
        QTimer::singleShot(0, this, [this] {
            if (lineMonitorDock_->isFloating()) {
                keepOnScreen(lineMonitorDock_);
                return;
            }
            if (!isVisible() || isMaximized() || isFullScreen())
                return;
            const int shortfall = centralWidget()->sizeHint().height() - centralWidget()->height();
            if (shortfall > 0)
                resize(width(), height() + shortfall);
            keepOnScreen(this);
        });
    });

    // Esc stops the unit as the shown panel's Hard Limit button does. Only
    // while this window has the key: an open menu or dialog takes Esc first.
    auto *hardLimitKey = new QAction(this);
    hardLimitKey->setObjectName(QStringLiteral("keyHardLimit"));
    hardLimitKey->setShortcut(QKeySequence(Qt::Key_Escape));
    hardLimitKey->setShortcutContext(Qt::WindowShortcut);
    addAction(hardLimitKey);
    connect(hardLimitKey, &QAction::triggered, this, [this] {
        pressStop(static_cast<Model>(tabs_->currentIndex()), frame::Motion::StopAll);
    });
}

void MainWindow::wirePanel(Panel &p)
{
    const Model model = p.model;
    for (auto &[key, button] : p.sendButtons) {
        const ParamKey k = key;
        connect(button, &QPushButton::clicked, this, [this, model, k] { pressSend(model, k); });
    }
    for (auto &[key, box] : p.boxes)
        leaveWatcher_->watch(box, model, key);
    for (auto &[option, button] : p.options) {
        const Option o = option;
        QRadioButton *self = button;
        // Acts when it becomes selected: by mouse, keyboard, accessibility
        // client or code, once each. Selecting the selected one does nothing.
        connect(button, &QRadioButton::toggled, this, [this, model, o, self](bool on) {
            if (!on) {
                // The group's button just left; if the session refuses the
                // new one, the group goes back to it.
                leftOption_ = self;
                return;
            }
            QRadioButton *previous =
                leftOption_ && leftOption_->parent() == self->parent() ? leftOption_ : nullptr;
            leftOption_ = nullptr;
            if (showingReadback_)
                return; // the read-back shows what the unit holds
            if (!session_.SetOption(model, o)) {
                restoreOptionGroup(self, previous);
                // Not connected has said so in its box; a running read-back says so here.
                if (session_.state.UnitConnected) {
                    const QWidget *frame = self->parentWidget();
                    const QString what = frame && !frame->accessibleName().isEmpty()
                                             ? frame->accessibleName()
                                             : QStringLiteral("The option");
                    showRunStatus(QStringLiteral("%1 was not changed: the unit's settings are "
                                                 "being read. Choose it again when the reading "
                                                 "has finished.")
                                      .arg(what));
                }
            }
        });
    }
    for (int n = 1; n <= 4; ++n) {
        // A click, also on the profile already shown: the display follows the
        // session's profile, never the other way round.
        if (QRadioButton *profile = p.profiles[n])
            connect(profile, &QRadioButton::clicked, this,
                    [this, model, n] { session_.ChooseProfile(model, n); });
    }
    connect(p.go(), &QPushButton::clicked, this, [this, model] { pressGo(model); });
    connect(p.motion[1], &QPushButton::clicked, this,
            [this, model] { pressStop(model, frame::Motion::StopSoft); });
    connect(p.motion[2], &QPushButton::clicked, this,
            [this, model] { pressStop(model, frame::Motion::StopAll); });
    p.motion[2]->setToolTip(QStringLiteral("Hard Limit: stops the motor at once (Esc)"));
    connect(p.verify, &QPushButton::clicked, this, [this, model] { pressVerify(model); });
    if (auto *select = qobject_cast<QPushButton *>(p.control(QStringLiteral("cmdAxisSelect"))))
        connect(select, &QPushButton::clicked, this, &MainWindow::openAxisSelect);
    if (auto *define = qobject_cast<QPushButton *>(p.control(QStringLiteral("cmdAxisDefine"))))
        connect(define, &QPushButton::clicked, this, &MainWindow::openAxisDefine);
}

void MainWindow::load()
{
    centreOnScreen(this);
    session_.load();
    if (session_.isEnding())
        return;
    // Results kept on this bench go to the results server as soon as it answers.
    results_->startSending();
}

void MainWindow::showConnectionStatus(bool connected)
{
    QPalette palette = connected_->palette();
    if (connected) {
        connected_->setText(QStringLiteral("The Unit is Connected"));
        palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
        version_->setVisible(true);
    } else {
        connected_->setText(QStringLiteral("The Unit is NOT Connected"));
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        version_->setVisible(false);
    }
    connected_->setPalette(palette);
}

void MainWindow::setAllPanelsAvailable()
{
    for (int i = 0; i < ModelCount; ++i)
        tabs_->setTabEnabled(i, true);
}

namespace {
void setTabStops(Panel &panel, const QStringList &names, bool on)
{
    for (const QString &name : names)
        if (QWidget *w = panel.control(name))
            w->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
}
} // namespace

void MainWindow::TabStopsOn(Model model)
{
    setTabStops(panel(model), modelSpec(model).tabStopsOn, true);
}

void MainWindow::TabStopsOff(Model model)
{
    setTabStops(panel(model), modelSpec(model).tabStopsOff, false);
}

void MainWindow::hideMicrostepGroupVELD30()
{
    Panel &p = panel(Model::VELD30);
    if (QWidget *group = p.control(QStringLiteral("Frame30"))) {
        group->setEnabled(false);
        group->setVisible(false);
    }
    if (QLabel *label = p.label(ReadbackRole::Microstep))
        label->setVisible(false);
}

void MainWindow::pressVerify(Model model)
{
    session_.VerifyParameters(model);
}
void MainWindow::pressGo(Model model)
{
    session_.BeginMotion(model);
}
void MainWindow::pressStop(Model model, frame::Motion motion)
{
    session_.StopMotion(model, motion);
}
void MainWindow::pressSend(Model model, ParamKey key)
{
    session_.SendButtonClicked(model, key, entriesOf(model));
}
void MainWindow::leaveBox(Model model, ParamKey key)
{
    session_.EntryBoxLeft(model, key, entriesOf(model));
}

PanelEntries MainWindow::entriesOf(Model model) const
{
    PanelEntries entries{{}, session_.state.SelectedProfile, session_.state.AxisAddress};
    for (const auto &[key, box] : panel(model).boxes)
        entries.texts.insert(key, box->text());
    return entries;
}

void MainWindow::selectOption(Model model, Option option)
{
    panel(model).options.at(option)->setChecked(true);
}

void MainWindow::selectProfile(Model model, int number)
{
    session_.ChooseProfile(model, number);
}

void MainWindow::restoreOptionGroup(QRadioButton *clicked, QRadioButton *previous)
{
    const QSignalBlocker quiet(clicked);
    if (previous) {
        const QSignalBlocker quietToo(previous);
        previous->setChecked(true);
        return;
    }
    // Nothing was selected before: an exclusive button cannot be unselected
    // while it is exclusive.
    clicked->setAutoExclusive(false);
    clicked->setChecked(false);
    clicked->setAutoExclusive(true);
}

void MainWindow::pressConnect()
{
    session_.Connect();
}
void MainWindow::pressDisconnect()
{
    session_.Disconnect();
}
void MainWindow::openCommSettings()
{
    CommunicationSettings(*this);
}
void MainWindow::openAxisSelect()
{
    axisSelect_->showDialog();
}
void MainWindow::openAxisDefine()
{
    axisDefine_->showDialog();
}

void MainWindow::openFindUnits()
{
    // From a shortcut while Connect scans: the search would ask inside the scan.
    if (session_.isScanning())
        return;
    FindUnitsDialog dialog(session_, this, [this] {
        pressStop(static_cast<Model>(tabs_->currentIndex()), frame::Motion::StopAll);
    });
    dialog.setModal(true);
    dialog.show();
    dialog.search();
    // Closed while it asked: nothing chosen.
    if (!dialog.isVisible() || dialog.exec() != QDialog::Accepted)
        return;
    const QString address = dialog.chosenAddress();
    if (address.isEmpty())
        return;
    if (session_.state.UnitConnected && session_.link.baudRateInForce() == dialog.baud()) {
        session_.selectFoundUnit(address);
    } else {
        session_.ConnectTo(address, dialog.baud());
    }
}

void MainWindow::showMessage(MessageIcon icon, const QString &text)
{
    toolkit_.showMessage(icon, text);
}

void MainWindow::showOpenFailure(MessageIcon icon, const QString &text, const QString &details)
{
    // The cause stays in sight once the box is gone.
    const auto &failure = session_.link.lastOpenFailure();
    showRunStatus(openFailureStatusLine(session_.state.ComPortNumber,
                                        failure ? failure->device : QString(), details));
    toolkit_.showMessage(icon, text, details);
}

void MainWindow::showWaitCursor()
{
    toolkit_.showWaitCursor();
}

void MainWindow::showNormalCursor()
{
    toolkit_.showNormalCursor();
}

void MainWindow::showVersion(const QString &versionText)
{
    version_->setText(versionText);
}

void MainWindow::setConnectEnabled(bool enabled)
{
    // The button, the menu entry and its shortcut alike.
    connect_->setEnabled(enabled);
    mnuConnect_->setEnabled(enabled);
}

void MainWindow::selectPanel(Model chosen)
{
    tabs_->setCurrentIndex(tabIndex(chosen));
    for (Model model : AllModels) {
        tabs_->setTabEnabled(tabIndex(model), model == chosen);
        if (model == chosen)
            TabStopsOn(model);
        else
            TabStopsOff(model);
    }
}

void MainWindow::setRunButtonsEnabled(Model model, bool enabled)
{
    panel(model).verify->setEnabled(enabled);
    panel(model).go()->setEnabled(enabled);
}

void MainWindow::resetReadback(Model model, const QString &profile)
{
    ktv::resetReadback(panel(model), profile);
}

void MainWindow::showSelectedProfile(const QString &profile)
{
    // On every panel: the matching button, or none where the panel has no
    // such profile. Nothing runs and nothing is sent.
    for (Panel &p : panels_) {
        for (QRadioButton *button : p.profiles) {
            if (!button)
                continue;
            const QSignalBlocker quiet(button);
            button->setAutoExclusive(false);
            button->setChecked(button->text() == profile);
            button->setAutoExclusive(true);
        }
    }
}

void MainWindow::showField(Model model, Field field, const std::optional<QString> &reply,
                           bool copyIntoBox)
{
    showingReadback_ = true;
    ktv::showField(panel(model), field, reply, copyIntoBox);
    showingReadback_ = false;
}

void MainWindow::showRunStatus(const QString &text)
{
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
}

void MainWindow::showScanProgress(const QString &text)
{
    scanProgress_->setText(text);
    scanProgress_->setVisible(!text.isEmpty());
    emit scanProgressShown(text);
}

void MainWindow::connectionChanged()
{
    axisSelect_->dismiss();
    axisDefine_->dismiss();
}

void MainWindow::showSelectedAxis(Model model, const QString &address)
{
    ktv::showSelectedAxis(panel(model), address);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Ends the program at once, also from inside a wait: the port closes and
    // no interrupted action writes another byte or shows another message.
    session_.setEnding();
    axisSelect_->hide();
    axisDefine_->hide();
    event->accept();
    emit programEnding();
}

} // namespace ktv
