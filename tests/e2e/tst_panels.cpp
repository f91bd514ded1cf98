// The main window as the operator meets it: every panel's frames and controls
// with their captions, default texts and lengths, the accessible names, the
// menus, the tab captions, the keyboard focus order after an identification,
// and the version label that only a connected unit shows.

#include "UnitSimProcess.h"
#include "Workbench.h"

#include "link/Connection.h"

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
#include <QtTest>

using namespace ktv;
using namespace ktv::test;

namespace {

const QString NotConnected = QStringLiteral("The Unit is NOT Connected");

// One frame as the operator's manual lists it: controls in creation order,
// each "name=caption" with "#n" for a maximum length. An entry box's caption
// is its default text.
struct FrameRow
{
    const char *model;
    const char *frame;
    const char *accessibleName;
    const char *controls;
};

const FrameRow Inventory[] = {
    {"KTRA10", "Frame11", "Direction", "optCWKTRA10=CW; optCCWKTRA10=CCW; Label18=Direction"},
    {"KTRA10", "Frame10", "Reduced Current",
     "optRCNoKTRA10=OFF; optRCYesKTRA10=ON; Label20=Reduced Current"},
    {"KTRA10", "Frame9", "Verify Parameters",
     "cmdVerifyParametersKTRA10=&Verify Parameters; lblVerifyInfoKTRA10_6=Max Speed; "
     "lblVerifyInfoKTRA10_5=Base Speed; lblVerifyInfoKTRA10_4=Accel/Decel; "
     "lblErrorKTRA10=Error Code; lblVerifyDirectionKTRA10=Direction; "
     "lblVerifyCurrentKTRA10=Reduced Current; lblVerifyMicrostepKTRA10=Microstep Resolution; "
     "lblVerifyRampKTRA10=Ramp Down; lblProfileKTRA10=Speed Profile"},
    {"KTRA10", "Frame8", "Microstep Resolution",
     "optRes8KTRA10=8; optRes4KTRA10=4; optRes2KTRA10=2; optRes1KTRA10=1; "
     "Label2=Microstep Resolution"},
    {"KTRA10", "Frame7", "Speed Profile",
     "txtSendAccelKTRA10=10; txtSendBaseKTRA10=500; cmdSendAccelKTRA10=Send &Accel/Decel; "
     "cmdSendBaseKTRA10=Send &Base Speed; txtSendMaxKTRA10=5000; "
     "cmdSendMaxKTRA10=Send &Max Speed; optProfile1KTRA10=1; optProfile2KTRA10=2; "
     "optProfile3KTRA10=3; optProfile4KTRA10=4; cmdStopAllKTRA10=&Hard Limit; "
     "cmdGoKTRA10=Begin Motion; cmdStopSoftKTRA10=&Soft Limit; Label1=Speed Profile"},
    {"KTRA10", "Frame6", "Ramp Down",
     "optRampDownNoKTRA10=NO; optRampDownYesKTRA10=YES; lblRampDown=Ramp Down"},
    {"KTRA20", "Frame13", "Speed Profile",
     "txtSendUpperKTRA20=20000#5; cmdSendUpperKTRA20=Send &Upper Analog Speed; "
     "txtSendLowerKTRA20=1000#5; cmdSendLowerKTRA20=Send &Lower Analog Speed; "
     "cmdStopSoftKTRA20=&Soft Limit; cmdGoKTRA20=Begin Motion; cmdStopAllKTRA20=&Hard Limit; "
     "optProfile2KTRA20=2; optProfile1KTRA20=1; cmdSendMaxKTRA20=Send &Max Speed; "
     "txtSendMaxKTRA20=5000#5; cmdSendBaseKTRA20=Send &Base Speed; "
     "cmdSendAccelKTRA20=Send &Accel/Decel; txtSendBaseKTRA20=500#4; txtSendAccelKTRA20=10#3; "
     "Label10=Speed Profile"},
    {"KTRA20", "Frame17", "Analog Speed",
     "optAnalogOnKTRA20=ON; optAnalogOffKTRA20=OFF; Label3=Analog Speed"},
    {"KTRA20", "Frame16", "Reduced Current",
     "optRCNoKTRA20=OFF; optRCYesKTRA20=ON; Label17=Reduced Current"},
    {"KTRA20", "Frame15", "Verify Parameters",
     "cmdVerifyParametersKTRA20=&Verify Parameters; lblVerifyInfoKTRA20_11=Lower Analog Speed; "
     "lblVerifyInfoKTRA20_10=Max Speed; lblVerifyInfoKTRA20_9=Accel/Decel; "
     "lblVerifyInfoKTRA20_8=Base Speed; lblVerifyInfoKTRA20_7=Upper Analog Speed; "
     "lblErrorKTRA20=Error Code; lblVerifyAnalogSpeedKTRA20=Analog Speed; "
     "lblVerifyCurrentKTRA20=Reduced Current; lblVerifyMicrostepKTRA20=Microstep Resolution; "
     "lblVerifyRampKTRA20=Ramp Down; lblProfileKTRA20=Speed Profile"},
    {"KTRA20", "Frame14", "Microstep Resolution",
     "optRes8KTRA20=8; optRes4KTRA20=4; optRes2KTRA20=2; optRes1KTRA20=1; "
     "Label11=Microstep Resolution"},
    {"KTRA20", "Frame12", "Ramp Down",
     "optRampDownNoKTRA20=NO; optRampDownYesKTRA20=YES; Label9=Ramp Down"},
    {"KTRA30", "Frame23", "Ramp Down",
     "optRampDownYesKTRA30=YES; optRampDownNoKTRA30=NO; Label19=Ramp Down"},
    {"KTRA30", "Frame22", "Speed Profile",
     "cmdStopSoftKTRA30=&Soft Limit; cmdGoKTRA30=Begin Motion; cmdStopAllKTRA30=&Hard Limit; "
     "optProfile2KTRA30=2; optProfile1KTRA30=1; cmdSendMaxKTRA30=Send &Max Speed; "
     "txtSendMaxKTRA30=5000; cmdSendBaseKTRA30=Send &Base Speed; "
     "cmdSendAccelKTRA30=Send &Accel/Decel; txtSendBaseKTRA30=500; txtSendAccelKTRA30=10000; "
     "Label16=Speed Profile"},
    {"KTRA30", "Frame20", "Verify Parameters",
     "cmdVerifyParametersKTRA30=&Verify Parameters; lblProfileKTRA30=Speed Profile; "
     "lblVerifyRampKTRA30=Ramp Down; lblVerifyCurrentKTRA30=Reduced Current; "
     "lblVerifyDirectionKTRA30=Direction; lblErrorKTRA30=Error Code; "
     "lblVerifyInfoKTRA30_2=Accel/Decel; lblVerifyInfoKTRA30_1=Base Speed; "
     "lblVerifyInfoKTRA30_0=Max Speed"},
    {"KTRA30", "Frame19", "Reduced Current",
     "optRCYesKTRA30=ON; optRCNoKTRA30=OFF; Label5=Reduced Current"},
    {"KTRA30", "Frame18", "Direction", "optCCWKTRA30=CCW; optCWKTRA30=CW; Label4=Direction"},
    {"VELD10", "Frame4", "Reduced Current",
     "optRCNoVELD10=OFF; optRCYesVELD10=ON; lblReducedCurrent=Reduced Current"},
    {"VELD10", "Frame2", "Verify Parameters",
     "cmdVerifyParametersVELD10=&Verify Parameters; lblVerifyInfoVELD10_3=Index Number; "
     "lblVerifyInfoVELD10_2=Max Speed; lblVerifyInfoVELD10_1=Base Speed; "
     "lblVerifyInfoVELD10_0=Accel/Decel; lblErrorVELD10=Error Code; "
     "lblVerifyMicrostepVELD10=Microstep Resolution; lblProfileVELD10=Motion Profile; "
     "lblVerifyDirectionVELD10=Direction; lblVerifyCurrentVELD10=Reduced Current"},
    {"VELD10", "Frame5", "Microstep Resolution",
     "optRes8VELD10=8; optRes4VELD10=4; optRes2VELD10=2; optRes1VELD10=1; "
     "lblResolution=Microstep Resolution"},
    {"VELD10", "Frame1", "Motion Profile",
     "txtSendAccelVELD10=10000#7; txtSendBaseVELD10=500#4; "
     "cmdSendAccelVELD10=Send &Accel/Decel; cmdSendBaseVELD10=Send &Base Speed; "
     "txtSendMaxVELD10=5000#5; cmdSendMaxVELD10=Send &Max Speed; optProfile1VELD10=1; "
     "optProfile2VELD10=2; cmdStopAllVELD10=&Hard Limit; cmdGoVELD10=Begin Motion; "
     "cmdStopSoftVELD10=&Soft Limit; cmdSendIndexVELD10=Send &Index Number; "
     "txtSendIndexVELD10=0#7; optProfile3VELD10=3; optProfile4VELD10=4; "
     "lblSpeedProfile=Motion Profile"},
    {"VELD10", "Frame3", "Direction", "optCWVELD10=CW; optCCWVELD10=CCW; lblDirection=Direction"},
    {"VELD20", "Frame28", "Motion Profile",
     "cmdSendCompleteVELD20=Send &Complete Time; txtSendCompleteVELD20=50#7; "
     "txtSendIndexVELD20=0#7; cmdSendIndexVELD20=Send &Index Number; "
     "cmdStopSoftVELD20=&Soft Limit; cmdGoVELD20=Begin Motion; cmdStopAllVELD20=&Hard Limit; "
     "optProfile2VELD20=2; optProfile1VELD20=1; cmdSendMaxVELD20=Send &Max Speed; "
     "txtSendMaxVELD20=5000#5; cmdSendBaseVELD20=Send &Base Speed; "
     "cmdSendAccelVELD20=Send &Accel/Decel; txtSendBaseVELD20=500#4; "
     "txtSendAccelVELD20=10000#7; Label30=Motion Profile"},
    {"VELD20", "Frame26", "Verify Parameters",
     "cmdVerifyParametersVELD20=&Verify Parameters; lblVerifyInfoVELD20_0=Complete Time; "
     "lblVerifyInfoVELD20_7=Base Speed; lblVerifyInfoVELD20_6=Accel/Decel; "
     "lblVerifyInfoVELD20_5=Max Speed; lblVerifyInfoVELD20_4=Index Number; "
     "lblVerifyCurrentVELD20=Reduced Current; lblVerifyDirectionVELD20=Direction; "
     "lblProfileVELD20=Motion Profile; lblErrorVELD20=Error Code"},
    {"VELD20", "Frame25", "Reduced Current",
     "optRCNoVELD20=OFF; optRCYesVELD20=ON; Label22=Reduced Current"},
    {"VELD20", "Frame24", "Direction", "optCWVELD20=CW; optCCWVELD20=CCW; Label21=Direction"},
    {"VELD30", "Frame21", "Motion Profile",
     "cmdStopSoftVELD30=&Soft Limit; txtSendAccelVELD30=10000#7; txtSendBaseVELD30=500#4; "
     "cmdSendAccelVELD30=Send &Accel/Decel; cmdSendBaseVELD30=Send &Base Speed; "
     "txtSendMaxVELD30=5000#5; cmdSendMaxVELD30=Send &Max Speed; optProfile1VELD30=1; "
     "optProfile2VELD30=2; cmdStopAllVELD30=&Hard Limit; cmdGoVELD30=Begin Motion; "
     "cmdSendIndexVELD30=Send &Index Number; txtSendIndexVELD30=0#7; "
     "txtSendCompleteVELD30=50#7; cmdSendCompleteVELD30=Send &Complete Time; "
     "Label6=Motion Profile"},
    {"VELD30", "Frame27", "Verify Parameters",
     "cmdVerifyParametersVELD30=&Verify Parameters; lblSelectedAxis=Selected Axis; "
     "lblVerifyMicrostepVELD30=Microstep Resolution; lblVerifyInfoVELD30_9=Index Number; "
     "lblVerifyInfoVELD30_8=Max Speed; lblVerifyInfoVELD30_3=Accel/Decel; "
     "lblVerifyInfoVELD30_2=Base Speed; lblVerifyInfoVELD30_1=Complete Time; "
     "lblErrorVELD30=Error Code; lblProfileVELD30=Motion Profile; "
     "lblVerifyDirectionVELD30=Direction"},
    {"VELD30", "Frame29", "Direction", "optCCWVELD30=CCW; optCWVELD30=CW; Label14=Direction"},
    {"VELD30", "Frame30", "Microstep Resolution",
     "optRes1VELD30=1; optRes2VELD30=2; optRes4VELD30=4; optRes8VELD30=8; "
     "Label15=Microstep Resolution"},
};

// The focus-order lists, without the model id that ends every name but the
// axis buttons'. The VELD30 switch-on list has no resolution options.
const char *const FocusStems = "optProfile1 optProfile2 optProfile3 optProfile4 cmdSendAccel "
                               "cmdSendBase cmdSendMax cmdSendIndex cmdSendComplete cmdSendLower "
                               "cmdSendUpper cmdGo cmdStopSoft cmdStopAll optCW optCCW optAnalogOn "
                               "optAnalogOff optRCYes optRCNo optRes1 optRes2 optRes4 optRes8 "
                               "optRampDownYes optRampDownNo cmdAxisSelect cmdAxisDefine "
                               "cmdVerifyParameters";

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
        static const QSet<QString> existing = [] {
            QSet<QString> names;
            for (const FrameRow &row : Inventory)
                for (const QString &item :
                     QString::fromLatin1(row.controls).split(QLatin1Char(';')))
                    names.insert(item.trimmed().section(QLatin1Char('='), 0, 0));
            names << QStringLiteral("cmdAxisSelect") << QStringLiteral("cmdAxisDefine");
            return names;
        }();
        if (existing.contains(name))
            list << name;
    }
    return list;
}

Model modelNamed(const QString &id)
{
    for (Model model : AllModels)
        if (modelId(model) == id)
            return model;
    return Model::KTRA10;
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
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QStringList>("controls");
    for (const FrameRow &row : Inventory) {
        QStringList controls;
        for (const QString &item : QString::fromLatin1(row.controls).split(QLatin1Char(';')))
            controls << item.trimmed();
        QTest::addRow("%s %s", row.model, row.frame)
            << row.model << row.frame << row.accessibleName << controls;
    }
}

void TestPanels::frameInventory()
{
    QFETCH(QString, model);
    QFETCH(QString, frame);
    QFETCH(QString, accessibleName);
    QFETCH(QStringList, controls);
    Workbench bench;
    auto *box = bench.find<QGroupBox>(frame);
    QVERIFY2(box, qPrintable(frame));
    QCOMPARE(box->accessibleName(), accessibleName);
    QWidget *page = bench.panel(modelNamed(model)).page;
    QVERIFY(page->isAncestorOf(box));
    QCOMPARE(bench.window->SSTab1()->indexOf(page), tabIndex(modelNamed(model)));

    QStringList created; // the frame's own widgets in creation order
    for (QObject *child : box->children())
        if (child->isWidgetType())
            created << child->objectName();
    QStringList listed;
    for (const QString &item : controls) {
        const QString name = item.section(QLatin1Char('='), 0, 0);
        QString caption = item.section(QLatin1Char('='), 1);
        const int maxLength =
            caption.contains(QLatin1Char('#')) ? caption.section(QLatin1Char('#'), 1).toInt() : 0;
        caption = caption.section(QLatin1Char('#'), 0, 0);
        listed << name;
        QWidget *w = box->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
        QVERIFY2(w, qPrintable(name));
        if (name.startsWith(QLatin1String("txt"))) {
            auto *edit = qobject_cast<QLineEdit *>(w);
            QVERIFY2(edit, qPrintable(name));
            QCOMPARE(edit->text(), caption);
            QCOMPARE(typingLimit(edit), maxLength);
            // Named for the screen reader by its Send button's caption.
            const QString send = QStringLiteral("cmd") + name.mid(3);
            const QString sendCaption = controls.filter(send + QLatin1Char('=')).value(0);
            QVERIFY2(!sendCaption.isEmpty(), qPrintable(send));
            QString expected = sendCaption.section(QLatin1Char('='), 1);
            expected.remove(QLatin1Char('&')).remove(0, 5);
            QCOMPARE(edit->accessibleName(), expected);
        } else if (name.startsWith(QLatin1String("cmd"))) {
            auto *button = qobject_cast<QPushButton *>(w);
            QVERIFY2(button, qPrintable(name));
            QCOMPARE(button->text(), caption);
        } else if (name.startsWith(QLatin1String("opt"))) {
            auto *option = qobject_cast<QRadioButton *>(w);
            QVERIFY2(option, qPrintable(name));
            QCOMPARE(option->text(), caption);
        } else {
            auto *label = qobject_cast<QLabel *>(w);
            QVERIFY2(label, qPrintable(name));
            QCOMPARE(label->text(), caption);
        }
    }
    QCOMPARE(created, listed);
}

// Every control the catalogue describes is on the window as described, and
// each panel page holds nothing the catalogue does not name.
void TestPanels::catalogueMatchesWindow()
{
    Workbench bench;
    QSet<QString> frames;
    for (const FrameRow &row : Inventory)
        frames.insert(QString::fromLatin1(row.frame));
    for (const ModelSpec &spec : panelCatalogue()) {
        const Panel &panel = bench.panel(spec.model);
        QSet<QString> named;
        QList<ControlSpec> all = spec.panelControls;
        for (const FrameSpec &f : spec.frames) {
            QVERIFY2(frames.contains(f.name), qPrintable(f.name));
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
                     qPrintable(modelId(spec.model) + ": " + w->objectName()));
        // The focus lists the identification uses are the manual's.
        QCOMPARE(spec.tabStopsOn, focusList(spec.model, true));
        QCOMPARE(spec.tabStopsOff, focusList(spec.model, false));
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
    QCOMPARE(file->actions(), QList<QAction *>{w.mnuExit()});
    QCOMPARE(setup->actions(),
             (QList<QAction *>{w.mnuConnect(), w.mnuDisconnect(), w.mnuCommSettings()}));
    QCOMPARE(w.menuBar()->actions(), (QList<QAction *>{file->menuAction(), setup->menuAction()}));

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
    UnitSimProcess unit;
    QVERIFY(unit.start());
    Workbench bench(unit.devicePath());
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
    UnitSimOptions options;
    options.model = QStringLiteral("VELD30");
    UnitSimProcess unit(options);
    QVERIFY(unit.start());
    Workbench bench(unit.devicePath());
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
    unit.clearRecord();
    QRadioButton *res4 = panel.options.at(Option::Res4);
    QTest::mouseClick(res4, Qt::LeftButton);
    QVERIFY(res4->isChecked());
    if (connected) {
        // The setting, then after half a second the read-back that asks for it.
        QVERIFY(unit.waitForLineCount(2));
        const QList<QByteArray> lines = unit.receivedBytes();
        QCOMPARE(lines.at(0), QByteArray("@0R4\r"));
        QVERIFY(lines.contains(QByteArray("@0VR\r")));
        QVERIFY(bench.recorder.messages.isEmpty());
    } else {
        QCOMPARE(bench.recorder.messages.size(), 1);
        QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
        QCOMPARE(bench.recorder.messages[0].text, notConnectedText());
        QTest::qWait(100);
        QVERIFY(unit.received().isEmpty());
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
