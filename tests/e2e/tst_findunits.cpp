// Setup > Find Units on the Line: the sweep over every address at the
// connection's rate, the list it shows, and choosing a unit as Axis Select
// does; without a connection it sends nothing.

#include "ConnectedRig.h"
#include "UnitSimProcess.h"
#include "Workbench.h"

#include "ui/FindUnitsDialog.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace ktv;
using namespace ktv::test;

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

// The model query at addresses 0 to count - 1, as the sweep asks them.
QList<QByteArray> sweepLines(int count = 100)
{
    QList<QByteArray> lines;
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
    void notConnectedSendsNothing();
    void twoUnitsAtOneAddress();
    void hardLimitDuringTheSweep();
};

void TestFindUnits::chooseTheSecondUnit()
{
    Rig rig(Model::VELD30, {QStringLiteral("--also-address"), QStringLiteral("7")});
    QVERIFY(rig.connect());
    Workbench &bench = *rig.bench;
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
    QList<QByteArray> heard = sweepLines();
    heard += QList<QByteArray>{"@7$\r"} + verifyQueries(Model::VELD30, "7");
    QVERIFY(rig.unit.waitForLineCount(int(heard.size())));
    QTest::qWait(200);
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

void TestFindUnits::notConnectedSendsNothing()
{
    Rig rig(Model::VELD30);
    QVERIFY(rig.connect());
    Workbench &bench = *rig.bench;
    bench.window->pressDisconnect();

    bench.window->openFindUnits();

    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].text,
             QStringLiteral("There in no unit connected!  \r\n\r\nA unit must be ONLINE before "
                            "you can send any information. \r\nGo to the Setup Menu to configure "
                            "the Com Port and CONNECT to the unit."));
    QVERIFY(!bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits")));
    QTest::qWait(200);
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
}

// Two units at 0 answer each "@0$" together: the address is listed as such
// and cannot be chosen.
void TestFindUnits::twoUnitsAtOneAddress()
{
    Rig rig(Model::VELD30, {QStringLiteral("--also-address"), QStringLiteral("0")});
    QVERIFY(rig.connect());
    Workbench &bench = *rig.bench;

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
    QList<QByteArray> heard = sweepLines();
    QTest::qWait(200);
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

// The modal dialog keeps the window's stops out of reach: its own Hard Limit
// sends the shown panel's line between two questions, and Esc ends the sweep.
void TestFindUnits::hardLimitDuringTheSweep()
{
    Rig rig(Model::VELD30);
    QVERIFY(rig.connect());
    Workbench &bench = *rig.bench;
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    rig.unit.clearRecord();

    qsizetype asked = -1;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto *dialog = bench.find<FindUnitsDialog>(QStringLiteral("frmFindUnits"));
        if (!dialog || !dialog->isVisible() || !dialog->isActiveWindow() ||
            rig.unit.receivedBytes().size() < 3)
            return;
        operatorHand.stop();
        asked = rig.unit.receivedBytes().size();
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdHardLimit")),
                          Qt::LeftButton);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    operatorHand.start(10);
    bench.window->openFindUnits();
    QTest::qWait(300);

    QVERIFY(asked >= 3 && asked < 100);
    QList<QByteArray> heard = sweepLines(int(asked));
    heard << "@0H\r";
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QCOMPARE(rig.unit.received().last().baud, 9600);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QVERIFY(bench.recorder.messages.isEmpty());
}

QTEST_MAIN(TestFindUnits)
#include "tst_findunits.moc"
