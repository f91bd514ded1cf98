// Parameter entry against the simulated unit: what the Send buttons and the
// leave-the-box path put on the line, what they refuse and with which warning,
// and what follows a send (the half-second wait and the panel's read-back).

#include "Texts.h"
#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "ui/Panel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

Q_DECLARE_METATYPE(ktv::Model)
Q_DECLARE_METATYPE(ktv::ParamKey)

namespace {

enum class Path { Send, Leave, Both };

QString plainCharactersText(const QString &rangeName)
{
    return QStringLiteral("Waring: The ") + rangeName +
           QStringLiteral(" value may hold only plain characters: no \"@\", no line breaks or "
                          "control characters, nothing outside ASCII");
}

QLabel *readbackLabel(Panel &panel, ParamKey key)
{
    return panel.info.at(panel.entry().infoIndex(fieldOf(key)));
}

} // namespace

class TestParameters : public QObject
{
    Q_OBJECT
  private slots:
    void sendWritesLineThenReadsBack_data();
    void sendWritesLineThenReadsBack();
    void leaveWritesLineWithoutReadBack_data();
    void leaveWritesLineWithoutReadBack();
    void refusedWhileConnected_data();
    void refusedWhileConnected();
    void notConnected_data();
    void notConnected();
    void sendClickedFromItsOwnBoxRunsBothPaths();
    void sendInsideAnotherSendsWait();
    void messageLeavesFocusWhereItWent_data();
    void messageLeavesFocusWhereItWent();
    void hugeText_data();
    void hugeText();
    void menuDoesNotLeaveTheBox_data();
    void menuDoesNotLeaveTheBox();
};

void TestParameters::sendWritesLineThenReadsBack_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("axis");
    QTest::addColumn<int>("profile");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("shown"); // the read-back label after the run

    // Axis 12 is not the unit's address: the line and the queries still go
    // out, the unit stays silent.
    QTest::newRow("VELD10 Index 2000 at axis 12 with profile 3")
        << Model::VELD10 << ParamKey::Index << "2000"
        << "12" << 3 << QByteArray("@12N3_2000\r") << "Index Number: ";
    QTest::newRow("VELD10 empty Index reads 0 and goes out empty")
        << Model::VELD10 << ParamKey::Index << ""
        << "0" << 1 << QByteArray("@0N1_\r") << "Index Number: ";
    QTest::newRow("KTRA10 Accel 12abc goes out with its letters")
        << Model::KTRA10 << ParamKey::Accel << "12abc"
        << "0" << 1 << QByteArray("@0A1_12abc\r") << "Acceleration: 12abc";
    QTest::newRow("KTRA30 Base 1 000 goes out with its blank")
        << Model::KTRA30 << ParamKey::Base << "1 000"
        << "0" << 1 << QByteArray("@0B1_1 000\r") << "Base Speed: 1 000";
    QTest::newRow("KTRA30 Base 5,000 reads 5 and goes out unchanged")
        << Model::KTRA30 << ParamKey::Base << "5,000"
        << "0" << 1 << QByteArray("@0B1_5,000\r") << "Base Speed: 5,000";
    QTest::newRow("KTRA10 Accel at its upper limit 255")
        << Model::KTRA10 << ParamKey::Accel << "255"
        << "0" << 1 << QByteArray("@0A1_255\r") << "Acceleration: 255";
    QTest::newRow("KTRA10 Base 1e3 reads 1000, profile 2")
        << Model::KTRA10 << ParamKey::Base << "1e3"
        << "0" << 2 << QByteArray("@0B2_1e3\r") << "Base Speed: 1e3";
    QTest::newRow("VELD10 Accel 9999999 passes the Send limit")
        << Model::VELD10 << ParamKey::Accel << "9999999"
        << "0" << 1 << QByteArray("@0A1_9999999\r") << "Acceleration: 9999999";
    QTest::newRow("KTRA20 Lower equal to Base passes")
        << Model::KTRA20 << ParamKey::Lower << "500"
        << "0" << 1 << QByteArray("@0L1_500\r") << "Lower Analog Speed: 500";
    QTest::newRow("VELD20 Complete 1.5 fraction at axis 05")
        << Model::VELD20 << ParamKey::Complete << "1.5"
        << "05" << 1 << QByteArray("@05T1_1.5\r") << "Complete Time: ";
}

void TestParameters::sendWritesLineThenReadsBack()
{
    QFETCH(Model, model);
    QFETCH(ParamKey, key);
    QFETCH(QString, text);
    QFETCH(QString, axis);
    QFETCH(int, profile);
    QFETCH(QByteArray, line);
    QFETCH(QString, shown);
    UnitOnLine rig(model);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    if (profile != 1) {
        bench.window->selectProfile(model, profile);
        QCOMPARE(bench.state.SelectedProfile, QString::number(profile));
    }
    bench.state.AxisAddress = axis; // "05" reaches unit 5, never unit 0
    bench.box(model, key)->setText(text);
    QCOMPARE(bench.box(model, key)->text(), text); // within the box's length
    rig.unit.clearRecord();

    QElapsedTimer clock;
    clock.start();
    bench.window->pressSend(model, key);
    QVERIFY(clock.elapsed() >= 500);

    const QByteArray profileText = QByteArray::number(profile);
    const QList<QByteArray> expected =
        QList<QByteArray>{line} + verifyQueries(model, axis.toLatin1(), profileText);
    QVERIFY(rig.unit.waitForLineCount(expected.size()));
    const QList<ReceivedLine> got = rig.unit.received();
    QCOMPARE(bytesOf(got), expected);
    // The half-second wait, then the read-back's flush and its first query.
    const double gap = got.at(1).t - got.at(0).t;
    QVERIFY2(gap >= 0.5 && gap < 1.0, qPrintable(QString::number(gap)));

    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QCOMPARE(bench.box(model, key)->text(), text);
    QCOMPARE(readbackLabel(bench.panel(model), key)->text(), shown);
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.panel(model).verify->isEnabled());
}

void TestParameters::leaveWritesLineWithoutReadBack_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("VELD10 Accel 1e7 passes the leave limit")
        << Model::VELD10 << ParamKey::Accel << "1e7" << QByteArray("@0A1_1e7\r");
    QTest::newRow("KTRA20 Upper 30000")
        << Model::KTRA20 << ParamKey::Upper << "30000" << QByteArray("@0U1_30000\r");
    QTest::newRow("VELD20 empty Index")
        << Model::VELD20 << ParamKey::Index << "" << QByteArray("@0N1_\r");
}

void TestParameters::leaveWritesLineWithoutReadBack()
{
    QFETCH(Model, model);
    QFETCH(ParamKey, key);
    QFETCH(QString, text);
    QFETCH(QByteArray, line);
    UnitOnLine rig(model);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.box(model, key)->setText(text);
    const QString labelBefore = readbackLabel(bench.panel(model), key)->text();

    QElapsedTimer clock;
    clock.start();
    bench.window->leaveBox(model, key);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 500 && elapsed < 1000, qPrintable(QString::number(elapsed)));

    // Nothing follows the line: no read-back now and none later.
    QVERIFY(rig.unit.waitForLineCount(1));
    QTest::qWait(300);
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{line});
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(readbackLabel(bench.panel(model), key)->text(), labelBefore);
    QCOMPARE(bench.box(model, key)->text(), text);
}

void TestParameters::refusedWhileConnected_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<ParamKey>("otherKey"); // a second box of the panel
    QTest::addColumn<QString>("otherText"); // a null text leaves it at its default
    QTest::addColumn<int>("path");
    QTest::addColumn<QString>("message");

    const int send = int(Path::Send);
    const int leave = int(Path::Leave);
    const int both = int(Path::Both);
    const auto K = [](ParamKey k) { return k; };
    // The limits' own table holds every refusal; these rows prove that the
    // window shows one on the Send path, on leaving a box and across two
    // boxes, and that nothing reaches the line.
    QTest::newRow("VELD10 Accel 1e7 on the Send path")
        << Model::VELD10 << K(ParamKey::Accel) << "1e7" << K(ParamKey::Accel) << QString() << send
        << "Waring: The Accel upper limit is 9,999,999";
    QTest::newRow("VELD10 Accel smuggling a second command after CR")
        << Model::VELD10 << K(ParamKey::Accel) << "10\r@0G1" << K(ParamKey::Accel) << QString()
        << both << plainCharactersText("Accel");
    QTest::newRow("KTRA20 Lower 30000 above Upper 20000")
        << Model::KTRA20 << K(ParamKey::Lower) << "30000" << K(ParamKey::Upper) << "20000" << leave
        << "Waring: The Lower Analog Speed value must be lower than the Upper Analog Speed value";
}

void TestParameters::refusedWhileConnected()
{
    QFETCH(Model, model);
    QFETCH(ParamKey, key);
    QFETCH(QString, text);
    QFETCH(ParamKey, otherKey);
    QFETCH(QString, otherText);
    QFETCH(int, path);
    QFETCH(QString, message);
    UnitOnLine rig(model);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.box(model, key)->setText(text);
    QCOMPARE(bench.box(model, key)->text(), text); // within the box's length
    if (!otherText.isNull())
        bench.box(model, otherKey)->setText(otherText);
    QMap<ParamKey, QString> boxesBefore;
    for (auto &[k, box] : bench.panel(model).boxes)
        boxesBefore.insert(k, box->text());
    const QByteArray storeBefore = fileBytes(bench.storePath);
    // While the warning is up, nothing of the line has gone out either.
    QList<int> linesAtMessage;
    bench.recorder.onMessage = [&](const RecordedMessage &) {
        linesAtMessage << rig.unit.received().size();
    };

    QList<RecordedMessage> expected;
    if (path != int(Path::Leave)) {
        bench.window->pressSend(model, key);
        expected << RecordedMessage{MessageIcon::Exclamation, message};
    }
    if (path != int(Path::Send)) {
        bench.window->leaveBox(model, key);
        expected << RecordedMessage{MessageIcon::Exclamation, message};
    }
    QTest::qWait(200); // a line or a further message would have come by now

    QCOMPARE(bench.recorder.messages.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(bench.recorder.messages[i].icon, expected[i].icon);
        QCOMPARE(bench.recorder.messages[i].text, expected[i].text);
        QCOMPARE(linesAtMessage[i], 0);
    }
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    for (auto &[k, box] : bench.panel(model).boxes)
        QCOMPARE(box->text(), boxesBefore.value(k));
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->session().times(), 0);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

void TestParameters::notConnected_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<ParamKey>("key");
    QTest::addColumn<QString>("accel"); // the KTRA20 boxes
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("max");
    QTest::addColumn<int>("icon"); // -1: no message at all
    QTest::addColumn<QString>("message");

    const int none = -1;
    const int send = int(Path::Send);
    const int leave = int(Path::Leave);
    QTest::newRow("out of range, Send")
        << send << ParamKey::Accel << "300"
        << "500"
        << "5000" << int(MessageIcon::Exclamation) << "Waring: The Accel upper limit is 255";
    QTest::newRow("out of range, leave")
        << leave << ParamKey::Accel << "300"
        << "500"
        << "5000" << int(MessageIcon::Exclamation) << "Waring: The Accel upper limit is 255";
    QTest::newRow("in range, Send") << send << ParamKey::Accel << "20"
                                    << "500"
                                    << "5000" << int(MessageIcon::None) << NotConnectedText;
    QTest::newRow("in range, leave silent") << leave << ParamKey::Accel << "20"
                                            << "500"
                                            << "5000" << none << QString();
    QTest::newRow("Base above Max, Send shows not connected")
        << send << ParamKey::Base << "10"
        << "500"
        << "300" << int(MessageIcon::None) << NotConnectedText;
    QTest::newRow("Max below Base, leave silent") << leave << ParamKey::Max << "10"
                                                  << "500"
                                                  << "300" << none << QString();
}

// The unit was connected and the operator disconnected: the range checks
// still speak, the connection test comes before the order checks.
void TestParameters::notConnected()
{
    QFETCH(int, path);
    QFETCH(ParamKey, key);
    QFETCH(QString, accel);
    QFETCH(QString, base);
    QFETCH(QString, max);
    QFETCH(int, icon);
    QFETCH(QString, message);
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->pressDisconnect();
    QVERIFY(!bench.state.UnitConnected);
    const QMap<ParamKey, QString> texts = {
        {ParamKey::Accel, accel}, {ParamKey::Base, base}, {ParamKey::Max, max}};
    for (auto it = texts.begin(); it != texts.end(); ++it)
        bench.box(Model::KTRA20, it.key())->setText(it.value());
    const QByteArray storeBefore = fileBytes(bench.storePath);

    QElapsedTimer clock;
    clock.start();
    if (path == int(Path::Send))
        bench.window->pressSend(Model::KTRA20, key);
    else
        bench.window->leaveBox(Model::KTRA20, key);
    QVERIFY(clock.elapsed() < 400); // no wait after a refusal
    QTest::qWait(200);              // a line or a further message would have come by now

    if (icon < 0) {
        QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    } else {
        QCOMPARE(bench.recorder.messages.size(), 1);
        QCOMPARE(int(bench.recorder.messages[0].icon), icon);
        QCOMPARE(bench.recorder.messages[0].text, message);
    }
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QVERIFY(!bench.link.PortOpen());
    for (auto it = texts.begin(); it != texts.end(); ++it)
        QCOMPARE(bench.box(Model::KTRA20, it.key())->text(), it.value());
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

// Clicking a Send button takes the focus out of its box, so both paths run:
// the value goes out twice and the read-back runs once.
void TestParameters::sendClickedFromItsOwnBoxRunsBothPaths()
{
    UnitOnLine rig(Model::VELD10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    QLineEdit *box = bench.box(Model::VELD10, ParamKey::Max);
    box->setText(QStringLiteral("2000"));
    box->setFocus(Qt::TabFocusReason);
    QVERIFY(box->hasFocus());
    // Whatever box had the focus before has been left by now.
    QTest::qWait(800);
    rig.unit.clearRecord();
    bench.recorder.messages.clear();

    QPushButton *send = bench.panel(Model::VELD10).sendButtons.at(ParamKey::Max);
    QTest::mouseClick(send, Qt::LeftButton);
    const QList<QByteArray> expected =
        QList<QByteArray>{"@0M1_2000\r", "@0M1_2000\r"} + verifyQueries(Model::VELD10, "0", "1");
    QVERIFY(rig.unit.waitForLineCount(expected.size()));
    QTest::qWait(800); // a second read-back would have started by now
    QCOMPARE(rig.unit.receivedBytes(), expected);
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(QApplication::focusWidget(), send);
    QCOMPARE(bench.window->session().times(), 0);
}

// A second Send pressed during the first one's wait runs at once: the two
// lines follow each other whole, then two complete read-backs.
void TestParameters::sendInsideAnotherSendsWait()
{
    UnitOnLine rig(Model::VELD10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.box(Model::VELD10, ParamKey::Accel)->setText(QStringLiteral("20000"));
    bench.box(Model::VELD10, ParamKey::Base)->setText(QStringLiteral("400"));
    QTimer::singleShot(200, bench.window.get(),
                       [&] { bench.window->pressSend(Model::VELD10, ParamKey::Base); });
    bench.window->pressSend(Model::VELD10, ParamKey::Accel);

    const QList<QByteArray> run = verifyQueries(Model::VELD10, "0", "1");
    const QList<QByteArray> expected = QList<QByteArray>{"@0A1_20000\r", "@0B1_400\r"} + run + run;
    QVERIFY(rig.unit.waitForLineCount(expected.size()));
    QTest::qWait(200); // nothing follows the two read-backs
    const QList<ReceivedLine> got = rig.unit.received();
    QCOMPARE(bytesOf(got), expected);
    QVERIFY(got.at(1).t - got.at(0).t < 0.5);
    Panel &panel = bench.panel(Model::VELD10);
    QCOMPARE(readbackLabel(panel, ParamKey::Accel)->text(), QStringLiteral("Acceleration: 20000"));
    QCOMPARE(readbackLabel(panel, ParamKey::Base)->text(), QStringLiteral("Base Speed: 400"));
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(bench.window->session().times(), 0);
}

void TestParameters::messageLeavesFocusWhereItWent_data()
{
    QTest::addColumn<bool>("clickSend"); // else the operator tabs to the Base box
    QTest::addColumn<int>("messages");
    QTest::newRow("Tab to the next box") << false << 1;
    QTest::newRow("click the box's own Send button") << true << 2;
}

void TestParameters::messageLeavesFocusWhereItWent()
{
    QFETCH(bool, clickSend);
    QFETCH(int, messages);
    UnitOnLine rig(Model::VELD10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    QLineEdit *max = bench.box(Model::VELD10, ParamKey::Max);
    QLineEdit *base = bench.box(Model::VELD10, ParamKey::Base);
    max->setFocus(Qt::TabFocusReason);
    QTest::qWait(800);
    max->setText(QStringLiteral("60000"));
    rig.unit.clearRecord();
    bench.recorder.messages.clear();

    QWidget *target = base;
    if (clickSend) {
        target = bench.panel(Model::VELD10).sendButtons.at(ParamKey::Max);
        QTest::mouseClick(target, Qt::LeftButton);
    } else {
        base->setFocus(Qt::TabFocusReason);
    }
    QVERIFY(waitUntil([&] { return bench.recorder.messages.size() >= messages; }));
    QTest::qWait(300); // no further message follows

    QCOMPARE(bench.recorder.messages.size(), messages);
    for (const RecordedMessage &m : bench.recorder.messages)
        QCOMPARE(m.text, QStringLiteral("Waring: The Max Speed upper limit is 50,000"));
    QCOMPARE(QApplication::focusWidget(), target);
    QCOMPARE(max->text(), QStringLiteral("60000"));
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
}

void TestParameters::hugeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sent");
    QTest::newRow("100,000 digits")
        << (QStringLiteral("1") + QString(99999, QLatin1Char('0'))) << false;
    QTest::newRow("100 and blanks to 100,000 characters")
        << (QStringLiteral("100") + QString(99997, QLatin1Char(' '))) << true;
}

// The KTRA30 Accel box has no length limit of its own.
void TestParameters::hugeText()
{
    QFETCH(QString, text);
    QFETCH(bool, sent);
    UnitOnLine rig(Model::KTRA30);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    QLineEdit *box = bench.box(Model::KTRA30, ParamKey::Accel);
    box->setText(text);
    const QString held = box->text(); // the box may cut what it cannot hold
    QVERIFY(!held.isEmpty() && text.startsWith(held));

    bench.window->pressSend(Model::KTRA30, ParamKey::Accel);
    if (!sent) {
        QTest::qWait(200); // a line would have come by now
        QCOMPARE(bench.recorder.texts(),
                 QStringList{QStringLiteral("Waring: The Accel upper limit is 9,999,999")});
        QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    } else {
        const QList<QByteArray> expected = QList<QByteArray>{"@0A1_" + held.toLatin1() + "\r"} +
                                           verifyQueries(Model::KTRA30, "0", "1");
        QVERIFY(rig.unit.waitForLineCount(expected.size()));
        QCOMPARE(rig.unit.receivedBytes(), expected);
        QVERIFY(bench.recorder.messages.isEmpty());
    }
    QCOMPARE(box->text(), held);
    QVERIFY(bench.state.UnitConnected);
}

void TestParameters::menuDoesNotLeaveTheBox_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Alt alone, Esc") << "alt";
    QTest::newRow("Alt+F, Esc") << "alt+f";
    QTest::newRow("the File menu's popup opened by mouse, Esc") << "mouse";
}

// A menu taking the keyboard and giving it back is not leaving the box:
// what is typed there stays unsent, and no Esc reaches the Hard Limit.
void TestParameters::menuDoesNotLeaveTheBox()
{
    QFETCH(QString, how);
    // A style whose menu bar takes the keyboard on Alt, as most desktops' do.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    const auto fusion = qScopeGuard(
        [] { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); });
    UnitOnLine rig(Model::VELD10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    QLineEdit *box = bench.box(Model::VELD10, ParamKey::Max);
    box->setFocus(Qt::TabFocusReason);
    QTest::qWait(800); // whatever box had the focus before has been left
    box->setText(QStringLiteral("2000"));
    rig.unit.clearRecord();
    bench.recorder.messages.clear();

    QMenuBar *bar = bench.window->menuBar();
    auto *file = bench.find<QMenu>(QStringLiteral("mnuFile"));
    QVERIFY(file);
    if (how == QLatin1String("alt")) {
        QTest::keyClick(box, Qt::Key_Alt);
        QTRY_COMPARE(QApplication::focusWidget(), bar);
        QTest::qWait(300); // a leave action would have run by now
        QTest::keyClick(bar, Qt::Key_Escape);
    } else {
        if (how == QLatin1String("mouse"))
            QTest::mouseClick(bar, Qt::LeftButton, {},
                              bar->actionGeometry(file->menuAction()).center());
        else
            QTest::keyClick(box, Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), file);
        QTest::keyClick(file, Qt::Key_Escape);
        QTRY_VERIFY(!file->isVisible());
        QTest::qWait(300); // a leave action would have run by now
        // This platform leaves the closed menu the active window and forgets
        // where the focus was: the operator clicks back into the box.
        bench.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
        QTest::mouseClick(box, Qt::LeftButton);
    }
    QTRY_COMPARE(QApplication::focusWidget(), box);
    QTest::qWait(700); // a leave action would have sent by now

    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(box->text(), QStringLiteral("2000"));
}

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
