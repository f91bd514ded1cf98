// Start-up against the simulated unit: the baud scan, identification of every
// model, the tabs and labels that follow, and a scan with nobody listening.

#include "Texts.h"
#include "Wire.h"
#include "Workbench.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

class TestStartup : public QObject
{
    Q_OBJECT
  private slots:
    void identifiesEveryModel_data();
    void identifiesEveryModel();
    void replyEdgeCases_data();
    void replyEdgeCases();
    void noUnitScansFourRatesAndSaysSo();
};

void TestStartup::identifiesEveryModel_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("version");
    QTest::newRow("KTRA10 at 28800") << "KTRA10" << 28800 << 0 << "Version: KTRA10, Revision 1.07";
    QTest::newRow("KTRA20 at 28800") << "KTRA20" << 28800 << 1 << "Version: KTRA20, Revision 1.07";
    QTest::newRow("KTRA30 at 38400") << "KTRA30" << 38400 << 2 << "Version: KTRA30, Revision 1.07";
    QTest::newRow("VELD10 at 115200")
        << "VELD10" << 115200 << 3 << "Version: VELD10, Revision 1.07";
    QTest::newRow("VELD20 at 28800") << "VELD20" << 28800 << 4 << "Version: VELD20, Revision 1.07";
    QTest::newRow("VELD30 at 38400") << "VELD30" << 38400 << 5 << "Version: VELD30, Revision 1.07";
    QTest::newRow("VELD40 on the VELD30 panel")
        << "VELD40" << 28800 << 5 << "Version: VELD40, Revision 1.07";
    QTest::newRow("VELD50 on the VELD30 panel")
        << "VELD50" << 115200 << 5 << "Version: VELD50, Revision 1.07";
}

void TestStartup::identifiesEveryModel()
{
    QFETCH(QString, model);
    QFETCH(int, baud);
    QFETCH(int, tab);
    QFETCH(QString, version);
    UnitOnLine rig(unitOf(model, baud));
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.state.AxisAddress = QStringLiteral("7"); // the load step starts from "0"
    bench.load();

    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("1"));
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tab);
    for (int i = 0; i < ModelCount; ++i)
        QCOMPARE(bench.window->SSTab1()->isTabEnabled(i), i == tab);
    QCOMPARE(bench.window->lblVersionNumber()->text(), version);
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is Connected"));
    QVERIFY(!bench.window->lblVersionNumber()->isHidden());
    QVERIFY(bench.link.PortOpen());
    QCOMPARE(bench.link.baudRateInForce(), baud);

    // Every rate tried before the unit's own got exactly the three lines of
    // the exchange; nothing was tried after it.
    for (int rate : {9600, 28800, 38400, 115200}) {
        const QList<QByteArray> got = rig.unit.receivedAt(rate);
        if (rate < baud)
            QCOMPARE(got, Exchange);
        else if (rate > baud)
            QVERIFY(got.isEmpty());
        else
            QCOMPARE(got.mid(0, 3), Exchange);
    }
    // Identification ends with the panel's read-back.
    const QList<QByteArray> atRate = rig.unit.receivedAt(baud);
    QVERIFY(atRate.size() > 3);
    QCOMPARE(atRate.at(3), QByteArray("@0VA1\r"));
    QCOMPARE(atRate.last(), QByteArray("@0!\r"));

    const bool veld50 = model == QLatin1String("VELD50");
    Panel &veld30 = bench.panel(Model::VELD30);
    QCOMPARE(veld30.control(QStringLiteral("Frame30"))->isHidden(), veld50);
    QCOMPARE(veld30.label(ReadbackRole::Microstep)->isHidden(), veld50);
}

void TestStartup::replyEdgeCases_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<QString>("version");
    QTest::newRow("five characters") << "VELD2" << false << QString();
    QTest::newRow("lower case") << "veld20  1.07" << false << QString();
    QTest::newRow("exactly the six characters") << "VELD20" << true << "Version: VELD20, Revision ";
}

// The simulated unit answers "$" with its model id, two blanks and the
// revision; an empty revision gives the bare six characters plus two blanks,
// so the edge cases are made with --model-reply.
void TestStartup::replyEdgeCases()
{
    QFETCH(QString, reply);
    QFETCH(bool, recognised);
    QFETCH(QString, version);
    UnitOnLine rig(Model::VELD20, 9600, {QStringLiteral("--model-reply"), reply});
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QCOMPARE(bench.state.UnitConnected, recognised);
    if (recognised) {
        QCOMPARE(bench.window->lblVersionNumber()->text(), version);
        QCOMPARE(bench.window->SSTab1()->currentIndex(), 4);
    } else {
        QCOMPARE(bench.recorder.texts(), QStringList{DidNotConnectText});
        QVERIFY(!bench.link.PortOpen());
    }
}

void TestStartup::noUnitScansFourRatesAndSaysSo()
{
    UnitOnLine rig(Model::KTRA20, 9600, {QStringLiteral("--mode"), QStringLiteral("silent")});
    QVERIFY(rig.started);
    Workbench bench(rig);
    QElapsedTimer clock;
    clock.start();
    bench.load();
    const qint64 elapsed = clock.elapsed();

    // Four attempts of three half-second waits.
    QVERIFY2(elapsed >= 6000 && elapsed < 8000, qPrintable(QString::number(elapsed)));
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[0].text,
             QStringLiteral("The unit DID NOT CONNECT.  \r\rPlease check Com Port Setting, "
                            "Cables and Power."));
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(!bench.link.PortOpen());
    for (int i = 0; i < ModelCount; ++i)
        QVERIFY(bench.window->SSTab1()->isTabEnabled(i));
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is NOT Connected"));
    QVERIFY(bench.window->lblVersionNumber()->isHidden());
    for (int rate : {9600, 28800, 38400, 115200})
        QCOMPARE(rig.unit.receivedAt(rate), Exchange);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
