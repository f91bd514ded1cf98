// Setup > Find Units on the Line: the address question, the sweep over every
// address where answers collide, the list it shows, and choosing a unit: as
// Axis Select does when connected, a connection to it when not.

#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "ui/FindUnitsDialog.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

namespace {

// The dialog's rows as the operator reads them: "address|model|revision".
QStringList rowsOf(const FindUnitsDialog *dialog)
{
    QStringList rows;
    for (int i = 0; i < dialog->list()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = dialog->list()->topLevelItem(i);
        rows << item->text(0) + QLatin1Char('|') + item->text(1) + QLatin1Char('|') + item->text(2);
    }
    return rows;
}

// The address question, then the model query at addresses 0 to count - 1,
// as a search where answers collide asks them.
// The address question (asked again when two units answer it with two
// addresses), then the model query at each address.
QList<QByteArray> sweepLines(int addressQuestions, int count = 100)
{
    QList<QByteArray> lines(addressQuestions, "@%\r");
    for (int address = 0; address < count; ++address)
        lines << "@" + QByteArray::number(address) + "$\r";
    return lines;
}

} // namespace

class TestFindUnits : public QObject
{
    Q_OBJECT
  private slots:
    void chooseTheSecondUnit();
    void notConnectedFindsAndConnects();
    void hardLimitGoesToTheFoundUnit();
    void twoUnitsAtOneAddress();
    void hardLimitDuringTheSweep();
};

void TestFindUnits::chooseTheSecondUnit()
{
    UnitOnLine rig(Model::VELD30, 9600, {QStringLiteral("--also-address"), QStringLiteral("7")});
    Workbench bench(rig);
    QVERIFY(bench.connect());
    auto *action = bench.find<QAction>(QStringLiteral("mnuFindUnits"));
    QVERIFY(action);
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));

    // Once the sweep has ended the operator picks the unit at 7 and presses OK.
    QStringList listed;
    QString status;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto *dialog = bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits"));
        if (!dialog || !dialog->isVisible() ||
            !dialog->status()->text().endsWith(QStringLiteral("answered at 9600 baud.")))
            return;
        operatorHand.stop();
        status = dialog->status()->text();
        listed = rowsOf(dialog);
        dialog->list()->setCurrentItem(dialog->list()->topLevelItem(1));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    operatorHand.start(50);
    action->trigger();

    QCOMPARE(status, QStringLiteral("2 unit(s) answered at 9600 baud."));
    QCOMPARE(listed, (QStringList{"0|VELD30|1.07", "7|VELD30|1.07"}));
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("7"));
    // What the sweep heard is asked again before it is listed.
    QList<QByteArray> heard = sweepLines(2);
    heard += QList<QByteArray>{"@0$\r", "@7$\r", "@7$\r"} + verifyQueries(Model::VELD30, "7");
    QVERIFY(rig.unit.waitForLineCount(int(heard.size())));
    QTest::qWait(200); // nothing follows the read-back
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

// Nothing connected (the start-up scan asked address 0): the search asks
// each rate, finds the unit at 5 at 38400, and OK connects to it there.
void TestFindUnits::notConnectedFindsAndConnects()
{
    UnitSimOptions options = unitOf(Model::VELD30, 38400);
    options.address = 5;
    UnitOnLine rig(options);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(!bench.state.UnitConnected);
    QCOMPARE(bench.recorder.texts(), QStringList{"The unit DID NOT CONNECT.  \r\rPlease check Com "
                                                 "Port Setting, Cables and Power."});
    bench.recorder.messages.clear();
    rig.unit.clearRecord();

    QStringList listed;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto *dialog = bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits"));
        if (!dialog || !dialog->isVisible() ||
            dialog->status()->text() != QStringLiteral("1 unit(s) answered at 38400 baud."))
            return;
        operatorHand.stop();
        listed = rowsOf(dialog);
        dialog->list()->setCurrentItem(dialog->list()->topLevelItem(0));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    operatorHand.start(50);
    bench.window->openFindUnits();

    QCOMPARE(listed, QStringList{"5|VELD30|1.07"});
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is Connected"));
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("5"));
    Panel &panel = bench.panel(Model::VELD30);
    QCOMPARE(panel.info.at(panel.entry().infoIndex(Field::Accel))->text(),
             QStringLiteral("Acceleration: 10000"));
    QCOMPARE(panel.label(ReadbackRole::SelectedAxis)->text(), QStringLiteral("Selected Axis: 5"));
    QList<QByteArray> heard{"@%\r", "@%\r", "@%\r", "@5$\r", "\r", "@5!\r", "@5$\r"};
    heard += verifyQueries(Model::VELD30, "5");
    QVERIFY(rig.unit.waitForLineCount(int(heard.size())));
    QTest::qWait(200); // nothing follows the read-back
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QList<int> rates;
    for (const ReceivedLine &line : rig.unit.received())
        rates << line.baud;
    QCOMPARE(rates.mid(0, 4), (QList<int>{9600, 28800, 38400, 38400}));
    QCOMPARE(rates.count(38400), heard.size() - 2);
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

// Found at 38400 (no stop's fixed rate) at address 5: the dialog's Hard
// Limit reaches that unit at its rate, and the port is closed again.
void TestFindUnits::hardLimitGoesToTheFoundUnit()
{
    UnitSimOptions options = unitOf(Model::VELD30, 38400);
    options.address = 5;
    UnitOnLine rig(options);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(!bench.state.UnitConnected);
    bench.recorder.messages.clear();

    int before = -1;
    double clicked = 0;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto *dialog = bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits"));
        if (!dialog || !dialog->isVisible() ||
            dialog->status()->text() != QStringLiteral("1 unit(s) answered at 38400 baud."))
            return;
        operatorHand.stop();
        rig.unit.clearRecord();
        before = int(rig.unit.received().size());
        QElapsedTimer now; // the unit's clock: CLOCK_MONOTONIC
        now.start();
        clicked = now.msecsSinceReference() / 1000.0;
        dialog->findChild<QPushButton *>(QStringLiteral("cmdHardLimit"))->click();
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    });
    operatorHand.start(50);
    bench.window->openFindUnits();

    QCOMPARE(before, 0);
    QVERIFY(rig.unit.waitForLineCount(1));
    QTest::qWait(200); // nothing follows the first question
    const QList<ReceivedLine> heard = rig.unit.received();
    QCOMPARE(heard.size(), 1);
    QCOMPARE(heard[0].bytes, QByteArray("@5H\r"));
    QCOMPARE(heard[0].baud, 38400);
    QVERIFY2(heard[0].t - clicked < 1.0, qPrintable(QString::number(heard[0].t - clicked)));
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(!bench.state.UnitConnected);
    QVERIFY(bench.recorder.messages.isEmpty());
}

// Two units at 0 answer each "@0$" together: the address is listed as such
// and cannot be chosen.
void TestFindUnits::twoUnitsAtOneAddress()
{
    UnitOnLine rig(Model::VELD30, 9600, {QStringLiteral("--also-address"), QStringLiteral("0")});
    Workbench bench(rig);
    QVERIFY(bench.connect());

    QStringList listed;
    bool selectable = true;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto *dialog = bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits"));
        if (!dialog || !dialog->isVisible() ||
            !dialog->status()->text().endsWith(QStringLiteral("answered at 9600 baud.")))
            return;
        operatorHand.stop();
        listed = rowsOf(dialog);
        dialog->list()->setCurrentItem(dialog->list()->topLevelItem(0));
        selectable = !dialog->list()->selectedItems().isEmpty();
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    });
    operatorHand.start(50);
    bench.window->openFindUnits();

    QCOMPARE(listed, QStringList{"0|more than one unit answers|"});
    QVERIFY(!selectable);
    QList<QByteArray> heard = sweepLines(1) << "@0$\r";
    QTest::qWait(200); // nothing follows the sweep
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

// The modal dialog keeps the window's stops out of reach: its own Hard Limit
// sends the shown panel's line between two questions, and Esc ends the sweep
// (two units answer the address question, so every address is asked).
void TestFindUnits::hardLimitDuringTheSweep()
{
    UnitOnLine rig(Model::VELD30, 9600, {QStringLiteral("--also-address"), QStringLiteral("7")});
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    rig.unit.clearRecord();

    qsizetype asked = -1;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto *dialog = bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits"));
        if (!dialog || !dialog->isVisible() || !dialog->isActiveWindow() ||
            rig.unit.receivedBytes().size() < 4)
            return;
        operatorHand.stop();
        asked = rig.unit.receivedBytes().size();
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdHardLimit")),
                          Qt::LeftButton);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    operatorHand.start(10);
    bench.window->openFindUnits();
    QTest::qWait(300); // nothing follows the Hard Limit

    QVERIFY(asked >= 4 && asked < 100);
    QList<QByteArray> heard = sweepLines(2, int(asked) - 2);
    heard << "@0H\r";
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QCOMPARE(rig.unit.received().last().baud, 9600);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QVERIFY(bench.recorder.messages.isEmpty());
}

QTEST_MAIN(TestFindUnits)
#include "tst_findunits.moc"
