// The unit session without a window: the scan and identification, a
// read-back's lines and what it hands its view, a refused send and a lost
// line, against the simulated unit with a recording view.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"

#include "session/UnitSession.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

class TestSession : public QObject
{
    Q_OBJECT
  private slots:
    void scanAndIdentify_data();
    void scanAndIdentify();
    void refusedSendSendsNothing();
    void lostLine();
};

void TestSession::scanAndIdentify_data()
{
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<int>("baud");
    QTest::addColumn<Model>("panel");
    QTest::addColumn<QString>("version");
    QTest::addColumn<Lines>("queries");
    QTest::addColumn<QStringList>("shown"); // every field the view was handed, in order

    QTest::newRow("KTRA20 at 9600")
        << "KTRA20" << 9600 << Model::KTRA20 << "Version: KTRA20, Revision 1.07"
        << verifyQueries(Model::KTRA20)
        << QStringList{"10", "500", "5000", "1000", "20000", "0", "0", "8", "0\r", "0"};
    QTest::newRow("VELD40 at 28800 on the VELD30 panel")
        << "VELD40" << 28800 << Model::VELD30 << "Version: VELD40, Revision 1.07"
        << verifyQueries(Model::VELD30)
        << QStringList{"10000", "500", "5000", "0", "50", "1", "8", "0"};
}

void TestSession::scanAndIdentify()
{
    QFETCH(QString, unitModel);
    QFETCH(int, baud);
    QFETCH(Model, panel);
    QFETCH(Lines, queries);
    QFETCH(QStringList, shown);
    UnitOnLine bench(unitOf(unitModel, baud));
    QVERIFY(bench.started);

    bench.session->load();

    QVERIFY(bench.session->state.UnitConnected);
    QVERIFY(bench.view.connected);
    QCOMPARE(bench.view.panel, tabIndex(panel));
    QTEST(bench.view.version, "version");
    QCOMPARE(bench.session->link.baudRateInForce(), baud);
    // Nothing answered at the rates before the unit's; at its rate the
    // exchange, then the read-back of profile 1 with the boxes filled.
    QCOMPARE(bench.unit.receivedAt(baud), Exchange + queries);
    QStringList replies;
    for (const RecordingView::Shown &field : bench.view.fields) {
        QCOMPARE(field.model, panel);
        QVERIFY(field.copyIntoBox);
        replies << field.reply.value_or(QStringLiteral("(no answer)"));
    }
    QCOMPARE(replies, shown);
    QCOMPARE(bench.view.messageTexts(), QStringList{});
    QVERIFY(!bench.view.waitCursor);
    QCOMPARE(bench.session->times(), 0);
    QVERIFY(!bench.session->profileUpdate());
}

void TestSession::refusedSendSendsNothing()
{
    UnitOnLine bench(Model::VELD20);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.unit.clearRecord();

    bench.view.boxes[{Model::VELD20, ParamKey::Max}] = QStringLiteral("0");
    bench.session->SendButtonClicked(Model::VELD20, ParamKey::Max,
                                     bench.view.entriesOf(Model::VELD20, bench.session->state));

    QCOMPARE(bench.view.messages.size(), 1);
    QCOMPARE(bench.view.messages.first().icon, MessageIcon::Exclamation);
    QCOMPARE(bench.view.messages.first().text,
             QStringLiteral("Waring: The Max Speed lower limit is 1"));
    QTest::qWait(200); // nothing reaches the line, not even late
    QCOMPARE(bench.unit.receivedBytes(), Lines{});
}

void TestSession::lostLine()
{
    UnitOnLine bench(Model::KTRA10);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);

    bench.unit.kill();
    QVERIFY(waitUntil([&] { return !bench.session->state.UnitConnected; }));

    QVERIFY(!bench.view.connected);
    QCOMPARE(bench.view.panel, -1);
    QCOMPARE(bench.view.messages.size(), 1);
    QCOMPARE(bench.view.messages.first().icon, MessageIcon::Critical);
    QVERIFY(bench.view.messages.first().text.startsWith(
        QStringLiteral("The connection to the unit was lost (")));
    QVERIFY(!bench.session->link.PortOpen());
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
