// The axis dialogs of the VELD30 panel against the simulated unit: choosing
// the address the program talks to, the digit filter of both boxes, asking
// the unit for its address and giving it a new one, with the port open,
// closed, or impossible to open.

#include "Texts.h"
#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "ui/AxisDialogs.h"
#include "ui/Panel.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

namespace {

QString selectedAxisText(Workbench &bench)
{
    return bench.panel(Model::VELD30).label(ReadbackRole::SelectedAxis)->text();
}

QString accelText(Workbench &bench)
{
    Panel &panel = bench.panel(Model::VELD30);
    return panel.info.at(panel.entry().infoIndex(Field::Accel))->text();
}

const QString OpenFailedText = QStringLiteral(
    "Error Opening Com Port 1 - The com port is already open by another device (mouse, modem, "
    "etc.) or it does not exist.");

enum class Close { Ok, Cancel, CloseBox, EnterKey, EscKey };

void closeDialog(AxisDialog *dialog, Close how)
{
    switch (how) {
    case Close::Ok:
        dialog->pressOk();
        break;
    case Close::Cancel:
        dialog->pressCancel();
        break;
    case Close::CloseBox:
        dialog->close();
        break;
    case Close::EnterKey:
        QTest::keyClick(dialog->textBox(), Qt::Key_Return);
        break;
    case Close::EscKey:
        QTest::keyClick(dialog->textBox(), Qt::Key_Escape);
        break;
    }
}

} // namespace

class TestAxis : public QObject
{
    Q_OBJECT
  private slots:
    void selectThenReadBack_data();
    void selectThenReadBack();
    void openingAgainDoesNotReload();
    void digitFilter_data();
    void digitFilter();
    void defineGivesTheUnitANewAddress();
    void defineDiscardsWhatWasWaiting();
    void defineWithThePortClosed_data();
    void defineWithThePortClosed();
    void defineWhenThePortCannotOpen();
    void defineWithNoDeviceForThePort();
    void defineWithNoAnswer();
    void defineRefusesTwoUnits();
};

void TestAxis::selectThenReadBack_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("close");
    QTest::addColumn<QString>("axis");
    QTest::addColumn<bool>("connected"); // else the operator disconnected first
    // The model the journal gives a Send of Max Speed afterwards; none, no Send.
    QTest::addColumn<QString>("journalModel");

    // A VELD50 answers at 7: nothing has asked it who it is.
    QTest::newRow("7 and OK, then Send") << "7" << int(Close::Ok) << "7" << true << "null";
    QTest::newRow("05 keeps its zero") << "05" << int(Close::Ok) << "05" << true << "";
    QTest::newRow("9 and the Enter key") << "9" << int(Close::EnterKey) << "9" << true << "";
    QTest::newRow("7 then Cancel, then Send")
        << "7" << int(Close::Cancel) << "0" << true << "VELD30";
    QTest::newRow("7 then the Esc key") << "7" << int(Close::EscKey) << "0" << true << "";
    QTest::newRow("7 then the close box") << "7" << int(Close::CloseBox) << "0" << true << "";
    QTest::newRow("empty box and OK") << "" << int(Close::Ok) << "0" << true << "";
    QTest::newRow("7 and OK, not connected") << "7" << int(Close::Ok) << "7" << false << "";
}

void TestAxis::selectThenReadBack()
{
    QFETCH(QString, typed);
    QFETCH(int, close);
    QFETCH(QString, axis);
    QFETCH(bool, connected);
    QFETCH(QString, journalModel);
    UnitOnLine rig(unitOf(Model::VELD30, 9600, {"--also-address", "7", "--also-model", "VELD50"}));
    Workbench bench(rig);
    QVERIFY(bench.connect());
    QCOMPARE(selectedAxisText(bench), QStringLiteral("Selected Axis: 0"));
    if (!connected)
        bench.window->pressDisconnect();

    bench.window->openAxisSelect();
    AxisSelectDialog *dialog = bench.window->axisSelectDialog();
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->lblCurrentAxis()->text(), QStringLiteral("Current Axis: 0"));
    QTest::keyClicks(dialog->textBox(), typed);
    QCOMPARE(dialog->textBox()->text(), typed);
    QTest::qWait(100); // the dialog itself sends nothing, not even late
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});

    closeDialog(dialog, Close(close));
    QVERIFY(!dialog->isVisible());
    QVERIFY(!dialog->isLoaded());
    QCOMPARE(bench.state.AxisAddress, axis);
    QCOMPARE(bench.window->session().times(), 0);
    if (!connected) {
        // The read-back starts and finds no unit.
        QTest::qWait(300); // a line or a second message would have come by now
        QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
        QCOMPARE(bench.recorder.messages.size(), 1);
        QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
        QCOMPARE(bench.recorder.messages[0].text, NotConnectedText);
        QCOMPARE(selectedAxisText(bench), QStringLiteral("Selected Axis: 0"));
        return;
    }
    // The read-back is the first thing the unit hears at the new axis.
    const QList<QByteArray> heard = verifyQueries(Model::VELD30, axis.toLatin1());
    QVERIFY(rig.unit.waitForLineCount(heard.size()));
    QTest::qWait(200); // nothing follows the read-back
    QCOMPARE(rig.unit.receivedBytes(), heard);
    QCOMPARE(selectedAxisText(bench), QStringLiteral("Selected Axis: ") + axis);
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    if (journalModel.isEmpty())
        return;

    // The Send and its read-back, and nothing after them.
    rig.unit.clearRecord();
    bench.box(Model::VELD30, ParamKey::Max)->setText(QStringLiteral("5200"));
    bench.window->pressSend(Model::VELD30, ParamKey::Max);
    QTest::qWait(300); // nothing follows the read-back
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{"@" + axis.toLatin1() + "M1_5200\r"} +
                                           verifyQueries(Model::VELD30, axis.toLatin1()));
    QCOMPARE(journalRows(bench.journalPath, QStringLiteral("model, axis, value, verdict")),
             QStringList{journalModel + "|" + axis + "|5200|confirmed"});
    QCOMPARE(bench.recorder.texts(), QStringList{});
}

void TestAxis::openingAgainDoesNotReload()
{
    UnitOnLine rig(Model::VELD30);
    Workbench bench(rig);
    QVERIFY(bench.connect());

    bench.window->openAxisSelect();
    AxisSelectDialog *select = bench.window->axisSelectDialog();
    QTest::keyClicks(select->textBox(), QStringLiteral("4"));
    bench.state.AxisAddress = QStringLiteral("3"); // would show if the dialog loaded again
    bench.window->openAxisSelect();
    QVERIFY(select->isVisible());
    QCOMPARE(select->lblCurrentAxis()->text(), QStringLiteral("Current Axis: 0"));
    QCOMPARE(select->textBox()->text(), QStringLiteral("4"));
    bench.state.AxisAddress = QStringLiteral("0");

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{"@%\r"});
    QTest::keyClicks(define->textBox(), QStringLiteral("6"));
    bench.window->openAxisDefine();
    QTest::qWait(300); // a second "@%" would have come by now
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{"@%\r"});
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:0\r"));
    QCOMPARE(define->textBox()->text(), QStringLiteral("6"));
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestAxis::digitFilter_data()
{
    QTest::addColumn<QString>("keys");      // typed one key at a time
    QTest::addColumn<QString>("clipboard"); // then pasted, unless null
    QTest::addColumn<bool>("byShortcut");   // Ctrl+V, else the box's paste()
    QTest::addColumn<QString>("expected");

    const QString none;
    QTest::newRow("4 then 2") << "42" << none << false << "42";
    QTest::newRow("letter after a digit empties") << "4a" << none << false << "";
    QTest::newRow("digit after a letter stays") << "a5" << none << false << "5";
    QTest::newRow("blank after a digit empties") << "4 " << none << false << "";
    QTest::newRow("third digit not taken") << "123" << none << false << "12";
    QTest::newRow("Ctrl+V of 4a") << ""
                                  << "4a" << true << "";
    QTest::newRow("Ctrl+V of 42") << ""
                                  << "42" << true << "42";
    QTest::newRow("paste of a letter after a typed digit") << "1"
                                                           << "x" << false << "";
    QTest::newRow("paste of 4a without a key") << ""
                                               << "4a" << false << "";
    QTest::newRow("paste of digits outside ASCII")
        << "" << QStringLiteral("\u0664\u0662") << false << "";
}

// Both dialogs' boxes, with no unit needed: the select dialog loads without
// the line, the define box is filtered the same way while it is not shown.
void TestAxis::digitFilter()
{
    QFETCH(QString, keys);
    QFETCH(QString, clipboard);
    QFETCH(bool, byShortcut);
    QFETCH(QString, expected);
    Workbench bench;
    bench.window->openAxisSelect();
    QLineEdit *boxes[] = {bench.window->axisSelectDialog()->textBox(),
                          bench.window->axisDefineDialog()->textBox()};
    for (QLineEdit *box : boxes) {
        QTest::keyClicks(box, keys);
        if (!clipboard.isNull()) {
            QGuiApplication::clipboard()->setText(clipboard);
            if (byShortcut)
                QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            else
                box->paste();
        }
        QCOMPARE(box->text(), expected);
    }
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestAxis::defineGivesTheUnitANewAddress()
{
    UnitOnLine rig(Model::VELD30);
    Workbench bench(rig);
    QVERIFY(bench.connect());

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(define->WasOpen, 1);
    QCOMPARE(define->TempVar, QStringLiteral("0\r"));
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:0\r"));
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{"@%\r"});
    QTest::keyClicks(define->textBox(), QStringLiteral("1x"));
    QCOMPARE(define->textBox()->text(), QString());
    QTest::keyClicks(define->textBox(), QStringLiteral("12"));
    rig.unit.clearRecord();

    // The new address goes out; the program keeps talking to 0, where no
    // unit answers any more.
    define->pressOk();
    QVERIFY(rig.unit.waitForLineCount(1 + verifyQueries(Model::VELD30, "0").size()));
    QCOMPARE(rig.unit.receivedBytes(),
             QList<QByteArray>{"@~12\r"} + verifyQueries(Model::VELD30, "0"));
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QCOMPARE(accelText(bench), QStringLiteral("Acceleration: "));
    QVERIFY(!define->isVisible());
    QVERIFY(bench.link.PortOpen());

    // Selecting 12 reaches the unit again.
    rig.unit.clearRecord();
    bench.window->openAxisSelect();
    QTest::keyClicks(bench.window->axisSelectDialog()->textBox(), QStringLiteral("12"));
    bench.window->axisSelectDialog()->pressOk();
    QCOMPARE(rig.unit.receivedBytes(), verifyQueries(Model::VELD30, "12"));
    QCOMPARE(accelText(bench), QStringLiteral("Acceleration: 10000"));
    QCOMPARE(selectedAxisText(bench), QStringLiteral("Selected Axis: 12"));

    // And the unit names its new address.
    rig.unit.clearRecord();
    bench.window->openAxisDefine();
    QCOMPARE(define->TempVar, QStringLiteral("12\r"));
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:12\r"));
    define->pressCancel();
    QCOMPARE(rig.unit.receivedBytes(),
             QList<QByteArray>{"@%\r"} + verifyQueries(Model::VELD30, "12"));

    // Connect identifies the unit at the selected address, then talks to 0
    // again, where the unit no longer answers.
    rig.unit.clearRecord();
    bench.window->pressConnect();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QCOMPARE(rig.unit.receivedBytes(),
             QList<QByteArray>({"\r", "@12!\r", "@12$\r"}) + verifyQueries(Model::VELD30, "0"));
    QCOMPARE(accelText(bench), QStringLiteral("Acceleration: "));
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

// A unit that acknowledges commands leaves "OK" waiting after Begin Motion;
// the address question must not take that for its answer.
void TestAxis::defineDiscardsWhatWasWaiting()
{
    UnitOnLine rig(Model::VELD30, 9600, {QStringLiteral("--ack")});
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    rig.unit.clearRecord();
    bench.window->pressGo(Model::VELD30);
    QVERIFY(waitUntil([&] { return bench.link.InBufferCount() > 0; }, 2000));
    QTest::qWait(100);

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(define->TempVar, QStringLiteral("0\r"));
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:0\r"));
    QCOMPARE(rig.unit.receivedBytes(), (QList<QByteArray>{"@0G1\r", "@%\r"}));
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestAxis::defineWithThePortClosed_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("close");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("Cancel") << "12" << int(Close::Cancel) << QList<QByteArray>{"@%\r"};
    QTest::newRow("close box") << "12" << int(Close::CloseBox) << QList<QByteArray>{"@%\r"};
    QTest::newRow("empty box and OK") << "" << int(Close::Ok) << QList<QByteArray>{"@%\r"};
    QTest::newRow("12 and OK") << "12" << int(Close::Ok) << QList<QByteArray>{"@%\r", "@~12\r"};
}

// Disconnected: the dialog opens the port itself, asks, and closes it again
// without a read-back.
void TestAxis::defineWithThePortClosed()
{
    QFETCH(QString, typed);
    QFETCH(int, close);
    QFETCH(QList<QByteArray>, lines);
    UnitOnLine rig(Model::VELD30);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->pressDisconnect();
    QVERIFY(!bench.link.PortOpen());
    const QString accelBefore = accelText(bench);

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(define->WasOpen, 0);
    QVERIFY(bench.link.PortOpen());
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:0\r"));
    QTest::keyClicks(define->textBox(), typed);
    closeDialog(define, Close(close));
    QTest::qWait(400); // a read-back would have begun by now

    QVERIFY(!bench.link.PortOpen());
    QVERIFY(!define->isVisible());
    QCOMPARE(rig.unit.receivedBytes(), lines);
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QVERIFY(!bench.state.UnitConnected);
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
    QCOMPARE(accelText(bench), accelBefore);
}

// Another program holds the line: the dialog says so and sends nothing; the
// operator then frees the line and connects while the dialog stays open.
// Closing the dialog must leave that connection alone.
void TestAxis::defineWhenThePortCannotOpen()
{
    UnitOnLine rig(Model::VELD30);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->pressDisconnect();
    QSerialPort other;
    other.setPortName(rig.unit.devicePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    const QByteArray storeBefore = fileBytes(bench.storePath);

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[0].text, OpenFailedText);
    QVERIFY(!bench.link.PortOpen());
    QTest::qWait(200); // a line would have come by now
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:"));

    other.close();
    bench.window->pressConnect();
    QVERIFY(bench.state.UnitConnected);
    rig.unit.clearRecord();
    QTest::keyClicks(define->textBox(), QStringLiteral("12"));
    define->pressCancel();
    QTest::qWait(300); // a line would have come by now
    QVERIFY(bench.link.PortOpen());
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

void TestAxis::defineWithNoDeviceForThePort()
{
    Workbench bench(QStringLiteral("/nonexistent/ktv-line"));
    bench.load(); // every open fails at once
    QVERIFY(!bench.state.UnitConnected);
    bench.recorder.messages.clear();
    const QByteArray storeBefore = fileBytes(bench.storePath);

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QCOMPARE(bench.recorder.messages[0].text, OpenFailedText);
    QVERIFY(!bench.link.PortOpen());
    define->pressOk();
    QVERIFY(!define->isVisible());
    QVERIFY(!bench.link.PortOpen());
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

// Disconnected, and the unit on the line has gone quiet: the question gets
// no answer and the label shows nothing after its caption.
void TestAxis::defineWithNoAnswer()
{
    QTemporaryDir lineDir;
    QVERIFY(lineDir.isValid());
    const QString line = lineDir.filePath(QStringLiteral("line"));
    UnitSimOptions options = unitOf(Model::VELD30);
    options.extraArgs = {QStringLiteral("--link"), line};
    UnitSimProcess first(options);
    QVERIFY(first.start());
    Workbench bench(line);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    bench.window->pressDisconnect();
    first.terminate();
    options.mode = QStringLiteral("silent");
    UnitSimProcess silent(options);
    QVERIFY(silent.start());

    QElapsedTimer clock;
    clock.start();
    bench.window->openAxisDefine();
    QVERIFY(clock.elapsed() < 1000);
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(define->TempVar, QString());
    QCOMPARE(define->lblCurrentAxis()->text(), QStringLiteral("Current Axis Definition:"));
    QCOMPARE(silent.receivedBytes(), QList<QByteArray>{"@%\r"});
    define->pressCancel();
    QVERIFY(!bench.link.PortOpen());
    QVERIFY(bench.recorder.messages.isEmpty());
}

// Units at 0 and 42 both answer "@%": the dialog says so, and OK sends
// no new address to both.
void TestAxis::defineRefusesTwoUnits()
{
    UnitOnLine rig(Model::VELD30, 9600, {QStringLiteral("--also-address"), QStringLiteral("42")});
    Workbench bench(rig);
    QVERIFY(bench.connect());

    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QCOMPARE(define->TempVar, QStringLiteral("0\r42\r"));
    QCOMPARE(define->lblCurrentAxis()->text(),
             QStringLiteral("Current Axis Definition: more than one unit answers"));
    QTest::keyClicks(define->textBox(), QStringLiteral("9"));
    define->pressOk();

    QVERIFY(!define->isVisible());
    QCOMPARE(bench.recorder.texts(),
             QStringList{"More than one unit answers on the line, so the axis was not defined: a "
                         "new address would go to every one of them. Connect only the unit whose "
                         "address you want to change."});
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Exclamation);
    QVERIFY(rig.unit.waitForLineCount(1 + verifyQueries(Model::VELD30, "0").size()));
    QTest::qWait(200); // nothing follows the read-back
    QCOMPARE(rig.unit.receivedBytes(),
             QList<QByteArray>{"@%\r"} + verifyQueries(Model::VELD30, "0"));
    QCOMPARE(bench.state.AxisAddress, QStringLiteral("0"));
}

QTEST_MAIN(TestAxis)
#include "tst_axis.moc"
