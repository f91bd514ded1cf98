// The main window as the operator meets it: every panel's frames and controls
// with their captions, default texts and lengths, the accessible names, the
// menus, the tab captions, the keyboard focus order after an identification,
// and the version label that only a connected unit shows.

#include "Texts.h"
#include "UnitSimProcess.h"
#include "Workbench.h"

#include "protocol/UnitCatalogue.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <algorithm>

using namespace ktv;
using namespace ktv::test;

namespace {

const QString NotConnected = QStringLiteral("The Unit is NOT Connected");

// The focus-order lists, without the model id that ends every name but the
// axis buttons'. The VELD30 switch-on list has no resolution options.
const char *const FocusStems = "optProfile1 optProfile2 optProfile3 optProfile4 cmdSendAccel "
                               "cmdSendBase cmdSendMax cmdSendIndex cmdSendComplete cmdSendLower "
                               "cmdSendUpper cmdGo cmdStopSoft cmdStopAll optCW optCCW optAnalogOn "
                               "optAnalogOff optRCYes optRCNo optRes1 optRes2 optRes4 optRes8 "
                               "optRampDownYes optRampDownNo cmdAxisSelect cmdAxisDefine "
                               "cmdVerifyParameters";

const ControlSpec *controlNamed(Model model, const QString &name)
{
    const ModelSpec &entry = modelSpec(model);
    for (const ControlSpec &c : entry.panelControls)
        if (c.name == name)
            return &c;
    for (const FrameSpec &f : entry.frames)
        for (const ControlSpec &c : f.controls)
            if (c.name == name)
                return &c;
    return nullptr;
}

QStringList focusList(Model model, bool switchOn)
{
    const QString id = modelId(model);
    QStringList list;
    for (const QString &stem : QString::fromLatin1(FocusStems).split(QLatin1Char(' '))) {
        const bool axis = stem.startsWith(QLatin1String("cmdAxis"));
        if (axis && model != Model::VELD30)
            continue;
        if (switchOn && model == Model::VELD30 && stem.startsWith(QLatin1String("optRes")))
            continue;
        const QString name = axis ? stem : stem + id;
        // Only the controls the panel has; the order of the stems is the lists' order.
        if (controlNamed(model, name))
            list << name;
    }
    return list;
}

bool isButtonOrOption(const QWidget *w)
{
    return qobject_cast<const QAbstractButton *>(w) != nullptr;
}

} // namespace

class TestPanels : public QObject
{
    Q_OBJECT
  private slots:
    void frameInventory_data();
    void frameInventory();
    void catalogueMatchesWindow();
    void startsWithProfileOneOnly();
    void windowMenusAndTabs();
    void focusOrderAfterIdentifyingKTRA20();
    void veld30ResolutionAfterSwitchOffAndOn_data();
    void veld30ResolutionAfterSwitchOffAndOn();
    void versionHiddenWhileNotConnected_data();
    void versionHiddenWhileNotConnected();
    void typingLimitStopsTheKeyboardOnly_data();
    void typingLimitStopsTheKeyboardOnly();
};

void TestPanels::frameInventory_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("frame");
    for (const ModelSpec &entry : panelCatalogue())
        for (int f = 0; f < entry.frames.size(); ++f)
            QTest::addRow("%s %s", qPrintable(modelId(entry.model)),
                          qPrintable(entry.frames[f].name))
                << tabIndex(entry.model) << f;
}

// Each frame of the catalogue on its own tab, named for the screen reader by
// the caption of its label, with its controls made in the listed order; entry
// boxes keep their default text and typing limit and are named for their Send
// button without "Send ".
void TestPanels::frameInventory()
{
    QFETCH(int, model);
    QFETCH(int, frame);
    const ModelSpec &entry = panelCatalogue()[model];
    const FrameSpec &listed = entry.frames[frame];
    Workbench bench;
    auto *box = bench.find<QGroupBox>(listed.name);
    QVERIFY2(box, qPrintable(listed.name));
    QCOMPARE(box->accessibleName(), listed.caption);
    QWidget *page = bench.panel(entry.model).page;
    QVERIFY(page->isAncestorOf(box));
    QCOMPARE(bench.window->SSTab1()->indexOf(page), model);

    QStringList created;
    for (QObject *child : box->children())
        if (child->isWidgetType())
            created << child->objectName();
    QStringList names;
    for (const ControlSpec &c : listed.controls) {
        names << c.name;
        if (c.kind != ControlKind::EntryBox)
            continue;
        auto *edit = box->findChild<QLineEdit *>(c.name, Qt::FindDirectChildrenOnly);
        QVERIFY2(edit, qPrintable(c.name));
        QCOMPARE(typingLimit(edit), c.maxLength);
        QString send = bench.panel(entry.model).sendButtons.at(c.key)->text();
        QCOMPARE(edit->accessibleName(), send.remove(QLatin1Char('&')).mid(5));
    }
    QCOMPARE(created, names);
    if (listed.role == FrameRole::Readback)
        QCOMPARE(listed.caption, QStringLiteral("Verify Parameters"));
}

// Every control the catalogue describes is on the window as described, and
// each panel page holds nothing the catalogue does not name.
void TestPanels::catalogueMatchesWindow()
{
    Workbench bench;
    for (const ModelSpec &entry : panelCatalogue()) {
        const Panel &panel = bench.panel(entry.model);
        QSet<QString> named;
        QList<ControlSpec> all = entry.panelControls;
        for (const FrameSpec &f : entry.frames) {
            named.insert(f.name);
            all += f.controls;
        }
        for (const ControlSpec &c : all) {
            named.insert(c.name);
            QWidget *w = panel.page->findChild<QWidget *>(c.name);
            QVERIFY2(w, qPrintable(c.name));
            QCOMPARE(panel.control(c.name), w);
            switch (c.kind) {
            case ControlKind::EntryBox:
                QVERIFY2(qobject_cast<QLineEdit *>(w), qPrintable(c.name));
                QCOMPARE(qobject_cast<QLineEdit *>(w)->text(), c.caption);
                break;
            case ControlKind::OptionButton:
            case ControlKind::ProfileButton:
                QVERIFY2(qobject_cast<QRadioButton *>(w), qPrintable(c.name));
                QCOMPARE(qobject_cast<QRadioButton *>(w)->text(), c.caption);
                break;
            case ControlKind::SendButton:
            case ControlKind::MotionButton:
            case ControlKind::VerifyButton:
            case ControlKind::AxisButton:
                QVERIFY2(qobject_cast<QPushButton *>(w), qPrintable(c.name));
                QCOMPARE(qobject_cast<QPushButton *>(w)->text(), c.caption);
                break;
            case ControlKind::Caption:
            case ControlKind::InfoLabel:
            case ControlKind::ReadbackLabel:
                QVERIFY2(qobject_cast<QLabel *>(w), qPrintable(c.name));
                QCOMPARE(qobject_cast<QLabel *>(w)->text(), c.caption);
                break;
            }
        }
        for (QWidget *w : panel.page->findChildren<QWidget *>())
            QVERIFY2(named.contains(w->objectName()),
                     qPrintable(modelId(entry.model) + ": " + w->objectName()));
        // The focus lists the identification uses are the manual's.
        QCOMPARE(entry.tabStopsOn, focusList(entry.model, true));
        QCOMPARE(entry.tabStopsOff, focusList(entry.model, false));
        // The panel offers exactly what the unit's facts say it takes.
        std::vector<Option> shown = entry.options();
        std::vector<Option> taken = unitFacts(entry.model).options;
        std::sort(shown.begin(), shown.end());
        std::sort(taken.begin(), taken.end());
        QVERIFY2(shown == taken, qPrintable(modelId(entry.model)));
        QCOMPARE(entry.profileCount(), unitFacts(entry.model).profileCount);
    }
    // The axis buttons sit on the VELD30 panel itself, outside every frame.
    for (const char *name : {"cmdAxisSelect", "cmdAxisDefine"}) {
        auto *button = bench.find<QPushButton>(QString::fromLatin1(name));
        QVERIFY(button);
        QCOMPARE(button->parentWidget(), bench.panel(Model::VELD30).page);
    }
    QCOMPARE(bench.find<QPushButton>("cmdAxisSelect")->text(), QStringLiteral("Select A&xis"));
    QCOMPARE(bench.find<QPushButton>("cmdAxisDefine")->text(), QStringLiteral("&Define Axis"));
}

void TestPanels::startsWithProfileOneOnly()
{
    Workbench bench;
    for (Model model : AllModels) {
        const QString id = modelId(model);
        QWidget *page = bench.panel(model).page;
        QStringList checked;
        for (QRadioButton *option : page->findChildren<QRadioButton *>())
            if (option->isChecked())
                checked << option->objectName();
        QCOMPARE(checked, QStringList{QStringLiteral("optProfile1") + id});
    }
}

void TestPanels::windowMenusAndTabs()
{
    Workbench bench;
    MainWindow &w = *bench.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("BRONTIV - KTRA-VELD Software - Version 2.03"));

    struct Entry
    {
        QAction *action;
        const char *caption;
        QKeySequence shortcut;
    };
    const QList<Entry> entries = {
        {w.mnuExit(), "E&xit", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {w.mnuConnect(), "&Connect", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {w.mnuDisconnect(), "&Disconnect", QKeySequence(Qt::CTRL | Qt::Key_D)},
        {w.mnuCommSettings(), "Communication &Settings...", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {w.mnuLineMonitor(), "&Line Monitor", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {w.findChild<QAction *>(QStringLiteral("mnuResultsDatabase")), "&Results Database...",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)},
        {w.findChild<QAction *>(QStringLiteral("mnuResults")), "&Results...",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
    };
    for (const Entry &e : entries) {
        QVERIFY(e.action);
        QCOMPARE(e.action->text(), QString::fromLatin1(e.caption));
        QCOMPARE(e.action->shortcut(), e.shortcut);
    }
    auto *file = w.findChild<QMenu *>(QStringLiteral("mnuFile"));
    auto *setup = w.findChild<QMenu *>(QStringLiteral("mnuSetup"));
    QVERIFY(file && setup);
    QCOMPARE(file->title(), QStringLiteral("&File"));
    QCOMPARE(setup->title(), QStringLiteral("S&etup"));
    // The sheet entries and a separator above Exit.
    QStringList fileEntries;
    for (QAction *action : file->actions())
        fileEntries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(fileEntries, (QStringList{"&Save Unit Settings...", "&Load Unit Settings...",
                                       "C&ompare with Unit Settings...", "-", "E&xit"}));
    QCOMPARE(file->actions().last(), w.mnuExit());
    auto *findUnits = w.findChild<QAction *>(QStringLiteral("mnuFindUnits"));
    QVERIFY(findUnits);
    QCOMPARE(findUnits->text(), QStringLiteral("&Find Units on the Line..."));
    auto *resultsDatabase = w.findChild<QAction *>(QStringLiteral("mnuResultsDatabase"));
    QCOMPARE(setup->actions(), (QList<QAction *>{w.mnuConnect(), w.mnuDisconnect(),
                                                 w.mnuCommSettings(), findUnits, resultsDatabase}));
    auto *view = w.findChild<QMenu *>(QStringLiteral("mnuView"));
    QVERIFY(view);
    QCOMPARE(view->title(), QStringLiteral("&View"));
    QCOMPARE(view->actions(), QList<QAction *>{w.mnuLineMonitor()});
    QVERIFY(w.mnuLineMonitor()->isCheckable());
    auto *tools = w.findChild<QMenu *>(QStringLiteral("mnuTools"));
    QVERIFY(tools);
    QCOMPARE(tools->title(), QStringLiteral("&Tools"));
    QStringList toolEntries;
    for (const QAction *entry : tools->actions())
        toolEntries << entry->text() + QLatin1Char(' ') + entry->shortcut().toString();
    QCOMPARE(toolEntries, (QStringList{"Change &History... ", "&Production Run... Ctrl+R",
                                       "&Results... Ctrl+Shift+R"}));
    QCOMPARE(w.menuBar()->actions(), (QList<QAction *>{file->menuAction(), setup->menuAction(),
                                                       view->menuAction(), tools->menuAction()}));

    QCOMPARE(w.cmdConnect()->objectName(), QStringLiteral("cmdConnect"));
    QCOMPARE(w.cmdExit()->objectName(), QStringLiteral("cmdExit"));
    QCOMPARE(w.cmdConnect()->accessibleName(), QStringLiteral("Connect"));
    QCOMPARE(w.cmdExit()->accessibleName(), QStringLiteral("Exit"));
    QVERIFY(w.cmdConnect()->text().isEmpty());
    QVERIFY(w.cmdExit()->text().isEmpty());
    QCOMPARE(w.lblConnected()->text(), QStringLiteral("Connected"));
    QCOMPARE(w.lblVersionNumber()->text(), QStringLiteral("Version Number"));

    QCOMPARE(w.SSTab1()->count(), ModelCount);
    for (int i = 0; i < ModelCount; ++i) {
        const QString caption = w.SSTab1()->tabText(i);
        const QString family =
            i < 3 ? QStringLiteral("Pulse Generator") : QStringLiteral("Simple Indexer");
        QVERIFY2(caption.startsWith(family), qPrintable(caption));
        QVERIFY2(caption.size() > family.size(), qPrintable(caption)); // names the drive too
        QCOMPARE(w.SSTab1()->widget(i), bench.panel(AllModels[i]).page);
    }
}

void TestPanels::focusOrderAfterIdentifyingKTRA20()
{
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA20));

    const QStringList on = focusList(Model::KTRA20, true);
    for (const QString &name : on)
        QCOMPARE(bench.panel(Model::KTRA20).control(name)->focusPolicy(), Qt::StrongFocus);
    // Every button and option of the other panels is mouse-only.
    for (Model model : AllModels) {
        if (model == Model::KTRA20)
            continue;
        for (QWidget *w : bench.panel(model).page->findChildren<QWidget *>())
            if (isButtonOrOption(w))
                QVERIFY2(w->focusPolicy() == Qt::ClickFocus, qPrintable(w->objectName()));
    }

    // Walk the window with the Tab key.
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    bench.panel(Model::KTRA20).profiles[1]->setFocus(Qt::OtherFocusReason);
    QVERIFY(waitUntil([&] { return QApplication::focusWidget() != nullptr; }));
    QSet<QWidget *> reached;
    for (int i = 0; i < 200; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        reached.insert(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QWidget *page = bench.panel(Model::KTRA20).page;
    for (QWidget *w : std::as_const(reached)) {
        if (!isButtonOrOption(w))
            continue;
        const bool connectionArea = w == bench.window->cmdConnect() || w == bench.window->cmdExit();
        QVERIFY2(connectionArea || page->isAncestorOf(w), qPrintable(w->objectName()));
    }
    // Each option group is one Tab stop, entered at its selected button; every
    // push button of the list is its own stop.
    QSet<QWidget *> groupsReached;
    for (QWidget *w : std::as_const(reached))
        if (qobject_cast<QRadioButton *>(w))
            groupsReached.insert(w->parentWidget());
    for (const QString &name : on) {
        QWidget *w = page->findChild<QWidget *>(name);
        if (qobject_cast<QRadioButton *>(w))
            QVERIFY2(groupsReached.contains(w->parentWidget()), qPrintable(name));
        else
            QVERIFY2(reached.contains(w), qPrintable(name));
    }
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

void TestPanels::veld30ResolutionAfterSwitchOffAndOn_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("connected: the click sends the resolution") << true;
    QTest::newRow("not connected: the click tells so") << false;
}

void TestPanels::veld30ResolutionAfterSwitchOffAndOn()
{
    QFETCH(bool, connected);
    UnitOnLine rig(Model::VELD30);
    QVERIFY(rig.started);
    Workbench bench(rig);
    if (connected) {
        bench.load();
        QVERIFY(bench.state.UnitConnected);
    }
    MainWindow &w = *bench.window;
    w.TabStopsOff(Model::VELD30);
    w.TabStopsOn(Model::VELD30);
    Panel &panel = bench.panel(Model::VELD30);
    for (const QString &name : focusList(Model::VELD30, false)) {
        const bool resolution = name.startsWith(QLatin1String("optRes"));
        QCOMPARE(panel.control(name)->focusPolicy(), resolution ? Qt::ClickFocus : Qt::StrongFocus);
    }

    w.SSTab1()->setCurrentIndex(tabIndex(Model::VELD30));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    rig.unit.clearRecord();
    QRadioButton *res4 = panel.options.at(Option::Res4);
    QTest::mouseClick(res4, Qt::LeftButton);
    QCOMPARE(res4->isChecked(), connected); // a refused click is taken back
    if (connected) {
        // The setting, then after half a second the read-back that asks for it.
        QVERIFY(rig.unit.waitForLineCount(2));
        const QList<QByteArray> lines = rig.unit.receivedBytes();
        QCOMPARE(lines.at(0), QByteArray("@0R4\r"));
        QVERIFY(lines.contains(QByteArray("@0VR\r")));
        QVERIFY(bench.recorder.messages.isEmpty());
    } else {
        QCOMPARE(bench.recorder.messages.size(), 1);
        QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
        QCOMPARE(bench.recorder.messages[0].text, NotConnectedText);
        QTest::qWait(100); // a line would have come by now
        QVERIFY(rig.unit.received().isEmpty());
    }
}

void TestPanels::versionHiddenWhileNotConnected_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("status");
    QTest::newRow("connected") << "connected"
                               << "The Unit is Connected";
    QTest::newRow("scan finds no device") << "no device" << NotConnected;
    QTest::newRow("after Disconnect") << "disconnect" << NotConnected;
    QTest::newRow("Connect again finds nobody") << "reconnect to nobody" << NotConnected;
}

void TestPanels::versionHiddenWhileNotConnected()
{
    QFETCH(QString, step);
    QFETCH(QString, status);
    UnitSimProcess unit;
    QVERIFY(unit.start());
    const bool noDevice = step == QLatin1String("no device");
    Workbench bench(noDevice ? QStringLiteral("/nonexistent/ktv-line") : unit.devicePath());
    bench.load();
    QCOMPARE(bench.state.UnitConnected, !noDevice);
    if (step == QLatin1String("disconnect")) {
        bench.window->pressDisconnect();
    } else if (step == QLatin1String("reconnect to nobody")) {
        bench.link.setPortMap({{1, QStringLiteral("/nonexistent/ktv-line")}});
        bench.window->pressConnect();
    }
    QCOMPARE(bench.window->lblConnected()->text(), status);
    QCOMPARE(bench.window->lblVersionNumber()->isHidden(), status == NotConnected);
    if (status == NotConnected)
        QVERIFY(!bench.link.PortOpen());
}

void TestPanels::typingLimitStopsTheKeyboardOnly_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("KTRA20 Accel stops at 3") << "txtSendAccelKTRA20"
                                             << "12345"
                                             << "123";
    QTest::newRow("VELD10 Base stops at 4") << "txtSendBaseVELD10"
                                            << "123456"
                                            << "1234";
    QTest::newRow("KTRA10 Max has no limit") << "txtSendMaxKTRA10"
                                             << "1234567890"
                                             << "1234567890";
}

// The limit holds for the keyboard; a longer value the program writes (a
// read-back) stays whole, and the operator can still shorten it.
void TestPanels::typingLimitStopsTheKeyboardOnly()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    Workbench bench;
    auto *edit = bench.find<QLineEdit>(box);
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), kept);
    edit->setText(QStringLiteral("10000000"));
    QCOMPARE(edit->text(), QStringLiteral("10000000"));
    QTest::keyClick(edit, Qt::Key_9);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(),
             typingLimit(edit) ? QStringLiteral("1000000") : QStringLiteral("10000000"));
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
