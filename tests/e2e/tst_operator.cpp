// What an operator meets in the window when things go wrong: the settings
// dialog driven with real keys and clicks once it is shown and active, the
// profile display, refused option clicks, a value typed for one profile, the
// axis dialogs and Connect while the connection changes, and a unit that
// answers too late.

#include "Wire.h"
#include "Workbench.h"

#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

const QString NotConnectedText = QStringLiteral(
    "There in no unit connected!  \r\n\r\nA unit must be ONLINE before you can send any "
    "information. \r\nGo to the Setup Menu to configure the Com Port and CONNECT to the unit.");

// Runs act on the modal dialog once it is shown and active, as the operator
// meets it; gives up after 5 s.
void whenDialogActive(const std::function<void(QWidget *)> &act)
{
    auto *timer = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        QWidget *dialog = QApplication::activeModalWidget();
        const bool ready = dialog && dialog->isVisible() && dialog->isActiveWindow();
        if (!ready && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (ready)
            act(dialog);
        else if (dialog)
            dialog->close();
    });
    timer->start(10);
}

void showWindow(Workbench &bench)
{
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
}

QRadioButton *radio(Workbench &bench, const QString &name)
{
    return bench.find<QRadioButton>(name);
}

} // namespace

class TestOperator : public QObject
{
    Q_OBJECT
  private slots:
    void settingsOkWithoutChoiceChangesNothing();
    void settingsClosedKeepsTheConnection_data();
    void settingsClosedKeepsTheConnection();
    void profileShownIsTheProfileSent();
    void refusedOptionClickIsTakenBack();
    void valueTypedForAProfileGoesToIt();
    void axisDialogClosesWhenTheConnectionChanges();
    void connectDisabledDuringScan();
    void lateUnitShowsNoValues();
};

void TestOperator::settingsOkWithoutChoiceChangesNothing()
{
    Workbench bench(QStringLiteral("/nonexistent/ktv-line"), 0);
    bench.session.LoadConfiguration();
    showWindow(bench);
    const QByteArray storeBefore = fileBytes(bench.storePath);

    whenDialogActive([](QWidget *dialog) {
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btnOK")),
                          Qt::LeftButton);
    });
    bench.window->openCommSettings();

    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QCOMPARE(bench.state.ComPortNumber, 0);
    QCOMPARE(bench.recorder.texts(), QStringList{});
}

void TestOperator::settingsClosedKeepsTheConnection_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc") << "esc";
    QTest::newRow("close box") << "close";
    QTest::newRow("Cancel") << "cancel";
}

void TestOperator::settingsClosedKeepsTheConnection()
{
    QFETCH(QString, how);
    UnitOnLine rig(Model::VELD20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    showWindow(bench);
    const QByteArray storeBefore = fileBytes(bench.storePath);

    whenDialogActive([how](QWidget *dialog) {
        if (how == QLatin1String("esc"))
            QTest::keyClick(dialog, Qt::Key_Escape);
        else if (how == QLatin1String("close"))
            dialog->close();
        else
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btnCancel")),
                              Qt::LeftButton);
    });
    bench.window->openCommSettings();

    QVERIFY(bench.state.UnitConnected);
    QVERIFY(bench.link.PortOpen());
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is Connected"));
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QCOMPARE(bench.recorder.texts(), QStringList{});
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

void TestOperator::profileShownIsTheProfileSent()
{
    UnitOnLine rig(Model::KTRA10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    showWindow(bench);

    QTest::mouseClick(radio(bench, "optProfile4KTRA10"), Qt::LeftButton);
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("4"));
    // A panel without profile 4 shows none.
    for (const char *name : {"optProfile1KTRA20", "optProfile2KTRA20"})
        QVERIFY2(!radio(bench, name)->isChecked(), name);

    // Refused without a unit: the panel goes on showing profile 4.
    bench.window->pressDisconnect();
    rig.unit.clearRecord();
    QTest::mouseClick(radio(bench, "optProfile2KTRA10"), Qt::LeftButton);
    QCOMPARE(bench.recorder.texts(), QStringList{NotConnectedText});
    QVERIFY(radio(bench, "optProfile4KTRA10")->isChecked());
    QVERIFY(!radio(bench, "optProfile2KTRA10")->isChecked());
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("4"));

    // Connected again, a click on the profile shown reads it back.
    bench.window->pressConnect();
    QVERIFY(bench.state.UnitConnected);
    rig.unit.clearRecord();
    QTest::mouseClick(radio(bench, "optProfile4KTRA10"), Qt::LeftButton);
    QCOMPARE(rig.unit.receivedBytes(), verifyQueries(Model::KTRA10, "0", "4"));
    QTest::mouseClick(bench.panel(Model::KTRA10).go(), Qt::LeftButton);
    QVERIFY(rig.unit.waitForLineCount(9));
    QCOMPARE(rig.unit.receivedBytes().last(), QByteArray("@0G4\r"));
}

void TestOperator::refusedOptionClickIsTakenBack()
{
    UnitOnLine rig(Model::KTRA10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    showWindow(bench);
    QVERIFY(radio(bench, "optRes8KTRA10")->isChecked());
    bench.window->pressDisconnect();

    QTest::mouseClick(radio(bench, "optRes4KTRA10"), Qt::LeftButton);

    QCOMPARE(bench.recorder.texts(), QStringList{NotConnectedText});
    QVERIFY(radio(bench, "optRes8KTRA10")->isChecked());
    QVERIFY(!radio(bench, "optRes4KTRA10")->isChecked());
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

void TestOperator::valueTypedForAProfileGoesToIt()
{
    UnitOnLine rig(Model::KTRA10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    showWindow(bench);
    QTest::mouseClick(radio(bench, "optProfile2KTRA10"), Qt::LeftButton);
    QLineEdit *accel = bench.box(Model::KTRA10, ParamKey::Accel);
    QTest::mouseClick(accel, Qt::LeftButton);
    accel->selectAll();
    QTest::keyClicks(accel, QStringLiteral("200"));
    rig.unit.clearRecord();

    // Leaving the box by clicking profile 1.
    QTest::mouseClick(radio(bench, "optProfile1KTRA10"), Qt::LeftButton);
    QVERIFY(rig.unit.waitForLineCount(1 + verifyQueries(Model::KTRA10).size()));
    QTest::qWait(700); // a write to profile 1 would have come by now

    const Lines heard = rig.unit.receivedBytes();
    QVERIFY2(heard.contains("@0A2_200\r"), heard.join(' ').constData());
    QVERIFY(!heard.contains("@0A1_200\r"));
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("1"));
}

void TestOperator::axisDialogClosesWhenTheConnectionChanges()
{
    UnitOnLine rig(Model::VELD30);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    showWindow(bench);
    bench.window->openAxisDefine();
    AxisDefineDialog *define = bench.window->axisDefineDialog();
    QVERIFY(define->isVisible());
    define->textBox()->setText(QStringLiteral("7"));

    bench.window->pressConnect();

    QVERIFY(bench.state.UnitConnected);
    QVERIFY(!define->isVisible());
    QVERIFY(!define->isLoaded());
    const Lines expected = Lines{"@%\r"} + Exchange + verifyQueries(Model::VELD30);
    QVERIFY(rig.unit.waitForLineCount(int(expected.size())));
    QTest::qWait(300); // nothing follows the read-back
    QCOMPARE(rig.unit.receivedBytes(), expected);
    QCOMPARE(bench.recorder.texts(), QStringList{});
}

void TestOperator::connectDisabledDuringScan()
{
    UnitOnLine rig(Model::KTRA20, 9600, {QStringLiteral("--mode"), QStringLiteral("silent")});
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.session.LoadConfiguration();
    showWindow(bench);
    bool disabledDuring = false;
    QTimer::singleShot(300, [&] {
        disabledDuring =
            !bench.window->mnuConnect()->isEnabled() && !bench.window->cmdConnect()->isEnabled();
        bench.window->mnuConnect()->trigger();
        QTest::keyClick(bench.window.get(), Qt::Key_C, Qt::ControlModifier);
    });

    bench.window->pressConnect();

    QVERIFY(disabledDuring);
    QVERIFY(bench.window->mnuConnect()->isEnabled());
    QCOMPARE(bench.recorder.texts(),
             QStringList{QStringLiteral("The unit DID NOT CONNECT.  \r\rPlease check Com Port "
                                        "Setting, Cables and Power.")});
    // One scan: three lines at each rate.
    QCOMPARE(rig.unit.receivedBytes().size(), 12);
}

void TestOperator::lateUnitShowsNoValues()
{
    UnitOnLine rig(Model::KTRA10, 9600,
                   {QStringLiteral("--mode"), QStringLiteral("slow"), QStringLiteral("--slow-ms"),
                    QStringLiteral("200")});
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);

    QCOMPARE(bench.find<QLabel>("lblVerifyDirectionKTRA10")->text(), QStringLiteral("Direction: "));
    QCOMPARE(bench.find<QLabel>("lblVerifyInfoKTRA10_6")->text(), QStringLiteral("Max Speed: "));
    for (const auto &[option, button] : bench.panel(Model::KTRA10).options)
        QVERIFY2(!button->isChecked(), qPrintable(button->objectName()));
    QCOMPARE(bench.window->statusBar()->currentMessage(),
             QStringLiteral("No answer from the unit at address 0 to: Accel/Decel, Base Speed, "
                            "Max Speed, Direction, Reduced Current, Microstep Resolution, Ramp "
                            "Down, Error Code"));
    QCOMPARE(bench.recorder.texts(), QStringList{});
}

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
