// The simulated unit seen from the program's side: a real QSerialPort on the
// pseudo-terminal the unit opened. Every other end-to-end test trusts what is
// checked here: that the unit hears only its own rate, answers like the unit it
// plays, and records what reached it.

#include "UnitSimProcess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTest>

using ktv::test::ReceivedLine;
using ktv::test::UnitSimOptions;
using ktv::test::UnitSimProcess;

namespace {

constexpr int kReplyTimeoutMs = 2000;
// With the reply already on the line, this much quiet means nothing else comes.
constexpr int kQuietMs = 150;

const QByteArray kKtra20Id = "KTRA20  1.07\r";

bool openLine(QSerialPort &port, const QString &path, int baud)
{
    port.setPortName(path);
    if (!port.setBaudRate(baud))
        return false;
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

bool send(QSerialPort &port, const QByteArray &bytes)
{
    return port.write(bytes) == bytes.size() && port.waitForBytesWritten(kReplyTimeoutMs);
}

// Reads until `size` bytes have come or the deadline passes.
QByteArray readAtLeast(QSerialPort &port, qsizetype size, int timeoutMs = kReplyTimeoutMs)
{
    QByteArray bytes = port.readAll();
    const QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < size && !deadline.hasExpired()) {
        if (port.waitForReadyRead(int(deadline.remainingTime())))
            bytes += port.readAll();
    }
    return bytes;
}

// Reads whatever comes until the line has been quiet for kQuietMs.
QByteArray drain(QSerialPort &port)
{
    QByteArray bytes = port.readAll();
    while (port.waitForReadyRead(kQuietMs))
        bytes += port.readAll();
    return bytes;
}

// Sends each line once the unit has recorded the one before, then collects
// every byte the unit sent back.
QByteArray exchange(UnitSimProcess &sim, QSerialPort &port, const QList<QByteArray> &lines)
{
    const qsizetype before = sim.received().size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!send(port, lines[i]) || !sim.waitForLineCount(int(before + i + 1)))
            return "<unit did not record line " + lines[i] + ">";
    }
    return drain(port);
}

// Notes when the port reports that its line has gone away.
struct LineLossWatch
{
    explicit LineLossWatch(QSerialPort &port)
    {
        QObject::connect(
            &port, &QSerialPort::errorOccurred, &port, [this](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError)
                    lost = true;
            });
    }
    bool lost = false;
};

double monotonicSeconds()
{
    QElapsedTimer clock;
    clock.start();
    return double(clock.msecsSinceReference()) / 1000.0;
}

} // namespace

class TestUnitSim : public QObject
{
    Q_OBJECT

  private slots:
    void identification_data();
    void identification();
    void answersOnlyAtItsRate_data();
    void answersOnlyAtItsRate();
    void exchange_data();
    void exchange();
    void recordFile();
    void rateChangeStartsNewRecord();
    void lineSurvivesReopen();
    void replyToClosedPortIsLost();
    void splitReply_data();
    void splitReply();
    void slowReply();
    void garbageReply();
    void floodThenReply();
    void vanishAfter();
    void killedUnitHangsUpLine();
};

void TestUnitSim::identification_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("revision");
    QTest::addColumn<QByteArray>("idReply");

    QTest::newRow("KTRA10") << "KTRA10"
                            << "1.07" << QByteArray("KTRA10  1.07\r");
    QTest::newRow("KTRA20") << "KTRA20"
                            << "1.07" << QByteArray("KTRA20  1.07\r");
    QTest::newRow("KTRA30") << "KTRA30"
                            << "2.00" << QByteArray("KTRA30  2.00\r");
    QTest::newRow("VELD10") << "VELD10"
                            << "1.10" << QByteArray("VELD10  1.10\r");
    QTest::newRow("VELD20") << "VELD20"
                            << "0.99" << QByteArray("VELD20  0.99\r");
    QTest::newRow("VELD30") << "VELD30"
                            << "1.07" << QByteArray("VELD30  1.07\r");
    QTest::newRow("VELD40 served by the VELD30 panel") << "VELD40"
                                                       << "3.01" << QByteArray("VELD40  3.01\r");
    QTest::newRow("VELD50") << "VELD50"
                            << "3.21" << QByteArray("VELD50  3.21\r");
    QTest::newRow("short revision") << "VELD20"
                                    << "1.1" << QByteArray("VELD20  1.1\r");
}

// The identification exchange as the program writes it: lone CR, "!", "$".
void TestUnitSim::identification()
{
    QFETCH(QString, model);
    QFETCH(QString, revision);
    QFETCH(QByteArray, idReply);

    UnitSimOptions options;
    options.model = model;
    options.revision = revision;
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    QCOMPARE(::exchange(sim, port, {"\r", "@0!\r", "@0$\r"}), "0\r" + idReply);
}

void TestUnitSim::answersOnlyAtItsRate_data()
{
    QTest::addColumn<int>("unitRate");
    QTest::addColumn<int>("lineRate");

    const QList<int> rates = {9600, 28800, 38400, 115200};
    for (int unitRate : rates) {
        for (int lineRate : rates) {
            QTest::addRow("unit %d, line %d", unitRate, lineRate) << unitRate << lineRate;
        }
    }
}

// The record's rate is what the kernel holds for the line, so a row with the
// line at 28800 also proves that the port really set that rate.
void TestUnitSim::answersOnlyAtItsRate()
{
    QFETCH(int, unitRate);
    QFETCH(int, lineRate);

    UnitSimOptions options;
    options.baud = unitRate;
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), lineRate), qPrintable(port.errorString()));

    const QByteArray reply = ::exchange(sim, port, {"@0$\r"});
    const QList<ReceivedLine> lines = sim.received();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].baud, lineRate);
    QCOMPARE(lines[0].bytes, QByteArray("@0$\r"));
    QCOMPARE(lines[0].answered, unitRate == lineRate);
    QCOMPARE(reply, unitRate == lineRate ? kKtra20Id : QByteArray());
}

void TestUnitSim::exchange_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("extraArgs");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("replies");

    const QStringList none;
    QTest::newRow("KTRA20 profile 1 acceleration is short")
        << "KTRA20" << 0 << "normal" << none << QList<QByteArray>{"@0VA1\r"} << QByteArray("10\r");
    QTest::newRow("KTRA10 profile 2 acceleration adds 100")
        << "KTRA10" << 0 << "normal" << none << QList<QByteArray>{"@0VA2\r"} << QByteArray("110\r");
    QTest::newRow("KTRA30 profile 1 parameters")
        << "KTRA30" << 0 << "normal" << none
        << QList<QByteArray>{"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VN1\r",
                             "@0VT1\r", "@0VL1\r", "@0VU1\r"}
        << QByteArray("10000\r500\r5000\r0\r50\r1000\r20000\r");
    QTest::newRow("VELD10 profile 4 parameters")
        << "VELD10" << 0 << "normal" << none
        << QList<QByteArray>{"@0VA4\r", "@0VB4\r", "@0VM4\r", "@0VN4\r",
                             "@0VT4\r", "@0VL4\r", "@0VU4\r"}
        << QByteArray("10300\r800\r5300\r300\r350\r1300\r20300\r");
    QTest::newRow("drive settings and error code at start")
        << "KTRA20" << 0 << "normal" << none
        << QList<QByteArray>{"@0V+\r", "@0VC\r", "@0VR\r", "@0VD\r", "@0VE\r", "@0!\r"}
        << QByteArray("1\r0\r8\r0\r0\r0\r");
    QTest::newRow("drive settings set and read back")
        << "KTRA10" << 0 << "normal" << none
        << QList<QByteArray>{"@0-\r",  "@0C1\r", "@0R16\r", "@0D1\r", "@0E1\r",
                             "@0V+\r", "@0VC\r", "@0VR\r",  "@0VD\r", "@0VE\r"}
        << QByteArray("0\r1\r16\r1\r1\r");
    QTest::newRow("drive settings switched back")
        << "KTRA10" << 0 << "normal" << none
        << QList<QByteArray>{"@0-\r",  "@0+\r",  "@0C1\r", "@0C0\r",
                             "@0R2\r", "@0V+\r", "@0VC\r", "@0VR\r"}
        << QByteArray("1\r0\r2\r");
    QTest::newRow("parameter stored for its profile only")
        << "VELD30" << 0 << "normal" << none
        << QList<QByteArray>{"@0M3_4321\r", "@0VM3\r", "@0VM1\r", "@0VM2\r"}
        << QByteArray("4321\r5000\r5100\r");
    QTest::newRow("parameter text stored as it came")
        << "VELD20" << 3 << "normal" << none
        << QList<QByteArray>{"@3B2_1000 \r", "@3VB2\r", "@3T1_1e3x\r", "@3VT1\r"}
        << QByteArray("1000 \r1e3x\r");
    QTest::newRow("empty parameter text")
        << "KTRA20" << 0 << "normal" << none << QList<QByteArray>{"@0U1_\r", "@0VU1\r"}
        << QByteArray("\r");
    QTest::newRow("motion and stops unanswered")
        << "KTRA20" << 0 << "normal" << none << QList<QByteArray>{"@0G1\r", "@0S\r", "@0H\r"}
        << QByteArray();
    QTest::newRow("ack answers sets, motion and stops")
        << "KTRA20" << 0 << "normal" << QStringList{"--ack"}
        << QList<QByteArray>{"@0C1\r", "@0A2_5\r", "@0G2\r", "@0S\r", "@0H\r", "@0VC\r"}
        << QByteArray("OK\rOK\rOK\rOK\rOK\r1\r");
    QTest::newRow("lone CR and malformed lines not even acknowledged")
        << "KTRA20" << 0 << "normal" << QStringList{"--ack"}
        << QList<QByteArray>{"\r",     "@0X\r", "@0C2\r", "@0A5_1\r", "@0A1\r", "@0VA5\r",
                             "@0VQ\r", "0$\r",  "@\r",    "@~\r",     "@~1x\r"}
        << QByteArray();
    QTest::newRow("address compared as a number")
        << "KTRA20" << 7 << "normal" << none << QList<QByteArray>{"@07$\r", "@7!\r"}
        << kKtra20Id + "0\r";
    QTest::newRow("other addresses ignored")
        << "KTRA20" << 7 << "normal" << none
        << QList<QByteArray>{"@0$\r", "@70$\r", "@17$\r", "@$\r"} << QByteArray();
    QTest::newRow("address query reaches any address")
        << "VELD30" << 42 << "normal" << none << QList<QByteArray>{"@%\r"} << QByteArray("42\r");
    QTest::newRow("second unit answers its own address")
        << "KTRA30" << 0 << "normal" << QStringList{"--also-address", "7"}
        << QList<QByteArray>{"@7$\r", "@7M2_1\r", "@7VM2\r", "@0VM2\r", "@3$\r"}
        << QByteArray("KTRA30  1.07\r1\r5100\r");
    QTest::newRow("new address taken, old one dropped")
        << "VELD30" << 0 << "normal" << none
        << QList<QByteArray>{"@~12\r", "@0$\r", "@0VA1\r", "@12VA1\r", "@%\r"}
        << QByteArray("10000\r12\r");
    QTest::newRow("new address beyond 99 refused")
        << "VELD30" << 5 << "normal" << none << QList<QByteArray>{"@~100\r", "@%\r"}
        << QByteArray("5\r");
    QTest::newRow("fixed reply to every query but the id")
        << "KTRA10" << 0 << "fixed" << QStringList{"--fixed-reply", "1"}
        << QList<QByteArray>{"@0$\r", "@0VA1\r", "@0V+\r", "@0VD\r", "@0!\r", "@%\r", "@0C0\r"}
        << QByteArray("KTRA10  1.07\r1\r1\r1\r1\r1\r");
    QTest::newRow("silent unit hears but never answers")
        << "KTRA20" << 0 << "silent" << QStringList{"--ack"}
        << QList<QByteArray>{"@0$\r", "@0VA1\r", "@0C1\r"} << QByteArray();
}

void TestUnitSim::exchange()
{
    QFETCH(QString, model);
    QFETCH(int, address);
    QFETCH(QString, mode);
    QFETCH(QStringList, extraArgs);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, replies);

    UnitSimProcess sim({model, QStringLiteral("1.07"), address, 9600, mode, extraArgs});
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    QCOMPARE(::exchange(sim, port, lines), replies);
    // One record per line, in order, whatever the answer.
    QCOMPARE(sim.receivedBytes(), lines);
    if (mode == QLatin1String("silent")) {
        for (const ReceivedLine &line : sim.received())
            QVERIFY(!line.answered);
    }
}

void TestUnitSim::recordFile()
{
    UnitSimProcess sim;
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    const double before = monotonicSeconds();
    QCOMPARE(::exchange(sim, port, {"@0VA1\r", "@9VA1\r"}), QByteArray("10\r"));
    const double after = monotonicSeconds();

    const QList<ReceivedLine> lines = sim.received();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].bytes, QByteArray("@0VA1\r"));
    QVERIFY(lines[0].answered);
    QVERIFY(!lines[1].answered);
    // Times come from the same monotonic clock as QElapsedTimer.
    QVERIFY2(lines[0].t >= before - 0.01 && lines[1].t <= after + 0.01,
             qPrintable(QStringLiteral("%1 .. %2 not within %3 .. %4")
                            .arg(lines[0].t)
                            .arg(lines[1].t)
                            .arg(before)
                            .arg(after)));
    QVERIFY(lines[0].t <= lines[1].t);

    QFile file(sim.recordPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> text = file.readAll().split('\n');
    QCOMPARE(text.size(), 3); // two records and the empty rest after the last newline
    QVERIFY2(text[0].contains(
                 R"("baud":9600,"answered":true,"line":"@0VA1\r","hex":"40 30 56 41 31 0D")"),
             text[0].constData());

    sim.clearRecord();
    QCOMPARE(sim.received().size(), 0);
    QCOMPARE(::exchange(sim, port, {"@0VB1\r"}), QByteArray("500\r"));
    QCOMPARE(sim.receivedBytes(), QList<QByteArray>{"@0VB1\r"});
}

void TestUnitSim::rateChangeStartsNewRecord()
{
    UnitSimProcess sim;
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    QVERIFY(send(port, "@0V"));
    // The kernel hands written bytes to the unit's side a moment later; the
    // program's own waits after every line always give it that moment.
    QTest::qWait(50);
    QVERIFY(port.setBaudRate(38400));
    QVERIFY(send(port, "A1\r"));
    QVERIFY(sim.waitForLineCount(2));
    QVERIFY(port.setBaudRate(9600));
    QCOMPARE(::exchange(sim, port, {"@0VA1\r"}), QByteArray("10\r"));

    const QList<ReceivedLine> lines = sim.received();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].bytes, QByteArray("@0V"));
    QCOMPARE(lines[0].baud, 9600);
    QVERIFY(!lines[0].answered);
    QCOMPARE(lines[1].bytes, QByteArray("A1\r"));
    QCOMPARE(lines[1].baud, 38400);
    QVERIFY(!lines[1].answered);
    QCOMPARE(sim.receivedAt(9600), (QList<QByteArray>{"@0V", "@0VA1\r"}));
    QCOMPARE(sim.receivedAt(38400), QList<QByteArray>{"A1\r"});
}

// The program closes and reopens the port at every rate of its scan.
void TestUnitSim::lineSurvivesReopen()
{
    UnitSimOptions options;
    options.baud = 38400;
    UnitSimProcess sim(options);
    QVERIFY(sim.start());

    const QList<int> rates = {9600, 38400, 9600, 38400};
    for (int rate : rates) {
        QSerialPort port;
        QVERIFY2(openLine(port, sim.devicePath(), rate), qPrintable(port.errorString()));
        QCOMPARE(::exchange(sim, port, {"@0$\r"}), rate == 38400 ? kKtra20Id : QByteArray());
        port.close();
    }
    QCOMPARE(sim.received().size(), rates.size());
}

// A real port drops what comes in while it is closed; the next open must not
// see a reply that came after the close. (What it held unread at the close,
// QSerialPort discards itself.)
void TestUnitSim::replyToClosedPortIsLost()
{
    UnitSimOptions options;
    options.mode = QStringLiteral("slow");
    options.extraArgs = {QStringLiteral("--slow-ms"), QStringLiteral("200")};
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    {
        QSerialPort port;
        QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));
        QVERIFY(send(port, "@0$\r"));
        QVERIFY(sim.waitForLineCount(1));
    }
    // Closed long enough for the slow reply to fall on the closed port.
    QTest::qWait(400);

    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));
    QVERIFY(send(port, "@0!\r"));
    QByteArray reply = readAtLeast(port, 2);
    reply += drain(port);
    QCOMPARE(reply, QByteArray("0\r"));
}

void TestUnitSim::splitReply_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::newRow("100 ms") << 100;
    QTest::newRow("300 ms") << 300;
}

void TestUnitSim::splitReply()
{
    QFETCH(int, gapMs);

    UnitSimOptions options;
    options.mode = QStringLiteral("split");
    options.extraArgs = {QStringLiteral("--split-gap"), QString::number(gapMs)};
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    QVERIFY(send(port, "@0$\r"));
    QVERIFY(port.waitForReadyRead(kReplyTimeoutMs));
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    const QByteArray first = port.readAll();
    QCOMPARE(first, kKtra20Id.left(kKtra20Id.size() / 2));

    const QByteArray rest = readAtLeast(port, kKtra20Id.size() - first.size(), gapMs + 2000);
    const qint64 gap = sinceFirst.elapsed();
    QCOMPARE(first + rest, kKtra20Id);
    QVERIFY2(gap >= gapMs * 8 / 10 && gap < gapMs + 1000, qPrintable(QString::number(gap)));
}

void TestUnitSim::slowReply()
{
    UnitSimOptions options;
    options.mode = QStringLiteral("slow");
    options.extraArgs = {QStringLiteral("--slow-ms"), QStringLiteral("300")};
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    QElapsedTimer sinceSent;
    QVERIFY(send(port, "@0VM1\r"));
    sinceSent.start();
    const QByteArray reply = readAtLeast(port, 5);
    const qint64 delay = sinceSent.elapsed();
    QCOMPARE(reply, QByteArray("5000\r"));
    QVERIFY2(delay >= 250 && delay < 1300, qPrintable(QString::number(delay)));
}

void TestUnitSim::garbageReply()
{
    UnitSimOptions options;
    options.mode = QStringLiteral("garbage");
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    const QByteArray reply = ::exchange(sim, port, {"@0$\r"});
    QCOMPARE(reply.size(), 16);
    QVERIFY(reply.contains('\r'));
    QVERIFY(reply.contains('\n'));
    QVERIFY(reply.contains('\0'));
    QVERIFY(reply.contains('@'));
    QVERIFY(std::any_of(reply.begin(), reply.end(), [](char c) { return uchar(c) > 127; }));
}

void TestUnitSim::floodThenReply()
{
    UnitSimOptions options;
    options.mode = QStringLiteral("flood");
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));

    QVERIFY(send(port, "@0VB1\r"));
    const qsizetype expected = 1024 * 1024 + 4;
    QByteArray bytes = readAtLeast(port, expected, 10000);
    bytes += drain(port);
    QCOMPARE(bytes.size(), expected);
    QVERIFY(bytes.endsWith("500\r"));
    QVERIFY(!bytes.left(expected - 4).contains('\r'));
}

void TestUnitSim::vanishAfter()
{
    UnitSimOptions options;
    options.extraArgs = {QStringLiteral("--vanish-after"), QStringLiteral("2")};
    UnitSimProcess sim(options);
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));
    LineLossWatch watch(port);

    QVERIFY(send(port, "@0$\r"));
    QCOMPARE(readAtLeast(port, kKtra20Id.size()), kKtra20Id);
    QVERIFY(send(port, "@0$\r"));
    QTRY_VERIFY_WITH_TIMEOUT(!sim.isRunning(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 3000);
    port.close();

    const QList<ReceivedLine> lines = sim.received();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].answered);
    QVERIFY(!lines[1].answered);
}

// A vanished pseudo-terminal shows as a read error on the port (a pulled USB
// adapter shows as a resource error). Qt repeats the read error on every pass
// of the event loop until the port is closed.
void TestUnitSim::killedUnitHangsUpLine()
{
    UnitSimProcess sim;
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY2(openLine(port, sim.devicePath(), 9600), qPrintable(port.errorString()));
    LineLossWatch watch(port);

    sim.kill();
    QVERIFY(!sim.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(watch.lost, 3000);
    port.close();
}

QTEST_GUILESS_MAIN(TestUnitSim)
#include "tst_unitsim.moc"
