// The read-back run of every panel against the simulated unit: the query lines
// and their order, what the labels, option buttons and entry boxes show
// afterwards, a silent unit, runs started inside another run's wait, and the
// guard state around a run.

#include "Texts.h"
#include "UnitSimProcess.h"
#include "Workbench.h"

#include "protocol/UnitCatalogue.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;

using Lines = QList<QByteArray>;

namespace {

Lines lines(const char *text)
{
    Lines result;
    for (const QByteArray &line : QByteArray(text).split(' '))
        result << line + '\r';
    return result;
}

// "name=text" pairs: the text each named label or entry box shows.
void checkTexts(Workbench &bench, const QStringList &expected)
{
    for (const QString &pair : expected) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString text = pair.section(QLatin1Char('='), 1);
        QWidget *w = bench.window->findChild<QWidget *>(name);
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(w))
            shown = label->text();
        else if (auto *box = qobject_cast<QLineEdit *>(w))
            shown = box->text();
        else
            QFAIL(qPrintable(name + QStringLiteral(": no such label or entry box")));
        QVERIFY2(
            shown == text,
            qPrintable(QStringLiteral("%1 shows \"%2\", expected \"%3\"").arg(name, shown, text)));
    }
}

void checkSelected(Workbench &bench, const QStringList &names)
{
    for (const QString &name : names) {
        auto *option = bench.find<QRadioButton>(name);
        QVERIFY2(option && option->isChecked(), qPrintable(name));
    }
}

// Nothing more arrives within this quiet time.
bool staysQuiet(const UnitSimProcess &unit, int count, int quietMs = 300)
{
    QTest::qWait(quietMs);
    return unit.received().size() == count;
}

QStringList boxTexts(const Panel &panel)
{
    QStringList texts;
    for (const auto &[key, box] : panel.boxes)
        texts << box->text();
    return texts;
}

} // namespace

class TestVerify : public QObject
{
    Q_OBJECT
  private slots:
    void runPerModel_data();
    void runPerModel();
    void fixedReplies_data();
    void fixedReplies();
    void silentUnit();
    void runStartedInsideAnotherRun_data();
    void runStartedInsideAnotherRun();
    void profileUpdateFillsEntryBoxes_data();
    void profileUpdateFillsEntryBoxes();
    void notConnectedClick_data();
    void notConnectedClick();
    void buttonsDisabledOnlyDuringRun();
    void runFromCodeWhileVerifyDisabled_data();
    void runFromCodeWhileVerifyDisabled();
};

void TestVerify::runPerModel_data()
{
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<Model>("panel");
    QTest::addColumn<Lines>("settings"); // put into the unit before the run
    QTest::addColumn<Lines>("queries");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("selected");

    // Profile 3 of the unit holds its profile-1 values plus 200.
    QTest::newRow("KTRA10") << "KTRA10" << Model::KTRA10 << lines("@0A3_777 @0- @0C1 @0R2 @0D1")
                            << lines("@0VA3 @0VB3 @0VM3 @0V+ @0VC @0VR @0VD @0!")
                            << QStringList{"lblProfileKTRA10=Speed Profile: 3",
                                           "lblVerifyInfoKTRA10_4=Acceleration: 777",
                                           "lblVerifyInfoKTRA10_5=Base Speed: 700",
                                           "lblVerifyInfoKTRA10_6=Max Speed: 5200",
                                           "lblVerifyDirectionKTRA10=Direction: CCW",
                                           "lblVerifyCurrentKTRA10=Reduced Current: ON",
                                           "lblVerifyMicrostepKTRA10=Microstep Resolution: 2",
                                           "lblVerifyRampKTRA10=Ramp Down: YES",
                                           "lblErrorKTRA10=Error Code: 0"}
                            << QStringList{"optCCWKTRA10", "optRCYesKTRA10", "optRes2KTRA10",
                                           "optRampDownYesKTRA10"};
    QTest::newRow("KTRA20") << "KTRA20" << Model::KTRA20
                            << lines("@0U3_15000 @0L3_1500 @0E1 @0C1 @0R4 @0D1")
                            << lines("@0VA3 @0VB3 @0VM3 @0VL3 @0VU3 @0VE @0VC @0VR @0VD @0!")
                            << QStringList{"lblProfileKTRA20=Speed Profile: 3",
                                           "lblVerifyInfoKTRA20_9=Acceleration: 210",
                                           "lblVerifyInfoKTRA20_8=Base Speed: 700",
                                           "lblVerifyInfoKTRA20_10=Max Speed: 5200",
                                           "lblVerifyInfoKTRA20_11=Lower Analog Speed: 1500",
                                           "lblVerifyInfoKTRA20_7=Upper Analog Speed: 15000",
                                           "lblVerifyAnalogSpeedKTRA20=Analog Speed: ON",
                                           "lblVerifyCurrentKTRA20=Reduced Current: ON",
                                           "lblVerifyMicrostepKTRA20=Microstep Resolution: 4",
                                           "lblVerifyRampKTRA20=Ramp Down: YES",
                                           "lblErrorKTRA20=Error Code: 0"}
                            << QStringList{"optAnalogOnKTRA20", "optRCYesKTRA20", "optRes4KTRA20",
                                           "optRampDownYesKTRA20"};
    QTest::newRow("KTRA30") << "KTRA30" << Model::KTRA30 << lines("@0B3_650 @0- @0C1 @0D1")
                            << lines("@0VA3 @0VB3 @0VM3 @0V+ @0VC @0VD @0!")
                            << QStringList{"lblProfileKTRA30=Speed Profile: 3",
                                           "lblVerifyInfoKTRA30_2=Acceleration: 10200",
                                           "lblVerifyInfoKTRA30_1=Base Speed: 650",
                                           "lblVerifyInfoKTRA30_0=Max Speed: 5200",
                                           "lblVerifyDirectionKTRA30=Direction: CCW",
                                           "lblVerifyCurrentKTRA30=Reduced Current: ON",
                                           "lblVerifyRampKTRA30=Ramp Down: YES",
                                           "lblErrorKTRA30=Error Code: 0"}
                            << QStringList{"optCCWKTRA30", "optRCYesKTRA30",
                                           "optRampDownYesKTRA30"};
    QTest::newRow("VELD10") << "VELD10" << Model::VELD10 << lines("@0N3_4000 @0- @0C1 @0R1")
                            << lines("@0VA3 @0VB3 @0VM3 @0VN3 @0V+ @0VC @0VR @0!")
                            << QStringList{"lblProfileVELD10=Motion Profile: 3",
                                           "lblVerifyInfoVELD10_0=Acceleration: 10200",
                                           "lblVerifyInfoVELD10_1=Base Speed: 700",
                                           "lblVerifyInfoVELD10_2=Max Speed: 5200",
                                           "lblVerifyInfoVELD10_3=Index Number: 4000",
                                           "lblVerifyDirectionVELD10=Direction: CCW",
                                           "lblVerifyCurrentVELD10=Reduced Current: ON",
                                           "lblVerifyMicrostepVELD10=Microstep Resolution: 1",
                                           "lblErrorVELD10=Error Code: 0"}
                            << QStringList{"optCCWVELD10", "optRCYesVELD10", "optRes1VELD10"};
    QTest::newRow("VELD20") << "VELD20" << Model::VELD20 << lines("@0T3_75 @0- @0C1")
                            << lines("@0VA3 @0VB3 @0VM3 @0VN3 @0VT3 @0V+ @0VC @0!")
                            << QStringList{"lblProfileVELD20=Motion Profile: 3",
                                           "lblVerifyInfoVELD20_6=Acceleration: 10200",
                                           "lblVerifyInfoVELD20_7=Base Speed: 700",
                                           "lblVerifyInfoVELD20_5=Max Speed: 5200",
                                           "lblVerifyInfoVELD20_4=Index Number: 200",
                                           "lblVerifyInfoVELD20_0=Complete Time: 75",
                                           "lblVerifyDirectionVELD20=Direction: CCW",
                                           "lblVerifyCurrentVELD20=Reduced Current: ON",
                                           "lblErrorVELD20=Error Code: 0"}
                            << QStringList{"optCCWVELD20", "optRCYesVELD20"};
    const QStringList veld30 = {
        "lblProfileVELD30=Motion Profile: 3",      "lblVerifyInfoVELD30_3=Acceleration: 10200",
        "lblVerifyInfoVELD30_2=Base Speed: 700",   "lblVerifyInfoVELD30_8=Max Speed: 4321",
        "lblVerifyInfoVELD30_9=Index Number: 200", "lblVerifyInfoVELD30_1=Complete Time: 250",
        "lblVerifyDirectionVELD30=Direction: CCW", "lblErrorVELD30=Error Code: 0",
        "lblSelectedAxis=Selected Axis: 0"};
    // The VELD30 unit is asked for its resolution after the direction.
    QTest::newRow("VELD30") << "VELD30" << Model::VELD30 << lines("@0M3_4321 @0- @0R2")
                            << lines("@0VA3 @0VB3 @0VM3 @0VN3 @0VT3 @0V+ @0VR @0!")
                            << veld30 + QStringList{"lblVerifyMicrostepVELD30=Microstep "
                                                    "Resolution: 2"}
                            << QStringList{"optCCWVELD30", "optRes2VELD30"};
    QTest::newRow("VELD50 on the VELD30 panel")
        << "VELD50" << Model::VELD30 << lines("@0M3_4321 @0-")
        << lines("@0VA3 @0VB3 @0VM3 @0VN3 @0VT3 @0V+ @0!")
        << veld30 + QStringList{"lblVerifyMicrostepVELD30=Microstep Resolution: "}
        << QStringList{"optCCWVELD30"};
}

void TestVerify::runPerModel()
{
    QFETCH(QString, unitModel);
    QFETCH(Model, panel);
    QFETCH(Lines, settings);
    QFETCH(Lines, queries);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, selected);
    UnitOnLine rig(unitOf(unitModel));
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(panel));
    rig.unit.clearRecord();
    for (const QByteArray &line : settings)
        QVERIFY(bench.link.write(line));
    QVERIFY(rig.unit.waitForLineCount(int(settings.size())));
    rig.unit.clearRecord();

    Panel &p = bench.panel(panel);
    const QStringList boxesBefore = boxTexts(p);
    bench.state.SelectedProfile = QStringLiteral("3");
    p.verify->click();

    // Only the queries: the option buttons the run selects send nothing.
    QVERIFY(staysQuiet(rig.unit, int(queries.size())));
    QCOMPARE(rig.unit.receivedAt(9600), queries);
    checkTexts(bench, texts);
    checkSelected(bench, selected);
    QCOMPARE(boxTexts(p), boxesBefore); // no copying without ProfileUpdate
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(!bench.window->session().profileUpdate());
    QVERIFY(p.verify->isEnabled());
    QVERIFY(p.go()->isEnabled());
    QVERIFY(!isWaitCursorShown());
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
}

void TestVerify::fixedReplies_data()
{
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("selected");

    QTest::newRow("KTRA10, 1 to everything")
        << "KTRA10"
        << "1"
        << QStringList{"lblVerifyInfoKTRA10_4=Acceleration: 1",
                       "lblVerifyInfoKTRA10_5=Base Speed: 1", "lblVerifyInfoKTRA10_6=Max Speed: 1",
                       "lblVerifyDirectionKTRA10=Direction: CW",
                       "lblVerifyCurrentKTRA10=Reduced Current: ON",
                       "lblVerifyMicrostepKTRA10=Microstep Resolution: 1",
                       "lblVerifyRampKTRA10=Ramp Down: YES", "lblErrorKTRA10=Error Code: 1",
                       // copied at identification, which asks for it
                       "txtSendAccelKTRA10=1", "txtSendBaseKTRA10=1", "txtSendMaxKTRA10=1"}
        << QStringList{"optCWKTRA10", "optRCYesKTRA10", "optRes1KTRA10", "optRampDownYesKTRA10"};
    QTest::newRow("KTRA10, 1.0 reads as one")
        << "KTRA10"
        << "1.0"
        << QStringList{"lblVerifyRampKTRA10=Ramp Down: YES",
                       "lblVerifyMicrostepKTRA10=Microstep Resolution: 1.0",
                       "lblVerifyInfoKTRA10_6=Max Speed: 1.0"}
        << QStringList{"optRampDownYesKTRA10", "optRes1KTRA10"};
    QTest::newRow("KTRA10, 2 is not one")
        << "KTRA10"
        << "2"
        << QStringList{"lblVerifyRampKTRA10=Ramp Down: NO",
                       "lblVerifyDirectionKTRA10=Direction: CCW",
                       "lblVerifyCurrentKTRA10=Reduced Current: OFF",
                       "lblVerifyMicrostepKTRA10=Microstep Resolution: 2"}
        << QStringList{"optRampDownNoKTRA10", "optCCWKTRA10", "optRCNoKTRA10", "optRes2KTRA10"};
    QTest::newRow("KTRA20, text where a number belongs")
        << "KTRA20"
        << "1st"
        << QStringList{"lblVerifyRampKTRA20=Ramp Down: NO",
                       "lblVerifyAnalogSpeedKTRA20=Analog Speed: ON",
                       "lblVerifyMicrostepKTRA20=Microstep Resolution: 1st",
                       "lblErrorKTRA20=Error Code: 1st"}
        << QStringList{"optRampDownNoKTRA20", "optAnalogOnKTRA20", "optRes1KTRA20"};
    QTest::newRow("KTRA20, 20000 and its CR")
        << "KTRA20"
        << "20000"
        << QStringList{"lblVerifyInfoKTRA20_7=Upper Analog Speed: 20000",
                       "lblVerifyInfoKTRA20_11=Lower Analog Speed: 20000",
                       "lblVerifyInfoKTRA20_10=Max Speed: 20000",
                       "lblErrorKTRA20=Error Code: 20000",
                       "lblVerifyMicrostepKTRA20=Microstep Resolution: 20000",
                       "txtSendUpperKTRA20=20000",
                       "txtSendMaxKTRA20=20000"}
        << QStringList{"optRes2KTRA20", "optRCNoKTRA20"};
    QTest::newRow("KTRA30, first character decides the ramp")
        << "KTRA30"
        << "1x"
        << QStringList{"lblVerifyRampKTRA30=Ramp Down: YES",
                       "lblVerifyDirectionKTRA30=Direction: CW",
                       "lblVerifyInfoKTRA30_2=Acceleration: 1x"}
        << QStringList{"optRampDownYesKTRA30", "optCWKTRA30"};
    QTest::newRow("VELD10, 16 microsteps select setting 1")
        << "VELD10"
        << "16"
        << QStringList{"lblVerifyMicrostepVELD10=Microstep Resolution: 16",
                       "lblVerifyInfoVELD10_3=Index Number: 16"}
        << QStringList{"optRes1VELD10", "optCWVELD10", "optRCYesVELD10"};
}

// The unit answers every query with the same text (and a CR).
void TestVerify::fixedReplies()
{
    QFETCH(QString, unitModel);
    QFETCH(QString, reply);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, selected);
    UnitOnLine rig(unitOf(unitModel, 9600,
                          {QStringLiteral("--mode"), QStringLiteral("fixed"),
                           QStringLiteral("--fixed-reply"), reply}));
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    const Model panel = static_cast<Model>(bench.window->SSTab1()->currentIndex());
    QCOMPARE(modelId(panel), unitModel);
    rig.unit.clearRecord();

    bench.panel(panel).verify->click();
    const int count = int(unitFacts(panel).plan.size());
    QVERIFY(staysQuiet(rig.unit, count));
    for (const QByteArray &line : rig.unit.receivedBytes())
        QVERIFY2(line.startsWith("@0V") || line == "@0!\r", line.constData());
    checkTexts(bench, texts);
    checkSelected(bench, selected);
    for (QLabel *label : bench.panel(panel).page->findChildren<QLabel *>())
        QVERIFY2(!label->text().contains(QLatin1Char('\r')), qPrintable(label->objectName()));
    QVERIFY(bench.recorder.messages.isEmpty());
}

// A unit that never answers: each query costs the 0.05 s wait and the
// reader's 0.1 s. The port is opened directly and the connected flag set by
// hand, since a scan against a silent unit would only give up.
void TestVerify::silentUnit()
{
    UnitOnLine rig(Model::KTRA30, 9600, {QStringLiteral("--mode"), QStringLiteral("silent")});
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.session.LoadConfiguration();
    QVERIFY(bench.link.OpenComPort(1, 9600));
    bench.state.UnitConnected = true;
    bench.state.AxisAddress = QStringLiteral("0");
    bench.state.SelectedProfile = QStringLiteral("1");
    bench.window->session().updateProfileOnNextRun();
    Panel &p = bench.panel(Model::KTRA30);

    QElapsedTimer clock;
    clock.start();
    const double t0 = double(clock.msecsSinceReference()) / 1000.0;
    p.verify->click();
    const qint64 elapsed = clock.elapsed();

    QVERIFY(staysQuiet(rig.unit, 7));
    const QList<ReceivedLine> got = rig.unit.received();
    QCOMPARE(bytesOf(got), lines("@0VA1 @0VB1 @0VM1 @0V+ @0VC @0VD @0!"));
    // The flush before the first query waits its 0.1 s.
    QVERIFY2(got[0].t - t0 >= 0.095 && got[0].t - t0 < 0.4,
             qPrintable(QString::number(got[0].t - t0)));
    // Each query: 0.05 s, the 0.1 s read limit, and 0.1 s more for a late reply.
    for (int i = 1; i < got.size(); ++i) {
        const double gap = got[i].t - got[i - 1].t;
        QVERIFY2(gap >= 0.24 && gap < 0.6,
                 qPrintable(QStringLiteral("gap %1: %2").arg(i).arg(gap)));
    }
    QVERIFY2(elapsed >= 1800 && elapsed < 3500, qPrintable(QString::number(elapsed)));

    // No answer is no value: bare labels, and the buttons as they were.
    checkTexts(bench,
               {"lblProfileKTRA30=Speed Profile: 1", "lblVerifyInfoKTRA30_2=Acceleration: ",
                "lblVerifyInfoKTRA30_1=Base Speed: ", "lblVerifyInfoKTRA30_0=Max Speed: ",
                "lblVerifyDirectionKTRA30=Direction: ", "lblVerifyCurrentKTRA30=Reduced Current: ",
                "lblVerifyRampKTRA30=Ramp Down: ", "lblErrorKTRA30=Error Code: ",
                // emptied: the copy is in force for this run
                "txtSendAccelKTRA30=", "txtSendBaseKTRA30=", "txtSendMaxKTRA30="});
    for (const auto &[option, button] : p.options)
        QVERIFY2(!button->isChecked(), qPrintable(button->objectName()));
    QVERIFY(!bench.window->session().profileUpdate());
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestVerify::runStartedInsideAnotherRun_data()
{
    QTest::addColumn<bool>("profileButton");
    QTest::newRow("another panel's Verify") << false;
    QTest::newRow("a profile button of the same panel") << true;
}

// A KTRA20 run; 0.3 s in, inside one of its waits, a second run starts. The
// second runs to its end; the first stops after its current read and shows
// nothing more.
void TestVerify::runStartedInsideAnotherRun()
{
    QFETCH(bool, profileButton);
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    rig.unit.clearRecord();
    MainWindow &w = *bench.window;
    Panel &ktra20 = bench.panel(Model::KTRA20);
    Panel &ktra10 = bench.panel(Model::KTRA10);

    int timesWhenNested = 0;
    QTimer::singleShot(300, [&] {
        timesWhenNested = w.session().times();
        if (profileButton)
            ktra20.profiles[2]->click();
        else
            w.pressVerify(Model::KTRA10);
    });
    ktra20.verify->click();
    QCOMPARE(timesWhenNested, 1);

    const Lines first = lines("@0VA1 @0VB1 @0VM1 @0VL1 @0VU1 @0VE @0VC @0VR @0VD @0!");
    const Lines second = profileButton
                             ? lines("@0VA2 @0VB2 @0VM2 @0VL2 @0VU2 @0VE @0VC @0VR @0VD @0!")
                             : lines("@0VA1 @0VB1 @0VM1 @0V+ @0VC @0VR @0VD @0!");
    QVERIFY(staysQuiet(rig.unit, int(rig.unit.received().size())));
    const Lines got = rig.unit.receivedBytes();
    const qsizetype older = got.size() - second.size();
    QVERIFY2(older >= 1 && older < first.size(), qPrintable(QString::number(older)));
    QCOMPARE(got.mid(0, older), first.mid(0, older));
    QCOMPARE(got.mid(older), second);

    // What the KTRA20 labels show for each of its queries, profile 1 then 2.
    const QStringList label = {"lblVerifyInfoKTRA20_9",  "lblVerifyInfoKTRA20_8",
                               "lblVerifyInfoKTRA20_10", "lblVerifyInfoKTRA20_11",
                               "lblVerifyInfoKTRA20_7",  "lblVerifyAnalogSpeedKTRA20",
                               "lblVerifyCurrentKTRA20", "lblVerifyMicrostepKTRA20",
                               "lblVerifyRampKTRA20",    "lblErrorKTRA20"};
    const QStringList profile1 = {"Acceleration: 10",
                                  "Base Speed: 500",
                                  "Max Speed: 5000",
                                  "Lower Analog Speed: 1000",
                                  "Upper Analog Speed: 20000",
                                  "Analog Speed: OFF",
                                  "Reduced Current: OFF",
                                  "Microstep Resolution: 8",
                                  "Ramp Down: NO",
                                  "Error Code: 0"};
    const QStringList profile2 = {"Acceleration: 110",
                                  "Base Speed: 600",
                                  "Max Speed: 5100",
                                  "Lower Analog Speed: 1100",
                                  "Upper Analog Speed: 20100",
                                  "Analog Speed: OFF",
                                  "Reduced Current: OFF",
                                  "Microstep Resolution: 8",
                                  "Ramp Down: NO",
                                  "Error Code: 0"};
    QStringList expected;
    for (int i = 0; i < label.size(); ++i) {
        QString text;
        if (profileButton)
            text = profile2[i]; // the second run's reset and replies, nothing of the first
        else if (i < older - 1)
            text = profile1[i];
        else
            text = profile1[i].section(QLatin1String(": "), 0, 0) + QStringLiteral(": ");
        expected << label[i] + QLatin1Char('=') + text;
    }
    if (profileButton) {
        expected << "lblProfileKTRA20=Speed Profile: 2"
                 << "txtSendAccelKTRA20=110"
                 << "txtSendBaseKTRA20=600"
                 << "txtSendMaxKTRA20=5100"
                 << "txtSendLowerKTRA20=1100"
                 << "txtSendUpperKTRA20=20100";
    } else {
        expected << "lblProfileKTRA20=Speed Profile: 1"
                 << "lblProfileKTRA10=Speed Profile: 1"
                 << "lblVerifyInfoKTRA10_4=Acceleration: 10"
                 << "lblVerifyInfoKTRA10_5=Base Speed: 500"
                 << "lblVerifyInfoKTRA10_6=Max Speed: 5000";
    }
    checkTexts(bench, expected);

    for (Panel *p : {&ktra20, &ktra10}) {
        QVERIFY(p->verify->isEnabledTo(p->page));
        QVERIFY(p->go()->isEnabledTo(p->page));
    }
    QCOMPARE(w.session().times(), 0);
    QVERIFY(!w.session().profileUpdate());
    QVERIFY(!isWaitCursorShown());
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestVerify::profileUpdateFillsEntryBoxes_data()
{
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<Lines>("settings");
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("KTRA10, copy in force")
        << "KTRA10"
        << "flag" << lines("@0A1_10000 @0B1_500 @0M1_5000")
        << QStringList{"txtSendAccelKTRA10=10000", "txtSendBaseKTRA10=500",
                       "txtSendMaxKTRA10=5000"};
    QTest::newRow("KTRA10, no copy")
        << "KTRA10"
        << "none" << lines("@0A1_10000 @0B1_500 @0M1_5000")
        << QStringList{"txtSendAccelKTRA10=1", "txtSendBaseKTRA10=2", "txtSendMaxKTRA10=3"};
    QTest::newRow("KTRA10, profile 3 button")
        << "KTRA10"
        << "profile 3" << lines("@0M3_7777")
        << QStringList{"txtSendAccelKTRA10=210", "txtSendBaseKTRA10=700", "txtSendMaxKTRA10=7777",
                       "lblProfileKTRA10=Speed Profile: 3"};
    // The box's length limit is for typing; the unit's text is copied whole.
    QTest::newRow("KTRA20, value longer than the box takes by typing")
        << "KTRA20"
        << "flag" << lines("@0A1_10000 @0B1_12345")
        << QStringList{"txtSendAccelKTRA20=10000", "txtSendBaseKTRA20=12345",
                       "txtSendMaxKTRA20=5000"};
}

void TestVerify::profileUpdateFillsEntryBoxes()
{
    QFETCH(QString, unitModel);
    QFETCH(QString, trigger);
    QFETCH(Lines, settings);
    QFETCH(QStringList, boxes);
    UnitOnLine rig(unitOf(unitModel));
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    const Model model = static_cast<Model>(bench.window->SSTab1()->currentIndex());
    rig.unit.clearRecord();
    for (const QByteArray &line : settings)
        QVERIFY(bench.link.write(line));
    QVERIFY(rig.unit.waitForLineCount(int(settings.size())));
    rig.unit.clearRecord();
    Panel &p = bench.panel(model);
    p.boxes.at(ParamKey::Accel)->setText(QStringLiteral("1"));
    p.boxes.at(ParamKey::Base)->setText(QStringLiteral("2"));
    p.boxes.at(ParamKey::Max)->setText(QStringLiteral("3"));

    if (trigger == QLatin1String("profile 3")) {
        p.profiles[3]->click();
    } else {
        bench.window->session().updateProfileOnNextRun(trigger == QLatin1String("flag"));
        p.verify->click();
    }
    // Writing a box sends nothing: only the queries went out.
    const int count = int(unitFacts(model).plan.size());
    QVERIFY(staysQuiet(rig.unit, count, 600));
    for (const QByteArray &line : rig.unit.receivedBytes())
        QVERIFY2(line.startsWith("@0V") || line == "@0!\r", line.constData());
    checkTexts(bench, boxes);
    QVERIFY(!bench.window->session().profileUpdate());
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestVerify::notConnectedClick_data()
{
    QTest::addColumn<Model>("model");
    for (Model model : AllModels)
        QTest::addRow("%s", qPrintable(modelId(model))) << model;
}

// The flag decides, not the port: with the line open but no unit identified a
// click still sends nothing.
void TestVerify::notConnectedClick()
{
    QFETCH(Model, model);
    UnitOnLine rig(model);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.session.LoadConfiguration();
    QVERIFY(bench.link.OpenComPort(1, 9600));
    bench.state.AxisAddress = QStringLiteral("0");
    bench.state.SelectedProfile = QStringLiteral("1");
    bench.window->session().updateProfileOnNextRun();
    Panel &p = bench.panel(model);

    p.verify->click();
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
    QCOMPARE(bench.recorder.messages[0].text, NotConnectedText);
    QVERIFY(staysQuiet(rig.unit, 0));
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.window->session().profileUpdate());
    QCOMPARE(p.label(ReadbackRole::Error)->text(), QStringLiteral("Error Code"));
    QVERIFY(p.verify->isEnabled());
    QVERIFY(p.go()->isEnabled());
}

void TestVerify::buttonsDisabledOnlyDuringRun()
{
    UnitOnLine rig(Model::KTRA20);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    MainWindow &w = *bench.window;
    Panel &p = bench.panel(Model::KTRA20);
    Panel &other = bench.panel(Model::VELD10);

    struct Seen
    {
        bool taken = false, verify = true, go = true, soft = false, hard = false, send = false,
             option = false, otherVerify = false, otherGo = false, cursor = false;
        int times = 0;
    } seen;
    QTimer::singleShot(300, [&] {
        seen = {true,
                p.verify->isEnabled(),
                p.go()->isEnabled(),
                p.motion[1]->isEnabled(),
                p.motion[2]->isEnabled(),
                p.sendButtons.at(ParamKey::Max)->isEnabled(),
                p.options.at(Option::RCYes)->isEnabled(),
                other.verify->isEnabledTo(other.page),
                other.go()->isEnabledTo(other.page),
                isWaitCursorShown(),
                w.session().times()};
    });
    p.verify->click();
    QVERIFY(seen.taken);
    QVERIFY(!seen.verify);
    QVERIFY(!seen.go);
    QVERIFY(seen.soft && seen.hard && seen.send && seen.option);
    QVERIFY(seen.otherVerify && seen.otherGo);
    QVERIFY(seen.cursor);
    QCOMPARE(seen.times, 1);

    QVERIFY(p.verify->isEnabled());
    QVERIFY(p.go()->isEnabled());
    QVERIFY(!isWaitCursorShown());
    QCOMPARE(w.session().times(), 0);
}

void TestVerify::runFromCodeWhileVerifyDisabled_data()
{
    QTest::addColumn<bool>("viaOption");
    QTest::newRow("pressed from code") << false;
    QTest::newRow("after an option button's setting") << true;
}

void TestVerify::runFromCodeWhileVerifyDisabled()
{
    QFETCH(bool, viaOption);
    UnitOnLine rig(Model::KTRA10);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    rig.unit.clearRecord();
    Panel &p = bench.panel(Model::KTRA10);
    p.verify->setEnabled(false);

    Lines expected;
    if (viaOption) {
        QVERIFY(p.options.at(Option::CW)->isChecked());
        p.options.at(Option::CCW)->click();
        expected << "@0-\r";
    } else {
        bench.window->pressVerify(Model::KTRA10);
    }
    expected += lines("@0VA1 @0VB1 @0VM1 @0V+ @0VC @0VR @0VD @0!");
    QVERIFY(staysQuiet(rig.unit, int(expected.size())));
    QCOMPARE(rig.unit.receivedBytes(), expected);
    checkTexts(bench, {QStringLiteral("lblVerifyDirectionKTRA10=Direction: ") +
                       (viaOption ? "CCW" : "CW")});
    QVERIFY(p.verify->isEnabled());
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.recorder.messages.isEmpty());
}

QTEST_MAIN(TestVerify)
#include "tst_verify.moc"
