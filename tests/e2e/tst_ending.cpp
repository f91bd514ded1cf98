// Closing the main window ends the program at once, also from inside a wait:
// the port closes, the interrupted action writes nothing more and shows no
// message.

#include "UnitSimProcess.h"
#include "Workbench.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;

class TestEnding : public QObject
{
    Q_OBJECT
  private slots:
    void closingDuringARun_data();
    void closingDuringARun();
};

void TestEnding::closingDuringARun_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("close box") << 0;
    QTest::newRow("Exit button") << 1;
    QTest::newRow("File, Exit") << 2;
}

void TestEnding::closingDuringARun()
{
    QFETCH(int, way);
    UnitOnLine rig(Model::VELD10);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    bench.window->show();
    rig.unit.clearRecord();
    QSignalSpy ending(bench.window.get(), &MainWindow::programEnding);

    // The option's 0.5 s wait, then its read-back run: close during the run.
    QElapsedTimer clock;
    QTimer::singleShot(700, [&] {
        clock.start();
        if (way == 0)
            bench.window->close();
        else if (way == 1)
            bench.window->cmdExit()->click();
        else
            bench.window->mnuExit()->trigger();
    });
    bench.window->selectOption(Model::VELD10, Option::CCW);
    QVERIFY(clock.isValid());
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(ending.count(), 1);
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(bench.recorder.messages.isEmpty());

    // The set line and the queries written before the close, nothing after.
    QTest::qWait(300);
    const QList<ReceivedLine> heard = rig.unit.received();
    QVERIFY(!heard.isEmpty());
    QCOMPARE(heard.first().bytes, QByteArray("@0-\r"));
    QVERIFY(heard.size() < 9);
    // The unit's clock is the monotonic one QElapsedTimer uses; a line written
    // just before the close may be read by the unit a moment later.
    const double closedAt = clock.msecsSinceReference() / 1000.0;
    for (const ReceivedLine &line : heard)
        QVERIFY2(line.t < closedAt + 0.03, line.bytes.constData());
    QVERIFY(!bench.link.write("@0G1\r"));
}

QTEST_MAIN(TestEnding)
#include "tst_ending.moc"
