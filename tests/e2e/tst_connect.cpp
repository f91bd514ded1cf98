// Connect, Disconnect, the communication settings dialog and the store
// behind it, against the simulated unit: the status and the Connect button
// during a scan, ports that cannot be opened, units that do not answer,
// stores that cannot be read or written, and a line that dies under a
// connected unit.

#include "DeviceServer.h"
#include "Texts.h"
#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"
#include "ui/Panel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSerialPort>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <memory>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

Q_DECLARE_METATYPE(ktv::Model)

namespace {

const QString SettingsChangedText = QStringLiteral(
    "Changes will take effect the next time you connect.  To reconnect, click the Connect button "
    "or choose Connect from the Setup menu.  This will disconnect the unit and the program will "
    "attempt to reconnect with the new settings.");

QString openFailedText(int port)
{
    return QStringLiteral("Error Opening Com Port %1 - The com port is already open by another "
                          "device (mouse, modem, etc.) or it does not exist.")
        .arg(port);
}

const QColor Blue(0, 0, 255);
const QColor Red(255, 0, 0);

QColor statusColour(const Workbench &bench)
{
    return bench.window->lblConnected()->palette().color(QPalette::WindowText);
}

bool allTabsAvailable(const Workbench &bench)
{
    for (int i = 0; i < ModelCount; ++i) {
        if (!bench.window->SSTab1()->isTabEnabled(i))
            return false;
    }
    return true;
}

// The third field of the first record of "Main Table", read as the store's
// own reader would: by position.
QVariant storedComPort(const QString &path)
{
    const QString name = QUuid::createUuid().toString();
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT * FROM \"Main Table\" ORDER BY rowid LIMIT 1")) &&
                q.next())
                value = q.value(2);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

// Replaces the workbench's store by one with the given port and port map.
bool replaceStore(Workbench &bench, const QVariant &comPort, const QMap<int, QString> &map)
{
    return QFile::remove(bench.storePath) && writeStore(bench.storePath, comPort, map);
}

// Reaches the modal settings dialog for one opening; cleared on scope exit.
struct SettingsHook
{
    explicit SettingsHook(std::function<void(CommSettingsDialog &)> hook)
    {
        setCommSettingsHook(std::move(hook));
    }
    ~SettingsHook() { setCommSettingsHook({}); }
};

enum class Trigger { Button, Menu };

void pressConnectBy(Workbench &bench, Trigger trigger)
{
    if (trigger == Trigger::Button)
        bench.window->cmdConnect()->click();
    else
        bench.window->mnuConnect()->trigger();
}

// What the operator sees of the connection, taken at one moment.
struct StatusSnapshot
{
    QString text;
    QColor colour;
    bool connectEnabled = false;
    bool waitCursor = false;
    bool versionHidden = false;
    bool taken = false;
};

StatusSnapshot snapshot(const Workbench &bench)
{
    return {bench.window->lblConnected()->text(),         statusColour(bench),
            bench.window->cmdConnect()->isEnabled(),      isWaitCursorShown(),
            bench.window->lblVersionNumber()->isHidden(), true};
}

} // namespace

class TestConnect : public QObject
{
    Q_OBJECT
  private slots:
    void connectWhileConnectedScansAgain_data();
    void connectWhileConnectedScansAgain();
    void portHeldByAnotherProgram_data();
    void portHeldByAnotherProgram();
    void noUnitAnswers();
    void disconnectWhenNotConnectedChangesNothing();
    void portOpenedByTheDefineDialog();
    void disconnectThenPanelAction_data();
    void disconnectThenPanelAction();
    void settingsDialogOutcome_data();
    void settingsDialogOutcome();
    void storedPortUsedByNextConnectAndRestart();
    void storeHoldingZero();
    void storeWriteFails();
    void brokenStoreAtStartUp_data();
    void brokenStoreAtStartUp();
    void lineLostWhileConnected_data();
    void lineLostWhileConnected();
    void connectsThroughADeviceServer();
};

void TestConnect::connectWhileConnectedScansAgain_data()
{
    QTest::addColumn<int>("trigger");
    QTest::newRow("Connect button") << int(Trigger::Button);
    QTest::newRow("Setup, Connect") << int(Trigger::Menu);
}

void TestConnect::connectWhileConnectedScansAgain()
{
    QFETCH(int, trigger);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(statusColour(bench), Blue);
    rig.unit.clearRecord();

    // Inside the first half-second wait of the scan.
    StatusSnapshot during;
    bool connectedDuring = true;
    bool tabsDuring = false;
    QTimer::singleShot(300, bench.window.get(), [&] {
        during = snapshot(bench);
        connectedDuring = bench.state.UnitConnected;
        tabsDuring = allTabsAvailable(bench);
    });
    // Every 20 ms of the scan and its read-back: NOT Connected shows no version.
    QStringList versionsNotConnected;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (const StatusSnapshot now = snapshot(bench); now.colour == Red && !now.versionHidden)
            versionsNotConnected << bench.window->lblVersionNumber()->text();
    });
    watch.start(20);
    pressConnectBy(bench, Trigger(trigger));
    watch.stop();

    QVERIFY(during.taken);
    QCOMPARE(during.text, QStringLiteral("The Unit is NOT Connected"));
    QCOMPARE(during.colour, Red);
    QVERIFY(during.versionHidden);
    QCOMPARE(versionsNotConnected, QStringList());
    QVERIFY(!during.connectEnabled);
    QVERIFY(during.waitCursor);
    QVERIFY(!connectedDuring);
    QVERIFY(tabsDuring);

    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is Connected"));
    QCOMPARE(statusColour(bench), Blue);
    QVERIFY(!bench.window->lblVersionNumber()->isHidden());
    QCOMPARE(bench.window->lblVersionNumber()->text(),
             QStringLiteral("Version: KTRA20, Revision 1.07"));
    QVERIFY(bench.window->cmdConnect()->isEnabled());
    QVERIFY(!isWaitCursorShown());
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA20));
    // Set after the scan: the next read-back loads the entry boxes.
    QVERIFY(bench.window->session().profileUpdate());
    QCOMPARE(rig.unit.receivedAt(9600), Exchange + Ktra20Readback);
    QCOMPARE(rig.unit.received().size(), Exchange.size() + Ktra20Readback.size());
}

void TestConnect::portHeldByAnotherProgram_data()
{
    QTest::addColumn<int>("trigger");
    // Disconnect makes every tab available.
    QTest::addColumn<bool>("droppedBySettings");
    QTest::newRow("Connect button after Disconnect") << int(Trigger::Button) << false;
    QTest::newRow("Setup, Connect after Disconnect") << int(Trigger::Menu) << false;
}

void TestConnect::portHeldByAnotherProgram()
{
    QFETCH(int, trigger);
    QFETCH(bool, droppedBySettings);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    if (droppedBySettings) {
        SettingsHook hook([](CommSettingsDialog &d) { d.close(); });
        bench.window->openCommSettings();
    } else {
        bench.window->pressDisconnect();
    }
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QList<bool> tabsBefore;
    for (int i = 0; i < ModelCount; ++i)
        tabsBefore << bench.window->SSTab1()->isTabEnabled(i);
    QCOMPARE(tabsBefore.count(true), droppedBySettings ? 1 : ModelCount);
    QSerialPort other;
    other.setPortName(rig.unit.devicePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    rig.unit.clearRecord();
    const QByteArray storeBefore = fileBytes(bench.storePath);

    StatusSnapshot atMessage;
    bench.recorder.onMessage = [&](const RecordedMessage &) { atMessage = snapshot(bench); };
    pressConnectBy(bench, Trigger(trigger));

    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[0].text, openFailedText(1));
    // The message comes while the attempt is still on.
    QVERIFY(!atMessage.connectEnabled);
    QVERIFY(atMessage.waitCursor);
    QVERIFY(bench.window->cmdConnect()->isEnabled());
    QVERIFY(!isWaitCursorShown());
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is NOT Connected"));
    QCOMPARE(statusColour(bench), Red);
    // No identification ran, so the tabs are as they were.
    for (int i = 0; i < ModelCount; ++i)
        QCOMPARE(bench.window->SSTab1()->isTabEnabled(i), tabsBefore[i]);
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QVERIFY(other.isOpen());
}

// The connected unit is swapped for one that never answers, on the same line.
void TestConnect::noUnitAnswers()
{
    QTemporaryDir lineDir;
    QVERIFY(lineDir.isValid());
    const QString line = lineDir.filePath(QStringLiteral("line"));
    UnitSimProcess first(unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), line}));
    QVERIFY(first.start());
    Workbench bench(line);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    bench.window->pressDisconnect();
    first.terminate();
    UnitSimProcess silent(unitOf(
        Model::KTRA20, 9600,
        {QStringLiteral("--link"), line, QStringLiteral("--mode"), QStringLiteral("silent")}));
    QVERIFY(silent.start());
    const QByteArray storeBefore = fileBytes(bench.storePath);

    QElapsedTimer clock;
    clock.start();
    bench.window->pressConnect();
    const qint64 elapsed = clock.elapsed();

    QVERIFY2(elapsed >= 6000 && elapsed < 8000, qPrintable(QString::number(elapsed)));
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[0].text, DidNotConnectText);
    for (int rate : {9600, 28800, 38400, 115200})
        QCOMPARE(silent.receivedAt(rate), Exchange);
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(statusColour(bench), Red);
    QVERIFY(allTabsAvailable(bench));
    QVERIFY(bench.window->cmdConnect()->isEnabled());
    QVERIFY(!isWaitCursorShown());
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

void TestConnect::disconnectWhenNotConnectedChangesNothing()
{
    Workbench bench(QStringLiteral("/nonexistent/ktv-line"));
    bench.load(); // every open fails at once
    QVERIFY(!bench.state.UnitConnected);
    bench.recorder.messages.clear();
    bench.window->SSTab1()->setCurrentIndex(tabIndex(Model::VELD10));
    bench.window->SSTab1()->setTabEnabled(tabIndex(Model::KTRA30), false);
    const QString text = bench.window->lblConnected()->text();

    bench.window->pressDisconnect();
    bench.window->mnuDisconnect()->trigger();

    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(bench.window->lblConnected()->text(), text);
    QCOMPARE(statusColour(bench), Red);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::VELD10));
    QVERIFY(!bench.window->SSTab1()->isTabEnabled(tabIndex(Model::KTRA30)));
    QVERIFY(!bench.link.PortOpen());
}

// Not connected, the define dialog has opened the port for its question:
// Disconnect has nothing to drop; Connect closes the dialog and the port it
// opened, then connects.
void TestConnect::portOpenedByTheDefineDialog()
{
    UnitOnLine rig(Model::VELD30);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    bench.window->pressDisconnect();
    QVERIFY(!bench.link.PortOpen());
    bench.window->openAxisDefine();
    QVERIFY(bench.link.PortOpen());
    rig.unit.clearRecord();

    bench.window->mnuDisconnect()->trigger();
    QVERIFY(bench.link.PortOpen());
    QVERIFY(bench.recorder.messages.isEmpty());

    // Connect closes the dialog without sending anything, and with it the
    // port it opened; then it finds the unit.
    bench.window->pressConnect();
    QVERIFY(!bench.window->axisDefineDialog()->isVisible());
    QVERIFY(bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
    QVERIFY(bench.window->cmdConnect()->isEnabled());
    QVERIFY(!isWaitCursorShown());
    const QList<QByteArray> heard = rig.unit.receivedBytes();
    QVERIFY(!heard.isEmpty());
    for (const QByteArray &line : heard)
        QVERIFY2(!line.startsWith("@~"), line.constData());
}

void TestConnect::disconnectThenPanelAction_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<QString>("action");
    QTest::newRow("Verify Parameters, after the menu entry") << true << "verify";
    QTest::newRow("Begin Motion") << false << "go";
    QTest::newRow("Send Accel/Decel") << false << "send";
    QTest::newRow("analog speed ON, after the menu entry") << true << "option";
    QTest::newRow("profile 2") << false << "profile";
}

void TestConnect::disconnectThenPanelAction()
{
    QFETCH(bool, byMenu);
    QFETCH(QString, action);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    Panel &panel = bench.panel(Model::KTRA20);
    const QString accelShown = panel.info.at(panel.entry().infoIndex(Field::Accel))->text();
    QCOMPARE(accelShown, QStringLiteral("Acceleration: 10"));
    rig.unit.clearRecord();

    if (byMenu)
        bench.window->mnuDisconnect()->trigger();
    else
        bench.window->pressDisconnect();
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is NOT Connected"));
    QCOMPARE(statusColour(bench), Red);
    QVERIFY(bench.window->lblVersionNumber()->isHidden());
    QVERIFY(allTabsAvailable(bench));
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA20));
    QCOMPARE(panel.info.at(panel.entry().infoIndex(Field::Accel))->text(), accelShown);
    QVERIFY(bench.recorder.messages.isEmpty());

    if (action == QLatin1String("verify"))
        bench.window->pressVerify(Model::KTRA20);
    else if (action == QLatin1String("go"))
        bench.window->pressGo(Model::KTRA20);
    else if (action == QLatin1String("send"))
        bench.window->pressSend(Model::KTRA20, ParamKey::Accel);
    else if (action == QLatin1String("option"))
        bench.window->selectOption(Model::KTRA20, Option::AnalogOn);
    else
        bench.window->selectProfile(Model::KTRA20, 2);
    QTest::qWait(300); // a line or a second message would have come by now

    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
    QCOMPARE(bench.recorder.messages[0].text, NotConnectedText);
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("1"));
    QCOMPARE(bench.window->session().times(), 0);
}

void TestConnect::settingsDialogOutcome_data()
{
    QTest::addColumn<int>("choose"); // list row the operator picks; -1 leaves the list alone
    QTest::addColumn<QString>("close");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("informed");
    QTest::addColumn<bool>("connectedAfter");
    QTest::addColumn<int>("portAfter");

    QTest::newRow("COM 3 untouched and OK") << -1 << "ok" << 3 << false << true << 3;
    QTest::newRow("COM 3 chosen again and OK") << 2 << "ok" << 3 << false << true << 3;
    QTest::newRow("COM 5 and OK") << 4 << "ok" << 5 << true << false << 5;
    QTest::newRow("COM 5 then Cancel") << 4 << "cancel" << 3 << false << true << 3;
    // The close box does what Cancel does.
    QTest::newRow("COM 5 then the close box") << 4 << "closebox" << 3 << false << true << 3;
}

// Connected on COM 3; the dialog opens on it and ends in one of its ways.
void TestConnect::settingsDialogOutcome()
{
    QFETCH(int, choose);
    QFETCH(QString, close);
    QFETCH(int, stored);
    QFETCH(bool, informed);
    QFETCH(bool, connectedAfter);
    QFETCH(int, portAfter);
    UnitSimProcess unit(unitOf(Model::KTRA20));
    QVERIFY(unit.start());
    Workbench bench;
    QVERIFY(replaceStore(bench, 3, {{3, unit.devicePath()}}));
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.state.ComPortNumber, 3);
    unit.clearRecord();
    const QByteArray storeBefore = fileBytes(bench.storePath);

    int shownRow = -2;
    QString shownText;
    int oldPort = -2;
    QString device;
    bool dialogRan = false;
    SettingsHook hook([&](CommSettingsDialog &d) {
        dialogRan = true;
        shownRow = d.lstComPorts()->currentRow();
        shownText =
            d.lstComPorts()->currentItem() ? d.lstComPorts()->currentItem()->text() : QString();
        oldPort = d.OldComPort;
        device = d.deviceLabel()->text();
        if (choose >= 0)
            d.lstComPorts()->setCurrentRow(choose);
        if (close == QLatin1String("ok"))
            d.pressOK();
        else if (close == QLatin1String("cancel"))
            d.pressCancel();
        else
            d.close();
    });
    bench.window->mnuCommSettings()->trigger();

    QVERIFY(dialogRan);
    QCOMPARE(shownRow, 2);
    QCOMPARE(shownText, QStringLiteral("COM 3"));
    QCOMPARE(oldPort, 2);
    QVERIFY2(device.contains(unit.devicePath()), qPrintable(device));

    if (informed) {
        QCOMPARE(bench.recorder.messages.size(), 1);
        QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Information);
        QCOMPARE(bench.recorder.messages[0].text, SettingsChangedText);
    } else {
        QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    }
    if (stored == 3)
        QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QCOMPARE(storedComPort(bench.storePath).toInt(), stored);
    QCOMPARE(bench.state.ComPortNumber, portAfter);
    QCOMPARE(bench.state.UnitConnected, connectedAfter);
    QCOMPARE(bench.link.PortOpen(), connectedAfter);
    QCOMPARE(statusColour(bench), connectedAfter ? Blue : Red);
    // The tabs stay as the connection left them.
    QVERIFY(!bench.window->SSTab1()->isTabEnabled(tabIndex(Model::KTRA10)));
    QCOMPARE(unit.receivedBytes(), QList<QByteArray>{});
}

// COM 5 stored in the dialog: the next Connect opens COM 5, and so does the
// next start of the program.
void TestConnect::storedPortUsedByNextConnectAndRestart()
{
    UnitSimProcess com3(unitOf(Model::KTRA20));
    UnitSimProcess com5(unitOf(Model::VELD20));
    QVERIFY(com3.start());
    QVERIFY(com5.start());
    Workbench bench;
    QVERIFY(replaceStore(bench, 3, {{3, com3.devicePath()}, {5, com5.devicePath()}}));
    bench.load();
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA20));
    com3.clearRecord();

    SettingsHook hook([](CommSettingsDialog &d) {
        d.lstComPorts()->setCurrentRow(4);
        d.pressOK();
    });
    bench.window->openCommSettings();
    QCOMPARE(bench.recorder.texts(), QStringList{SettingsChangedText});
    bench.recorder.messages.clear();

    bench.window->pressConnect();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::VELD20));
    QCOMPARE(com5.receivedAt(9600).mid(0, 3), Exchange);
    QCOMPARE(com3.receivedBytes(), QList<QByteArray>{});
    bench.window->pressDisconnect();

    UnitSession session(bench.storePath);
    SharedState &state = session.state;
    SerialLink &link = session.link;
    {
        MainWindow restarted(session);
        MessageRecorder restartedMessages(restarted.toolkit());
        restarted.load();
        QVERIFY2(restartedMessages.messages.isEmpty(),
                 qPrintable(restartedMessages.texts().join(" | ")));
        QCOMPARE(state.ComPortNumber, 5);
        QVERIFY(state.UnitConnected);
        QCOMPARE(restarted.SSTab1()->currentIndex(), tabIndex(Model::VELD20));
        link.closePort();
    }
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

void TestConnect::storeHoldingZero()
{
    UnitSimProcess unit(unitOf(Model::KTRA20));
    QVERIFY(unit.start());
    Workbench bench(unit.devicePath(), 0);
    bench.load(); // no port 0: every open fails at once
    QCOMPARE(bench.recorder.texts(), QStringList{DidNotConnectText});
    bench.recorder.messages.clear();
    const QByteArray storeBefore = fileBytes(bench.storePath);

    int shownRow = -2;
    int oldPort = -2;
    SettingsHook hook([&](CommSettingsDialog &d) {
        shownRow = d.lstComPorts()->currentRow();
        oldPort = d.OldComPort;
        d.pressOK();
    });
    bench.window->openCommSettings();

    QCOMPARE(shownRow, -1);
    QCOMPARE(oldPort, -1);
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(bench.state.ComPortNumber, 0);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QCOMPARE(unit.receivedBytes(), QList<QByteArray>{});
}

// The tests may run as root, which file modes do not stop; a second
// connection holding an exclusive lock makes the store unwritable for anyone.
void TestConnect::storeWriteFails()
{
    UnitSimProcess unit(unitOf(Model::KTRA20));
    QVERIFY(unit.start());
    Workbench bench;
    QVERIFY(replaceStore(bench, 3, {{3, unit.devicePath()}, {5, "/nonexistent/ktv-com5"}}));
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    unit.clearRecord();
    const QByteArray storeBefore = fileBytes(bench.storePath);

    const QString lockName = QUuid::createUuid().toString();
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lockName);
        locker.setDatabaseName(bench.storePath);
        QVERIFY(locker.open());
        QSqlQuery lock(locker);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));

        SettingsHook hook([](CommSettingsDialog &d) {
            d.lstComPorts()->setCurrentRow(4);
            d.pressOK();
        });
        bench.window->openCommSettings();

        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        locker.close();
    }
    QSqlDatabase::removeDatabase(lockName);

    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    const QString text = bench.recorder.messages[0].text;
    QVERIFY2(text.contains(bench.storePath), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("locked")), qPrintable(text));
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QCOMPARE(storedComPort(bench.storePath).toInt(), 3);
    QCOMPARE(bench.state.ComPortNumber, 5);
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());

    // The new port is the one the next Connect tries.
    bench.recorder.messages.clear();
    bench.window->pressConnect();
    QCOMPARE(bench.recorder.texts(), QStringList{openFailedText(5)});
    QCOMPARE(unit.receivedBytes(), QList<QByteArray>{});
}

void TestConnect::brokenStoreAtStartUp_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("not a database") << "garbage";
    QTest::newRow("no Main Table") << "notable";
    QTest::newRow("Main Table without a record") << "norecord";
    QTest::newRow("port field holds text") << "text";
    QTest::newRow("port field holds NULL") << "null";
}

// The store is reported first; start-up goes on with no port and says the
// unit did not connect. The unit the port map names hears nothing.
void TestConnect::brokenStoreAtStartUp()
{
    QFETCH(QString, kind);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    const QString path = bench.storePath;
    const QMap<int, QString> map = {{1, rig.unit.devicePath()}};
    QVERIFY(QFile::remove(path));
    if (kind == QLatin1String("garbage")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("This is a note, not a database.\n").repeated(64));
    } else if (kind == QLatin1String("text")) {
        QVERIFY(writeStore(path, QStringLiteral("abc"), map));
    } else if (kind == QLatin1String("null")) {
        QVERIFY(writeStore(path, QVariant(), map));
    } else if (kind != QLatin1String("missing")) {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            if (kind == QLatin1String("notable"))
                QVERIFY(q.exec(QStringLiteral("CREATE TABLE Other (A, B, C)")));
            else
                QVERIFY(q.exec(QStringLiteral(
                    "CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name TEXT, "
                    "ComPort INTEGER)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    const bool existed = QFile::exists(path);
    const QByteArray before = fileBytes(path);

    QElapsedTimer clock;
    clock.start();
    bench.load();
    QVERIFY(clock.elapsed() < 3000);

    QCOMPARE(bench.recorder.messages.size(), 2);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QVERIFY2(bench.recorder.messages[0].text.contains(path),
             qPrintable(bench.recorder.messages[0].text));
    QCOMPARE(bench.recorder.messages[1].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[1].text, DidNotConnectText);
    QCOMPARE(bench.state.ComPortNumber, 0);
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(statusColour(bench), Red);
    QCOMPARE(QFile::exists(path), existed);
    QCOMPARE(fileBytes(path), before);
    QTest::qWait(100); // a line would have come by now
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
}

void TestConnect::lineLostWhileConnected_data()
{
    QTest::addColumn<QString>("action");
    // A Send or an option presses Verify Parameters after its wait, as the
    // operator would, and that press finds no unit.
    QTest::addColumn<bool>("notConnectedAfter");
    QTest::newRow("while nothing runs") << "idle" << false;
    QTest::newRow("during a read-back run") << "verify" << false;
    QTest::newRow("during the wait after a Send") << "send" << true;
    QTest::newRow("during the wait after an option") << "option" << true;
}

// The unit's side of the line vanishes while an action waits on it.
void TestConnect::lineLostWhileConnected()
{
    QFETCH(QString, action);
    QFETCH(bool, notConnectedAfter);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    const QByteArray storeBefore = fileBytes(bench.storePath);

    QElapsedTimer clock;
    clock.start();
    qint64 killedAt = -1;
    QTimer::singleShot(250, bench.window.get(), [&] {
        rig.unit.kill();
        killedAt = clock.elapsed();
    });
    if (action == QLatin1String("idle"))
        QVERIFY(waitUntil([&] { return !bench.recorder.messages.isEmpty(); }, 3000));
    else if (action == QLatin1String("verify"))
        bench.window->pressVerify(Model::KTRA20);
    else if (action == QLatin1String("send"))
        bench.window->pressSend(Model::KTRA20, ParamKey::Accel);
    else
        bench.window->selectOption(Model::KTRA20, Option::AnalogOn);
    const qint64 endedAt = clock.elapsed();
    QTest::qWait(200); // nothing more is shown afterwards

    QVERIFY(killedAt >= 0);
    // Whatever is left of the action runs its waits to their own ends only:
    // at most a full read-back of unanswered queries.
    QVERIFY2(endedAt - killedAt < 2000, qPrintable(QString::number(endedAt - killedAt)));
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is NOT Connected"));
    QCOMPARE(statusColour(bench), Red);
    QVERIFY(bench.window->lblVersionNumber()->isHidden());
    QVERIFY(allTabsAvailable(bench));
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.window->cmdConnect()->isEnabled());
    QVERIFY(bench.panel(Model::KTRA20).verify->isEnabled());
    QVERIFY(bench.panel(Model::KTRA20).go()->isEnabled());
    QVERIFY(!isWaitCursorShown());

    QVERIFY(!bench.recorder.messages.isEmpty());
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QVERIFY2(bench.recorder.messages[0].text.startsWith(
                 QLatin1String("The connection to the unit was lost")),
             qPrintable(bench.recorder.messages[0].text));
    QCOMPARE(bench.recorder.messages.size(), notConnectedAfter ? 2 : 1);
    if (notConnectedAfter) {
        QCOMPARE(bench.recorder.messages[1].icon, MessageIcon::None);
        QCOMPARE(bench.recorder.messages[1].text, NotConnectedText);
    }
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

// COM 1 mapped to a device server on the network: the window's scan sets
// each rate over RFC 2217 and finds the unit at 28800, as on a local port.
void TestConnect::connectsThroughADeviceServer()
{
    UnitOnLine rig(Model::KTRA20, 28800);
    QVERIFY(rig.started);
    DeviceServer server(DeviceServer::Kind::Rfc2217, rig.unit.devicePath());
    QVERIFY2(server.start(), qPrintable(server.log()));
    Workbench bench(server.url());

    bench.load();

    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is Connected"));
    QCOMPARE(bench.window->lblVersionNumber()->text(),
             QStringLiteral("Version: KTRA20, Revision 1.07"));
    QCOMPARE(rig.unit.receivedAt(28800), Exchange + Ktra20Readback);
    QCOMPARE(bench.link.deviceInUse(), server.url());
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
