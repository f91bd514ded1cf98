// Drive options and profiles against the simulated unit: the set line an
// option writes, the wait and the read-back after it, the silence of options
// while a read-back runs or no unit is connected, and what a profile choice
// queries and loads into the entry boxes.

#include "Texts.h"
#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "ui/Panel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using BoxTexts = QMap<ktv::ParamKey, QString>;
Q_DECLARE_METATYPE(ktv::Model)
Q_DECLARE_METATYPE(ktv::Option)
Q_DECLARE_METATYPE(BoxTexts)

namespace {

BoxTexts boxTexts(const Panel &panel)
{
    BoxTexts texts;
    for (const auto &[key, box] : panel.boxes)
        texts.insert(key, box->text());
    return texts;
}

constexpr int NoOption = -1;

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT
  private slots:
    void optionWritesLineThenReadsBack_data();
    void optionWritesLineThenReadsBack();
    void optionInsideAnotherOptionsWait();
    void optionDuringReadBackSendsNothing_data();
    void optionDuringReadBackSendsNothing();
    void profileDuringReadBackStillQueries();
    void notConnected_data();
    void notConnected();
    void profileQueriesAndLoadsBoxes_data();
    void profileQueriesAndLoadsBoxes();
    void profileSurvivesConnectionToAnotherModel();
    void selectedButtonAgainSendsNothing_data();
    void selectedButtonAgainSendsNothing();
};

void TestOptions::optionWritesLineThenReadsBack_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<int>("first"); // an option chosen before, so that the one under test changes
    QTest::addColumn<Option>("option");
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Option>("shown"); // selected once the read-back has run

    // Axes 5 and 07 are not the unit's address: the line and the queries go
    // out, the unit stays silent, and the read-back shows what silence
    // decodes to (direction CCW, resolution 8).
    QTest::newRow("VELD20 CCW at axis 5")
        << Model::VELD20 << NoOption << Option::CCW << "5" << QByteArray("@5-\r") << Option::CCW;
    QTest::newRow("KTRA10 CW after CCW") << Model::KTRA10 << int(Option::CCW) << Option::CW << "0"
                                         << QByteArray("@0+\r") << Option::CW;
    QTest::newRow("KTRA20 analog speed ON") << Model::KTRA20 << NoOption << Option::AnalogOn << "0"
                                            << QByteArray("@0E1\r") << Option::AnalogOn;
    QTest::newRow("KTRA20 analog speed OFF after ON")
        << Model::KTRA20 << int(Option::AnalogOn) << Option::AnalogOff << "0"
        << QByteArray("@0E0\r") << Option::AnalogOff;
    QTest::newRow("KTRA10 ramp down YES") << Model::KTRA10 << NoOption << Option::RampDownYes << "0"
                                          << QByteArray("@0D1\r") << Option::RampDownYes;
    QTest::newRow("KTRA30 ramp down NO after YES")
        << Model::KTRA30 << int(Option::RampDownYes) << Option::RampDownNo << "0"
        << QByteArray("@0D0\r") << Option::RampDownNo;
    QTest::newRow("VELD10 reduced current ON") << Model::VELD10 << NoOption << Option::RCYes << "0"
                                               << QByteArray("@0C1\r") << Option::RCYes;
    QTest::newRow("KTRA10 resolution 1")
        << Model::KTRA10 << NoOption << Option::Res1 << "0" << QByteArray("@0R1\r") << Option::Res1;
    // Nobody answers at axis 07: the read-back leaves the buttons as they were.
    QTest::newRow("KTRA20 resolution 4 at axis 07")
        << Model::KTRA20 << NoOption << Option::Res4 << "07" << QByteArray("@07R4\r")
        << Option::Res4;
    QTest::newRow("VELD30 resolution 8 after 2")
        << Model::VELD30 << int(Option::Res2) << Option::Res8 << "0" << QByteArray("@0R8\r")
        << Option::Res8;
}

void TestOptions::optionWritesLineThenReadsBack()
{
    QFETCH(Model, model);
    QFETCH(int, first);
    QFETCH(Option, option);
    QFETCH(QString, axis);
    QFETCH(QByteArray, line);
    QFETCH(Option, shown);
    UnitOnLine rig(model);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    if (first != NoOption) {
        bench.window->selectOption(model, Option(first));
        QVERIFY(bench.panel(model).options.at(Option(first))->isChecked());
    }
    QVERIFY(!bench.panel(model).options.at(option)->isChecked());
    bench.state.AxisAddress = axis;
    const BoxTexts boxesBefore = boxTexts(bench.panel(model));
    rig.unit.clearRecord();

    QElapsedTimer clock;
    clock.start();
    bench.window->selectOption(model, option);
    QVERIFY(clock.elapsed() >= 500);

    const QList<QByteArray> expected =
        QList<QByteArray>{line} + verifyQueries(model, axis.toLatin1(), "1");
    QVERIFY(rig.unit.waitForLineCount(expected.size()));
    QTest::qWait(200); // nothing follows the read-back
    const QList<ReceivedLine> got = rig.unit.received();
    QCOMPARE(bytesOf(got), expected);
    const double gap = got.at(1).t - got.at(0).t;
    QVERIFY2(gap >= 0.5 && gap < 1.0, qPrintable(QString::number(gap)));

    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QVERIFY(bench.panel(model).options.at(shown)->isChecked());
    QCOMPARE(boxTexts(bench.panel(model)), boxesBefore);
    QCOMPARE(bench.window->session().times(), 0);
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("1"));
}

// A second option chosen during the first one's wait sends at once: two
// lines back to back, then two complete read-backs.
void TestOptions::optionInsideAnotherOptionsWait()
{
    UnitOnLine rig(Model::VELD10);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    QTimer::singleShot(200, bench.window.get(),
                       [&] { bench.window->selectOption(Model::VELD10, Option::RCYes); });
    bench.window->selectOption(Model::VELD10, Option::CCW);

    const QList<QByteArray> run = verifyQueries(Model::VELD10, "0", "1");
    const QList<QByteArray> expected = QList<QByteArray>{"@0-\r", "@0C1\r"} + run + run;
    QVERIFY(rig.unit.waitForLineCount(expected.size()));
    QTest::qWait(200); // nothing follows the two read-backs
    QCOMPARE(rig.unit.receivedBytes(), expected);
    QVERIFY(bench.panel(Model::VELD10).options.at(Option::CCW)->isChecked());
    QVERIFY(bench.panel(Model::VELD10).options.at(Option::RCYes)->isChecked());
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(bench.window->session().times(), 0);
}

void TestOptions::optionDuringReadBackSendsNothing_data()
{
    QTest::addColumn<bool>("realRun"); // else Times is raised by hand
    QTest::newRow("Times raised") << false;
    QTest::newRow("chosen inside a running read-back") << true;
}

void TestOptions::optionDuringReadBackSendsNothing()
{
    QFETCH(bool, realRun);
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    QVERIFY(bench.panel(Model::KTRA20).options.at(Option::AnalogOff)->isChecked());
    const QByteArray storeBefore = fileBytes(bench.storePath);

    if (realRun) {
        // The read-back is still in its first read when the operator chooses.
        QTimer::singleShot(50, bench.window.get(),
                           [&] { bench.window->selectOption(Model::KTRA20, Option::AnalogOn); });
        bench.window->pressVerify(Model::KTRA20);
        QTest::qWait(800); // the option's line would have come by now
        QCOMPARE(rig.unit.receivedBytes(), verifyQueries(Model::KTRA20, "0", "1"));
        // The run showed the unit's own setting again.
        QVERIFY(bench.panel(Model::KTRA20).options.at(Option::AnalogOff)->isChecked());
        QCOMPARE(bench.window->session().times(), 0);
    } else {
        bench.window->session().beginQuietRun();
        QElapsedTimer clock;
        clock.start();
        bench.window->selectOption(Model::KTRA20, Option::AnalogOn);
        QVERIFY(clock.elapsed() < 400); // no wait either
        QTest::qWait(800);              // the option's line would have come by now
        QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
        QCOMPARE(bench.window->session().times(), 1);
        bench.window->session().endQuietRun();
    }
    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    // Put back, and said why.
    QCOMPARE(bench.window->statusBar()->currentMessage(),
             QStringLiteral("Analog Speed was not changed: the unit's settings are being read. "
                            "Choose it again when the reading has finished."));
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

// A profile choice is not silenced by a running read-back: it starts its own.
void TestOptions::profileDuringReadBackStillQueries()
{
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->session().beginQuietRun();
    bench.window->selectProfile(Model::KTRA20, 2);
    QCOMPARE(rig.unit.receivedBytes(), verifyQueries(Model::KTRA20, "0", "2"));
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("2"));
    QCOMPARE(bench.panel(Model::KTRA20).boxes.at(ParamKey::Base)->text(), QStringLiteral("600"));
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestOptions::notConnected_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<int>("option"); // NoOption: the profile button below
    QTest::addColumn<int>("profile");
    QTest::newRow("KTRA10 CCW") << Model::KTRA10 << int(Option::CCW) << 0;
    QTest::newRow("KTRA10 profile 3") << Model::KTRA10 << NoOption << 3;
    QTest::newRow("VELD20 profile 2") << Model::VELD20 << NoOption << 2;
}

// The unit was connected and the operator disconnected.
void TestOptions::notConnected()
{
    QFETCH(Model, model);
    QFETCH(int, option);
    QFETCH(int, profile);
    UnitOnLine rig(model);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    bench.window->pressDisconnect();
    QVERIFY(!bench.state.UnitConnected);
    const BoxTexts boxesBefore = boxTexts(bench.panel(model));
    const QString profileLabel = bench.panel(model).label(ReadbackRole::Profile)->text();
    const QByteArray storeBefore = fileBytes(bench.storePath);

    QElapsedTimer clock;
    clock.start();
    QAbstractButton *clicked = nullptr;
    if (option != NoOption) {
        bench.window->selectOption(model, Option(option));
        clicked = bench.panel(model).options.at(Option(option));
    } else {
        bench.window->selectProfile(model, profile);
        clicked = bench.panel(model).profiles.at(profile);
    }
    QVERIFY(clock.elapsed() < 400);
    QTest::qWait(300); // a second message or a line would have come by now

    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::None);
    QCOMPARE(bench.recorder.messages[0].text, NotConnectedText);
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("1"));
    QVERIFY(!bench.window->session().profileUpdate());
    QCOMPARE(bench.window->session().times(), 0);
    // The refused choice is taken back: the panel shows what it showed.
    QVERIFY(!clicked->isChecked());
    if (option == NoOption)
        QVERIFY(bench.panel(model).profiles.at(1)->isChecked());
    QCOMPARE(boxTexts(bench.panel(model)), boxesBefore);
    QCOMPARE(bench.panel(model).label(ReadbackRole::Profile)->text(), profileLabel);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
}

void TestOptions::profileQueriesAndLoadsBoxes_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<int>("profile");
    QTest::addColumn<BoxTexts>("boxes");
    QTest::addColumn<QString>("profileLabel");
    using K = ParamKey;
    // The unit's factory values, 100 more per profile after the first.
    QTest::newRow("VELD10 profile 2")
        << Model::VELD10 << 2
        << BoxTexts{{K::Accel, "10100"}, {K::Base, "600"}, {K::Max, "5100"}, {K::Index, "100"}}
        << "Motion Profile: 2";
    QTest::newRow("KTRA20 profile 2") << Model::KTRA20 << 2
                                      << BoxTexts{{K::Accel, "110"},
                                                  {K::Base, "600"},
                                                  {K::Max, "5100"},
                                                  {K::Lower, "1100"},
                                                  {K::Upper, "20100"}}
                                      << "Speed Profile: 2";
    QTest::newRow("KTRA10 profile 4")
        << Model::KTRA10 << 4 << BoxTexts{{K::Accel, "310"}, {K::Base, "800"}, {K::Max, "5300"}}
        << "Speed Profile: 4";
    QTest::newRow("VELD30 profile 2") << Model::VELD30 << 2
                                      << BoxTexts{{K::Accel, "10100"},
                                                  {K::Base, "600"},
                                                  {K::Max, "5100"},
                                                  {K::Index, "100"},
                                                  {K::Complete, "150"}}
                                      << "Motion Profile: 2";
}

void TestOptions::profileQueriesAndLoadsBoxes()
{
    QFETCH(Model, model);
    QFETCH(int, profile);
    QFETCH(BoxTexts, boxes);
    QFETCH(QString, profileLabel);
    UnitOnLine rig(model);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    QVERIFY(boxTexts(bench.panel(model)) != boxes);

    bench.window->selectProfile(model, profile);
    const QByteArray number = QByteArray::number(profile);
    QVERIFY(rig.unit.waitForLineCount(verifyQueries(model, "0", number).size()));
    QTest::qWait(200); // nothing follows the read-back

    // No line of its own: the first line is the first query, with the new number.
    QCOMPARE(rig.unit.receivedBytes(), verifyQueries(model, "0", number));
    QCOMPARE(bench.state.SelectedProfile, QString::number(profile));
    QCOMPARE(boxTexts(bench.panel(model)), boxes);
    QCOMPARE(bench.panel(model).label(ReadbackRole::Profile)->text(), profileLabel);
    QVERIFY(!bench.window->session().profileUpdate());
    QCOMPARE(bench.window->session().times(), 0);
    QVERIFY(bench.recorder.messages.isEmpty());
}

// Profile 3 chosen on a KTRA10; the operator then disconnects, swaps in a
// KTRA20 on the same line and connects. The choice stays in force although
// the KTRA20 panel offers only profiles 1 and 2.
void TestOptions::profileSurvivesConnectionToAnotherModel()
{
    QTemporaryDir lineDir;
    QVERIFY(lineDir.isValid());
    const QString line = lineDir.filePath(QStringLiteral("line"));
    UnitSimProcess ktra10(unitOf(Model::KTRA10, 9600, {QStringLiteral("--link"), line}));
    QVERIFY(ktra10.start());
    Workbench bench(line);
    bench.load();
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA10));
    bench.window->selectProfile(Model::KTRA10, 3);
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("3"));
    bench.window->pressDisconnect();
    ktra10.terminate();

    UnitSimProcess ktra20(unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), line}));
    QVERIFY(ktra20.start());
    bench.window->pressConnect();

    QVERIFY2(bench.recorder.messages.isEmpty(), qPrintable(bench.recorder.texts().join(" | ")));
    QVERIFY(bench.state.UnitConnected);
    QCOMPARE(bench.window->SSTab1()->currentIndex(), tabIndex(Model::KTRA20));
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("3"));
    const QList<QByteArray> atRate = ktra20.receivedAt(9600);
    const QList<QByteArray> expected = Exchange + verifyQueries(Model::KTRA20, "0", "3");
    QCOMPARE(atRate, expected);
    using K = ParamKey;
    QCOMPARE(boxTexts(bench.panel(Model::KTRA20)), (BoxTexts{{K::Accel, "210"},
                                                             {K::Base, "700"},
                                                             {K::Max, "5200"},
                                                             {K::Lower, "1200"},
                                                             {K::Upper, "20200"}}));
    QCOMPARE(bench.panel(Model::KTRA20).label(ReadbackRole::Profile)->text(),
             QStringLiteral("Speed Profile: 3"));
}

void TestOptions::selectedButtonAgainSendsNothing_data()
{
    QTest::addColumn<int>("option");
    QTest::newRow("analog speed OFF as the read-back showed it") << int(Option::AnalogOff);
    QTest::newRow("reduced current OFF as the read-back showed it") << int(Option::RCNo);
}

void TestOptions::selectedButtonAgainSendsNothing()
{
    QFETCH(int, option);
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    Panel &panel = bench.panel(Model::KTRA20);
    const BoxTexts boxesBefore = boxTexts(panel);

    QVERIFY(panel.options.at(Option(option))->isChecked());
    bench.window->selectOption(Model::KTRA20, Option(option));
    QTest::qWait(800); // a line would have come by now
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>{});
    QVERIFY(bench.recorder.messages.isEmpty());
    QCOMPARE(bench.state.SelectedProfile, QStringLiteral("1"));
    QCOMPARE(boxTexts(panel), boxesBefore);
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
