// A USB adapter pulled out and plugged back in while the window waits: the
// status line says so each time, nothing reaches the line while it is gone,
// and the program offers Connect but never reconnects by itself.

#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

class TestPortWatch : public QObject
{
    Q_OBJECT
  private slots:
    void unplugAndReplug();
};

void TestPortWatch::unplugAndReplug()
{
    QTemporaryDir dir;
    const QString adapter = dir.filePath(QStringLiteral("ttyUSB0"));
    UnitSimProcess unit(unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), adapter}));
    QVERIFY(unit.start());
    Workbench bench(adapter);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    unit.clearRecord();
    const QByteArray storeBefore = fileBytes(bench.storePath);
    auto statusLine = [&] { return bench.window->statusBar()->currentMessage(); };

    QVERIFY(unit.unplug());
    QVERIFY(!QFileInfo::exists(adapter));
    const QString gone = QStringLiteral("COM 1 (%1) was unplugged").arg(adapter);
    QVERIFY2(waitUntil([&] { return statusLine() == gone; }, 3000), qPrintable(statusLine()));
    QVERIFY(!bench.state.UnitConnected);
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is NOT Connected"));
    QCOMPARE(bench.recorder.messages.size(), 1);
    QVERIFY2(bench.recorder.messages[0].text.startsWith(
                 QLatin1String("The connection to the unit was lost (")),
             qPrintable(bench.recorder.messages[0].text));

    // The operator tries meanwhile: a read-back needs a unit, Connect finds
    // no device at any rate.
    bench.window->pressVerify(Model::KTRA20);
    bench.window->pressConnect();
    QCOMPARE(bench.recorder.messages.size(), 3);
    QCOMPARE(bench.recorder.messages[1].text,
             QStringLiteral("There in no unit connected!  \r\n\r\nA unit must be ONLINE before "
                            "you can send any information. \r\nGo to the Setup Menu to configure "
                            "the Com Port and CONNECT to the unit."));
    QCOMPARE(bench.recorder.messages[2].text,
             QStringLiteral("Error Opening Com Port 1 - The com port is already open by another "
                            "device (mouse, modem, etc.) or it does not exist."));

    QVERIFY(unit.replug());
    const QString back = QStringLiteral("COM 1 (%1) is back: press Connect").arg(adapter);
    QVERIFY2(waitUntil([&] { return statusLine() == back; }, 3000), qPrintable(statusLine()));
    QVERIFY(bench.window->cmdConnect()->isEnabled());
    QVERIFY(bench.window->mnuConnect()->isEnabled());
    QTest::qWait(300); // a connection of its own would have begun by now
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(unit.receivedBytes(), QList<QByteArray>{});
    QCOMPARE(bench.recorder.messages.size(), 3);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);

    // Connect is the operator's: the unit kept its state and answers again.
    bench.window->pressConnect();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(unit.receivedBytes(), Exchange + verifyQueries(Model::KTRA20));
}

QTEST_MAIN(TestPortWatch)
#include "tst_portwatch.moc"
