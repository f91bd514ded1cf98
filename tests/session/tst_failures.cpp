// The session under failure: late and missing replies, a line lost in the
// middle of a run, a line that fails under the identification, writes that do
// not go out, a line that never drains, and who owns the port Axis Define
// opened. Against the simulated unit, with a recording view.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"

#include "session/UnitSession.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

class TestFailures : public QObject
{
    Q_OBJECT
  private slots:
    void lateRepliesAreNoAnswer_data();
    void lateRepliesAreNoAnswer();
    void lostLineEndsTheRun();
    void identificationFaultShownOnce();
    void failedStopIsReported();
    void writingNeverBlocksAndClosingIsBounded();
    void axisDefineClosesOnlyItsOwnOpening();
    void lostLineMessageShownFromTheEventLoop();
};

void TestFailures::lateRepliesAreNoAnswer_data()
{
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<QString>("status");
    const QString fields = QStringLiteral(
        "Accel/Decel, Base Speed, Max Speed, Lower Analog Speed, Upper Analog Speed, Analog "
        "Speed, Reduced Current, Microstep Resolution, Ramp Down, Error Code");
    QTest::newRow("200 ms late: each reply dropped as it comes")
        << 200 << QStringLiteral("No answer from the unit at address 0 to: ") + fields;
    QTest::newRow("400 ms late: replies come under the next query")
        << 400
        << QStringLiteral("The unit at address 0 answers too slowly; no value shown for: ") +
               fields;
}

// A unit that answers late: no field shows another field's reply, and the
// operator is told once which fields have no value, and why.
void TestFailures::lateRepliesAreNoAnswer()
{
    QFETCH(int, lateMs);
    QFETCH(QString, status);
    UnitOnLine bench(Model::KTRA20, 9600,
                     {QStringLiteral("--mode"), QStringLiteral("slow"), QStringLiteral("--slow-ms"),
                      QString::number(lateMs)});
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);

    QCOMPARE(bench.view.fields.size(), 10);
    for (const RecordingView::Shown &shown : bench.view.fields)
        QVERIFY2(!shown.reply,
                 qPrintable(fieldName(shown.field) + ": " + shown.reply.value_or(QString())));
    QCOMPARE(bench.view.runStatus, status);
    QCOMPARE(bench.view.messageTexts(), QStringList{});
    // Not a message box, and the queries on the wire are the usual ones.
    QCOMPARE(bench.unit.receivedAt(9600).mid(3), Ktra20Readback);
}

// The unit vanishes after the third query of a run: the run ends there, shows
// nothing more and leaves everything as a finished run does.
void TestFailures::lostLineEndsTheRun()
{
    // 3 identification lines, 10 queries of the first run, 3 of the second.
    UnitOnLine bench(Model::KTRA20, 9600, {QStringLiteral("--vanish-after"), QStringLiteral("16")});
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.view.fields.clear();
    qsizetype shownAtLoss = -1;
    connect(&bench.session->link, &SerialLink::lineLost, this,
            [&] { shownAtLoss = bench.view.fields.size(); });

    QElapsedTimer clock;
    clock.start();
    bench.session->VerifyParameters(Model::KTRA20);
    const qint64 elapsed = clock.elapsed();

    QVERIFY(shownAtLoss >= 0);
    QCOMPARE(bench.view.fields.size(), shownAtLoss);
    QVERIFY2(shownAtLoss <= 3, qPrintable(QString::number(shownAtLoss)));
    QVERIFY2(elapsed < 1100, qPrintable(QString::number(elapsed))); // 10 queries take 1.6 s
    QVERIFY(waitUntil([&] { return !bench.view.messages.isEmpty(); }));
    QTest::qWait(100); // and no second message follows
    QCOMPARE(bench.view.messages.size(), 1);
    QVERIFY(bench.view.messages.first().text.startsWith(
        QStringLiteral("The connection to the unit was lost (")));
    QCOMPARE(bench.session->times(), 0);
    QVERIFY(!bench.view.waitCursor);
    QCOMPARE(bench.view.events.last(), QStringLiteral("run buttons KTRA20 on"));
}

// A line that fails under every identification: one box, the scan ends.
void TestFailures::identificationFaultShownOnce()
{
    UnitOnLine bench(Model::KTRA20);
    QVERIFY(bench.started);
    bench.readStore();
    // The line goes away right after each lone CR, so the next line fails.
    connect(&bench.session->link, &SerialLink::lineWritten, this, [&](const QByteArray &bytes) {
        if (bytes == "\r")
            QTimer::singleShot(0, this, [&] { bench.session->link.closePort(); });
    });

    bench.session->Connect();

    QVERIFY(!bench.session->state.UnitConnected);
    const QStringList texts = bench.view.messageTexts();
    QCOMPARE(texts.count(QStringLiteral("An Error occurred while trying to connect")), 1);
    QVERIFY2(texts.size() <= 2, qPrintable(texts.join(" | ")));
    QCOMPARE(bench.unit.receivedBytes(), Lines{"\r"});
    QVERIFY(bench.view.connectEnabled);
}

// A stop the line does not take is said plainly.
void TestFailures::failedStopIsReported()
{
    UnitOnLine bench(Model::KTRA10);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.unit.kill();

    bench.session->StopMotion(Model::KTRA10, frame::Motion::StopSoft);

    QVERIFY(waitUntil([&] { return bench.view.messages.size() >= 1; }));
    QCOMPARE(bench.view.messages.first().icon, MessageIcon::Critical);
    QCOMPARE(bench.view.messages.first().text,
             QStringLiteral("The Soft Limit command did not go out: the serial line did not take "
                            "\"@0S\". The unit has not received it."));
}

// A unit that never takes a byte: writing does not wait for it, and closing
// waits no longer than the pending bytes need on the wire.
void TestFailures::writingNeverBlocksAndClosingIsBounded()
{
    UnitOnLine bench(Model::KTRA20, 115200, {QStringLiteral("--mode"), QStringLiteral("stall")});
    QVERIFY(bench.started);
    bench.readStore();
    SerialLink &link = bench.session->link;
    QVERIFY(link.OpenComPort(1, 115200));

    QElapsedTimer clock;
    clock.start();
    const QByteArray line = "@0A1_1000000000000000000000000000000\r";
    int taken = 0;
    for (int i = 0; i < 300; ++i)
        taken += link.write(line) ? 1 : 0;
    const qint64 writing = clock.restart();
    link.closePort();
    const qint64 closing = clock.elapsed();

    QCOMPARE(taken, 300);
    QVERIFY2(writing < 2000, qPrintable(QString::number(writing)));
    QVERIFY2(closing < 3000, qPrintable(QString::number(closing)));
    QVERIFY(!link.PortOpen());
    QCOMPARE(bench.view.messageTexts(), QStringList{});
}

// Define opened the port with no unit; the line dropped and Connect opened it
// again for a unit: ending Define leaves the connection's port alone.
void TestFailures::axisDefineClosesOnlyItsOwnOpening()
{
    UnitOnLine bench(Model::VELD30);
    QVERIFY(bench.started);
    bench.readStore();
    UnitSession &session = *bench.session;
    QVERIFY(session.beginAxisDefine().has_value());
    QVERIFY(session.link.PortOpen());
    session.link.closePort(); // the line dropped under the dialog

    session.Connect();
    QVERIFY(session.state.UnitConnected);
    bench.unit.clearRecord();
    session.endAxisDefine();

    QVERIFY(session.link.PortOpen());
    QVERIFY(session.state.UnitConnected);
    QCOMPARE(bench.unit.receivedBytes(), Lines{});
}

void TestFailures::lostLineMessageShownFromTheEventLoop()
{
    UnitOnLine bench(Model::VELD20);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    qsizetype messagesInsideSignal = -1;
    connect(&bench.session->link, &SerialLink::lineLost, this,
            [&] { messagesInsideSignal = bench.view.messages.size(); });

    bench.unit.kill();

    QVERIFY(waitUntil([&] { return bench.view.messages.size() == 1; }));
    QCOMPARE(messagesInsideSignal, 0);
    QVERIFY(!bench.view.connected);
}

QTEST_GUILESS_MAIN(TestFailures)
#include "tst_failures.moc"
