// The line monitor against a simulated unit (times, rates, meanings), and its
// bounds when a unit floods the line.

#include "UnitOnLine.h"

#include "session/LineMonitor.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace ktv;
using namespace ktv::test;

class TestLineMonitor : public QObject
{
    Q_OBJECT

  private slots:
    void scanShowsEveryLineAndTheRateTried();
    void floodKeepsTheNewestLinesAndCutsLongOnes();
    void pauseHoldsLinesAndClearForgetsThem();
    void saysWhyAQuestionIsAskedAgain_data();
    void saysWhyAQuestionIsAskedAgain();
};

void TestLineMonitor::saysWhyAQuestionIsAskedAgain_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("reply"); // the proven reply; empty: none

    QTest::newRow("late") << QStringList{"--mode", "slow", "--slow-ms", "1200", "--slow-count", "1"}
                          << "asked again: no reply came in time"
                          << "10\r";
    QTest::newRow("cut") << QStringList{"--mode", "split", "--split-gap", "1200"}
                         << "asked again: only part of the reply came in time"
                         << "";
}

// The note stands between the two questions, and only the second question's
// own reply answers it.
void TestLineMonitor::saysWhyAQuestionIsAskedAgain()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, note);
    QFETCH(QString, reply);
    UnitOnLine rig(
        UnitSimOptions{QStringLiteral("KTRA20"), QStringLiteral("1.07"), 0, 9600, {}, unitArgs});
    QVERIFY(rig.started);
    rig.readStore();
    QVERIFY(rig.session->link.OpenComPort(1, 9600));
    LineMonitor monitor(rig.session->link);
    QStringList proven;
    connect(&rig.session->exchange, &UnitExchange::answered,
            [&proven](const QByteArray &, const QString &reply) { proven << reply; });

    const auto answer =
        rig.session->exchange.askField(QStringLiteral("0"), Field::Accel, QStringLiteral("1"));
    monitor.flush();

    QCOMPARE(answer.ok(), !reply.isEmpty());
    QCOMPARE(proven, QStringList{reply});
    QCOMPARE(rig.unit.receivedBytes(), (QList<QByteArray>{"@0VA1\r", "@0VA1\r"}));
    int written = 0;
    int notes = 0;
    for (int row = 0; row < monitor.rowCount(); ++row) {
        const MonitorLine &line = monitor.line(row);
        if (line.direction == MonitorLine::Written)
            ++written;
        if (line.direction == MonitorLine::Note) {
            ++notes;
            QCOMPARE(written, 1);
            QCOMPARE(line.meaning, note);
            QVERIFY(LineMonitor::lineText(line).endsWith(QStringLiteral("  !    9600 baud    ") +
                                                         note));
        }
    }
    QCOMPARE(notes, 1);
}

// A KTRA20 at 28800: the scan first tries 9600, where nobody answers.
void TestLineMonitor::scanShowsEveryLineAndTheRateTried()
{
    UnitOnLine rig(Model::KTRA20, 28800);
    QVERIFY(rig.started);
    LineMonitor monitor(rig.session->link);
    rig.session->load();
    QVERIFY(rig.session->state.UnitConnected);
    monitor.flush();

    // 9600: three lines and no reply; 28800: the same three, the unit's
    // replies, then the read-back.
    QVERIFY(monitor.rowCount() > 8);
    const auto text = [&](int row) { return LineMonitor::lineText(monitor.line(row)).mid(8); };
    QCOMPARE(text(0), QStringLiteral(" ms  >    9600 baud  \u23CE  wake up (lone CR)"));
    QCOMPARE(text(1), QStringLiteral(" ms  >    9600 baud  @0!\u23CE  read Error Code"));
    QCOMPARE(text(2), QStringLiteral(" ms  >    9600 baud  @0$\u23CE  read Model and Revision"));
    QCOMPARE(text(3), QStringLiteral(" ms  >   28800 baud  \u23CE  wake up (lone CR)"));
    QCOMPARE(text(4), QStringLiteral(" ms  >   28800 baud  @0!\u23CE  read Error Code"));
    QCOMPARE(monitor.line(5).direction, MonitorLine::Read);
    QCOMPARE(monitor.line(5).baud, 28800);
    QVERIFY(monitor.line(5).meaning.isEmpty());
    QCOMPARE(text(6), QStringLiteral(" ms  >   28800 baud  @0$\u23CE  read Model and Revision"));
    // Times count from each opening: the lone CR comes first at each rate,
    // and a 0.5 s wait follows it.
    QVERIFY(monitor.line(0).ms < 100);
    QVERIFY(monitor.line(3).ms < 100);
    QVERIFY(monitor.line(1).ms >= monitor.line(0).ms + 500);
    QVERIFY(monitor.line(4).ms >= monitor.line(3).ms + 500);
}

// A megabyte of garbage after twenty thousand query lines: the table keeps
// the newest 10,000 lines, at most 256 bytes of each, and stays quick.
void TestLineMonitor::floodKeepsTheNewestLinesAndCutsLongOnes()
{
    SharedState state;
    SerialLink link(state);
    LineMonitor monitor(link);
    QSignalSpy inserted(&monitor, &QAbstractItemModel::rowsInserted);
    QByteArray garbage(1024, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 7 + 3);

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20'000; ++i)
        monitor.record(MonitorLine::Written, "@0VA1\r", i, 9600);
    for (int i = 0; i < 1024; ++i)
        monitor.record(MonitorLine::Read, garbage, 20'000 + i, 9600);
    // Nothing reaches the table before the batch.
    QCOMPARE(monitor.rowCount(), 0);
    QTRY_COMPARE(monitor.rowCount(), 10'000);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(inserted.size(), 1);

    // The oldest kept line is the 10,000th from the end.
    QCOMPARE(monitor.line(0).ms, 11'024);
    QCOMPARE(
        LineMonitor::lineText(monitor.line(0)),
        QStringLiteral("   11024 ms  >    9600 baud  @0VA1\u23CE  read Accel/Decel, profile 1"));
    const MonitorLine &last = monitor.line(9'999);
    QCOMPARE(last.bytes.size(), 256);
    QCOMPARE(last.fullSize, 1024);
    QVERIFY(LineMonitor::displayText(last).endsWith(QStringLiteral("\\xFC \u2026 (+768 bytes)")));
    QVERIFY(last.meaning.isEmpty());
}

void TestLineMonitor::pauseHoldsLinesAndClearForgetsThem()
{
    SharedState state;
    SerialLink link(state);
    LineMonitor monitor(link);
    monitor.record(MonitorLine::Written, "@0S\r", 1, 9600);
    monitor.flush();
    QCOMPARE(monitor.rowCount(), 1);

    monitor.setPaused(true);
    monitor.record(MonitorLine::Written, "@0H\r", 2, 9600);
    QTest::qWait(2 * LineMonitor::BatchMs); // a paused monitor adds no row
    QCOMPARE(monitor.rowCount(), 1);
    monitor.setPaused(false);
    QCOMPARE(monitor.rowCount(), 2);
    QCOMPARE(monitor.data(monitor.index(1, LineMonitor::MeaningColumn)).toString(),
             QStringLiteral("Hard Limit stop"));

    monitor.setPaused(true);
    monitor.record(MonitorLine::Read, "x", 3, 9600);
    monitor.clear();
    monitor.setPaused(false);
    QCOMPARE(monitor.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestLineMonitor)
#include "tst_linemonitor.moc"
