// Esc in the main window: the shown panel's Hard Limit line, exactly as its
// button sends it, with and without a connection; a menu or a dialog that is
// open takes Esc first, and nothing is sent.

#include "DeviceServer.h"
#include "UnitSimProcess.h"
#include "Workbench.h"

#include "ui/AxisDialogs.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace ktv;
using namespace ktv::test;

namespace {

bool staysQuiet(const UnitSimProcess &unit, int count, int quietMs = 300)
{
    QTest::qWait(quietMs);
    return unit.received().size() == count;
}

// The window as the operator has it: shown, active, the panel on top.
bool showPanel(Workbench &bench, Model model)
{
    bench.window->SSTab1()->setCurrentIndex(tabIndex(model));
    bench.window->show();
    bench.window->activateWindow();
    return QTest::qWaitForWindowActive(bench.window.get());
}

} // namespace

class TestHardLimitKey : public QObject
{
    Q_OBJECT
  private slots:
    void connectedSendsAtConnectionRate();
    void closedPortUsesThePanelsStopSettings_data();
    void closedPortUsesThePanelsStopSettings();
    void openMenuOrDialogTakesEscFirst();
    void overANetworkLine();
};

// 28800 is no stop's fixed rate: the unit hears the line at the connection's.
void TestHardLimitKey::connectedSendsAtConnectionRate()
{
    UnitOnLine rig(Model::VELD30, 28800);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QVERIFY(showPanel(bench, Model::VELD30));
    rig.unit.clearRecord();

    QTest::keyClick(bench.window.get(), Qt::Key_Escape);
    QVERIFY(rig.unit.waitForLineCount(1));
    QVERIFY(staysQuiet(rig.unit, 1));
    const QList<ReceivedLine> lines = rig.unit.received();
    QCOMPARE(lines[0].bytes, QByteArray("@0H\r"));
    QCOMPARE(lines[0].baud, 28800);
    QVERIFY(bench.link.PortOpen());
    QVERIFY(bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(bench.panel(Model::VELD30).motion[2]->toolTip(),
             QStringLiteral("Hard Limit: stops the motor at once (Esc)"));
}

void TestHardLimitKey::closedPortUsesThePanelsStopSettings_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("address");
    QTest::newRow("KTRA10 at 9600") << Model::KTRA10 << 9600 << "0";
    // KTRA30's soft stop runs at 38400: the key is the hard one.
    QTest::newRow("KTRA30 at 9600") << Model::KTRA30 << 9600 << "0";
    QTest::newRow("VELD30 at 38400, address 12") << Model::VELD30 << 38400 << "12";
}

void TestHardLimitKey::closedPortUsesThePanelsStopSettings()
{
    QFETCH(Model, model);
    QFETCH(int, rate);
    QFETCH(QString, address);
    UnitSimOptions options;
    options.baud = rate;
    options.address = address.toInt();
    UnitSimProcess unit(options);
    QVERIFY(unit.start());
    Workbench bench(unit.devicePath());
    bench.session.LoadConfiguration();
    bench.state.AxisAddress = address;
    bench.state.SelectedProfile = QStringLiteral("1");
    QVERIFY(showPanel(bench, model));
    // The focus in an entry box does not keep Esc from the window.
    bench.panel(model).boxes.at(ParamKey::Accel)->setFocus();

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(unit.waitForLineCount(1));
    QVERIFY(staysQuiet(unit, 1));
    const QList<ReceivedLine> lines = unit.received();
    QCOMPARE(lines[0].bytes, "@" + address.toLatin1() + "H\r");
    QCOMPARE(lines[0].baud, rate);
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestHardLimitKey::openMenuOrDialogTakesEscFirst()
{
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.session.LoadConfiguration();
    bench.state.AxisAddress = QStringLiteral("0");
    QVERIFY(showPanel(bench, Model::VELD30));

    auto *setup = bench.find<QMenu>(QStringLiteral("mnuSetup"));
    QVERIFY(setup);
    QTest::keyClick(bench.window.get(), Qt::Key_E, Qt::AltModifier);
    QTRY_COMPARE(QApplication::activePopupWidget(), setup);
    QTest::keyClick(setup, Qt::Key_Escape);
    QTRY_VERIFY(!setup->isVisible());

    AxisSelectDialog *dialog = bench.window->axisSelectDialog();
    bench.window->openAxisSelect();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!dialog->isVisible());

    QVERIFY(staysQuiet(rig.unit, 0));
    QVERIFY(!bench.link.PortOpen());
    // Closing the dialog runs its read-back, which finds no unit: that is
    // the dialog's own message, not a stop.
    QCOMPARE(bench.recorder.texts(),
             QStringList{QStringLiteral(
                 "There in no unit connected!  \r\n\r\nA unit must be ONLINE before you can send "
                 "any information. \r\nGo to the Setup Menu to configure the Com Port and "
                 "CONNECT to the unit.")});
}

// COM 1 at a device server on the network: Esc goes out at once, at the
// connection's rate (the goal is 0.1 s; the bound here is loose for busy
// machines).
void TestHardLimitKey::overANetworkLine()
{
    UnitOnLine rig(Model::VELD30, 28800);
    QVERIFY(rig.started);
    DeviceServer server(DeviceServer::Kind::Rfc2217, rig.unit.devicePath());
    QVERIFY2(server.start(), qPrintable(server.log()));
    Workbench bench(server.url());
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QVERIFY(showPanel(bench, Model::VELD30));
    rig.unit.clearRecord();
    QElapsedTimer clock;
    clock.start();

    QTest::keyClick(bench.window.get(), Qt::Key_Escape);

    QVERIFY(rig.unit.waitForLineCount(1));
    const QList<ReceivedLine> lines = rig.unit.received();
    QCOMPARE(lines[0].bytes, QByteArray("@0H\r"));
    QCOMPARE(lines[0].baud, 28800);
    const double seconds = lines[0].t - clock.msecsSinceReference() / 1000.0;
    QVERIFY2(seconds < 0.5, qPrintable(QString::number(seconds)));
    QVERIFY(staysQuiet(rig.unit, 1));
}

QTEST_MAIN(TestHardLimitKey)
#include "tst_hardlimitkey.moc"
