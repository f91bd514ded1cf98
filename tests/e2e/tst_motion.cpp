// Begin Motion, Soft Limit and Hard Limit on every panel: the line each puts
// on the wire, at which rate, with and without a connected unit, and what
// happens when the port cannot be opened.

#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "session/SessionTexts.h"

#include <QPushButton>
#include <QSerialPort>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

namespace {

const char *const MotionNames[] = {"Begin Motion", "Soft Limit", "Hard Limit"};

// The rate a stop opens a closed port with.
int fixedStopRate(Model model, frame::Motion motion)
{
    if (model == Model::KTRA30 && motion == frame::Motion::StopSoft)
        return 38400;
    if (model == Model::VELD30 && motion == frame::Motion::StopAll)
        return 38400;
    return 9600;
}

QByteArray expectedLine(const QString &address, frame::Motion motion, const QString &profile)
{
    const char *command[] = {"G", "S", "H"};
    QByteArray line = "@" + address.toLatin1() + command[static_cast<int>(motion)];
    if (motion == frame::Motion::Go)
        line += profile.toLatin1();
    return line + '\r';
}

QPushButton *motionButton(Workbench &bench, Model model, frame::Motion motion)
{
    return bench.panel(model).motion[static_cast<int>(motion)];
}

// The store's COM port and port map, read as the load step reads them, for a
// window that has not scanned (nobody connected, the port closed).
void readStoreOnly(Workbench &bench)
{
    bench.session.LoadConfiguration();
    bench.state.AxisAddress = QStringLiteral("0");
    bench.state.SelectedProfile = QStringLiteral("1");
}

// Nothing more arrives within this quiet time after the expected lines.
bool staysQuiet(const UnitSimProcess &unit, int count, int quietMs = 300)
{
    QTest::qWait(quietMs);
    return unit.received().size() == count;
}

void addModelMotionRows(bool stopsOnly)
{
    for (Model model : AllModels) {
        for (int m = stopsOnly ? 1 : 0; m < 3; ++m) {
            const auto motion = static_cast<frame::Motion>(m);
            QTest::addRow("%s %s", qPrintable(modelId(model)), MotionNames[m])
                << model << motion << fixedStopRate(model, motion);
        }
    }
}

} // namespace

class TestMotion : public QObject
{
    Q_OBJECT
  private slots:
    void connectedSendsAtConnectionRate_data();
    void connectedSendsAtConnectionRate();
    void notConnectedGoSaysSoAndSendsNothing_data();
    void notConnectedGoSaysSoAndSendsNothing();
    void notConnectedStopOpensSendsCloses_data();
    void notConnectedStopOpensSendsCloses();
    void stopAfterDisconnectUsesFixedRate();
    void profileCarriedIntoLaterConnection();
    void addressSentAsItStands_data();
    void addressSentAsItStands();
    void stopThatCannotOpenThePort_data();
    void stopThatCannotOpenThePort();
    void stopDuringReadBackGoesOutBetweenQueries();
    void writeToClosedPort();
};

void TestMotion::connectedSendsAtConnectionRate_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<frame::Motion>("motion");
    QTest::addColumn<int>("fixedRate");
    addModelMotionRows(false);
}

// A stop on an open port goes out at the connection's rate, whatever its
// fixed rate; 28800 is neither fixed rate, so the recorded rate tells which
// one was used. Begin Motion connects at 9600, the quickest scan.
void TestMotion::connectedSendsAtConnectionRate()
{
    QFETCH(Model, model);
    QFETCH(frame::Motion, motion);
    const int rate = motion == frame::Motion::Go ? 9600 : 28800;
    UnitOnLine rig(model, rate);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(model));
    rig.unit.clearRecord();

    motionButton(bench, model, motion)->click();
    QVERIFY(rig.unit.waitForLineCount(1));
    // Written and forgotten: no read-back follows, nothing else is sent.
    QVERIFY(staysQuiet(rig.unit, 1, motion == frame::Motion::Go ? 700 : 300));
    const QList<ReceivedLine> lines = rig.unit.received();
    QCOMPARE(lines[0].bytes, expectedLine(QStringLiteral("0"), motion, QStringLiteral("1")));
    QCOMPARE(lines[0].baud, rate);
    QVERIFY(bench.link.PortOpen());
    QCOMPARE(bench.link.baudRateInForce(), rate);
    QVERIFY(bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestMotion::notConnectedGoSaysSoAndSendsNothing_data()
{
    QTest::addColumn<Model>("model");
    for (Model model : AllModels)
        QTest::addRow("%s", qPrintable(modelId(model))) << model;
}

void TestMotion::notConnectedGoSaysSoAndSendsNothing()
{
    QFETCH(Model, model);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    readStoreOnly(bench);

    motionButton(bench, model, frame::Motion::Go)->click();
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
    QCOMPARE(bench.recorder.messages[0].text,
             QStringLiteral("There in no unit connected!  \r\n\r\nA unit must be ONLINE before "
                            "you can send any information. \r\nGo to the Setup Menu to configure "
                            "the Com Port and CONNECT to the unit."));
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(staysQuiet(rig.unit, 0));
}

void TestMotion::notConnectedStopOpensSendsCloses_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<frame::Motion>("motion");
    QTest::addColumn<int>("fixedRate");
    addModelMotionRows(true);
}

void TestMotion::notConnectedStopOpensSendsCloses()
{
    QFETCH(Model, model);
    QFETCH(frame::Motion, motion);
    QFETCH(int, fixedRate);
    UnitOnLine rig(Model::KTRA20, fixedRate);
    QVERIFY(rig.started);
    Workbench bench(rig);
    readStoreOnly(bench);

    motionButton(bench, model, motion)->click();
    QVERIFY(rig.unit.waitForLineCount(1));
    QVERIFY(staysQuiet(rig.unit, 1));
    const QList<ReceivedLine> lines = rig.unit.received();
    QCOMPARE(lines[0].bytes, expectedLine(QStringLiteral("0"), motion, QString()));
    QCOMPARE(lines[0].baud, fixedRate);
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
}

// A real session: connected at 9600, disconnected, then the KTRA30 soft stop
// opens the port at its own 38400 and goes to the start-up address.
void TestMotion::stopAfterDisconnectUsesFixedRate()
{
    UnitOnLine rig(Model::KTRA30);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    bench.window->pressDisconnect();
    QVERIFY(!bench.link.PortOpen());
    rig.unit.clearRecord();

    bench.window->pressStop(Model::KTRA30, frame::Motion::StopSoft);
    QVERIFY(rig.unit.waitForLineCount(1));
    QVERIFY(staysQuiet(rig.unit, 1));
    QCOMPARE(rig.unit.receivedAt(38400), QList<QByteArray>{"@0S\r"});
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
}

// The profile is one value for every panel and survives a new connection,
// also on a panel that offers only profiles 1 and 2.
void TestMotion::profileCarriedIntoLaterConnection()
{
    UnitOnLine ktra10(Model::KTRA10);
    QVERIFY(ktra10.started);
    UnitSimProcess ktra20; // a KTRA20 at 9600
    QVERIFY(ktra20.start());
    Workbench bench(ktra10);
    bench.load();
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA10));
    bench.window->selectProfile(Model::KTRA10, 4);
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("4"));

    bench.link.setPortMap({{1, ktra20.devicePath()}});
    bench.window->pressConnect();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA20));
    QVERIFY(ktra20.receivedBytes().contains(QByteArray("@0VA4\r")));
    ktra10.unit.clearRecord();
    ktra20.clearRecord();

    bench.find<QPushButton>("cmdGoKTRA20")->click();
    QVERIFY(ktra20.waitForLineCount(1));
    QVERIFY(staysQuiet(ktra20, 1));
    QCOMPARE(ktra20.receivedBytes(), QList<QByteArray>{"@0G4\r"});
    QVERIFY(ktra10.unit.received().isEmpty());
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestMotion::addressSentAsItStands_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("connected");
    QTest::newRow("12, connected") << "12" << true;
    QTest::newRow("07 keeps its zero, connected") << "07" << true;
    QTest::newRow("07 keeps its zero, stops without a unit") << "07" << false;
}

void TestMotion::addressSentAsItStands()
{
    QFETCH(QString, address);
    QFETCH(bool, connected);
    UnitOnLine rig(Model::KTRA10);
    QVERIFY(rig.started);
    Workbench bench(rig);
    if (connected)
        bench.load();
    else
        readStoreOnly(bench);
    QCOMPARE(bench.state.UnitConnected, connected);
    bench.state.AxisAddress = address;
    rig.unit.clearRecord();

    QList<QByteArray> expected;
    for (int m = connected ? 0 : 1; m < 3; ++m) {
        const auto motion = static_cast<frame::Motion>(m);
        motionButton(bench, Model::KTRA10, motion)->click();
        expected << expectedLine(address, motion, QStringLiteral("1"));
        QVERIFY(rig.unit.waitForLineCount(int(expected.size())));
    }
    QVERIFY(staysQuiet(rig.unit, int(expected.size())));
    QCOMPARE(rig.unit.receivedAt(9600), expected);
    QCOMPARE(bench.link.PortOpen(), connected);
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestMotion::stopThatCannotOpenThePort_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<frame::Motion>("motion");
    QTest::addColumn<bool>("held");
    QTest::newRow("KTRA10 Soft Limit, no such device")
        << Model::KTRA10 << frame::Motion::StopSoft << false;
    QTest::newRow("VELD30 Hard Limit, no such device")
        << Model::VELD30 << frame::Motion::StopAll << false;
    QTest::newRow("KTRA30 Soft Limit, line held by another program")
        << Model::KTRA30 << frame::Motion::StopSoft << true;
}

void TestMotion::stopThatCannotOpenThePort()
{
    QFETCH(Model, model);
    QFETCH(frame::Motion, motion);
    QFETCH(bool, held);
    UnitSimOptions options;
    options.baud = fixedStopRate(model, motion);
    UnitSimProcess unit(options);
    QVERIFY(unit.start());
    QSerialPort holder; // another program that has the line open
    if (held) {
        holder.setPortName(unit.devicePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
    }
    Workbench bench(held ? unit.devicePath() : QStringLiteral("/nonexistent/ktv-line"));
    readStoreOnly(bench);

    motionButton(bench, model, motion)->click();
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[0].text,
             QStringLiteral("Error Opening Com Port 1 - The com port is already open by another "
                            "device (mouse, modem, etc.) or it does not exist."));
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(staysQuiet(unit, 0));

    // The program carries on: once the line is free the same stop goes out.
    holder.close();
    bench.link.setPortMap({{1, unit.devicePath()}});
    bench.recorder.messages.clear();
    motionButton(bench, model, motion)->click();
    QVERIFY(unit.waitForLineCount(1));
    QCOMPARE(unit.receivedAt(options.baud),
             QList<QByteArray>{expectedLine(QStringLiteral("0"), motion, QString())});
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(bench.recorder.messages.isEmpty());
}

// A stop pressed while a read-back waits for a reply goes out at once, between
// two queries; Begin Motion is disabled for that time, the stops are not.
void TestMotion::stopDuringReadBackGoesOutBetweenQueries()
{
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    rig.unit.clearRecord();
    Panel &panel = bench.panel(Model::KTRA20);

    bool goEnabled = true;
    bool hardEnabled = false;
    QTimer::singleShot(300, [&] {
        goEnabled = panel.go()->isEnabled();
        hardEnabled = panel.motion[2]->isEnabled();
        panel.motion[2]->click();
    });
    panel.verify->click();
    QVERIFY(!goEnabled);
    QVERIFY(hardEnabled);

    QList<QByteArray> lines = rig.unit.receivedBytes();
    const qsizetype stop = lines.indexOf(QByteArray("@0H\r"));
    QVERIFY2(stop > 0 && stop < lines.size() - 1, qPrintable(QString::number(stop)));
    lines.removeAt(stop);
    QCOMPARE(lines, Ktra20Readback);
    QVERIFY(bench.link.PortOpen());
    QVERIFY(panel.go()->isEnabled());
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestMotion::writeToClosedPort()
{
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    readStoreOnly(bench);
    QVERIFY(!bench.link.write("@0G1\r"));
    // A sender that trusts the connected flag on a closed port writes nothing,
    // says so, and the program goes on.
    bench.state.UnitConnected = true;
    bench.window->pressGo(Model::KTRA10);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(bench.recorder.texts(),
             QStringList{QStringLiteral("The Begin Motion command did not go out: the serial line "
                                        "did not take \"@0G1\". The unit has not received it.")});
    QVERIFY(staysQuiet(rig.unit, 0));
}

QTEST_MAIN(TestMotion)
#include "tst_motion.moc"
