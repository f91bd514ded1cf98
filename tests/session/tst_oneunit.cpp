// One unit at a time: the model belongs to the axis it answered at, a new
// axis is asked who it is, two units answering one question are a collision
// (no model, no new address sent), and the journal settles every write the
// read-back of its field reads and an axis define by where the unit answers.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"

#include "session/ChangeTracker.h"
#include "session/UnitFinder.h"
#include "session/UnitSession.h"
#include "store/StoreConnection.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

// The journal's columns the tests compare: model, revision, axis, field,
// value, after, verdict.
const QString Columns = QStringLiteral("model, revision, axis, field, value, coalesce(after, '-'), "
                                       "verdict");

UnitSimOptions twoUnits(const QString &model, int address, const QStringList &second)
{
    UnitSimOptions options = unitOf(model, 9600, second);
    options.address = address;
    return options;
}

} // namespace

class TestOneUnit : public QObject
{
    Q_OBJECT
  private slots:
    void axisSelectSendsNothingOfItsOwn_data();
    void axisSelectSendsNothingOfItsOwn();
    void journalRowsNameTheUnitAtTheirAxis_data();
    void journalRowsNameTheUnitAtTheirAxis();
    void findShowsAnAddressTwoUnitsAnswer_data();
    void findShowsAnAddressTwoUnitsAnswer();
    void findListsOnlyWhatItProves_data();
    void findListsOnlyWhatItProves();
    void axisDefineRefusesTwoUnits();
    void readBackSettlesEveryPendingWrite_data();
    void readBackSettlesEveryPendingWrite();
    void axisDefineSettledWhereTheUnitAnswers();
};

void TestOneUnit::axisSelectSendsNothingOfItsOwn_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Lines>("heard");
    QTest::addColumn<QString>("model"); // the model sheets and the journal use

    // The read-back is the first thing the new axis hears; its model is
    // asked when a sheet first needs it (and asked again once when none came).
    QTest::newRow("7 is asked who it is when a sheet needs it")
        << "7" << verifyQueries(Model::VELD30, "7") + Lines{"@7$\r"} << "VELD50";
    QTest::newRow("07 reaches the unit at 7")
        << "07" << verifyQueries(Model::VELD30, "07") + Lines{"@07$\r"} << "VELD50";
    QTest::newRow("the axis in use is not asked again")
        << "0" << verifyQueries(Model::VELD30) << "VELD30";
    QTest::newRow("an empty box changes nothing") << "" << verifyQueries(Model::VELD30) << "VELD30";
    QTest::newRow("no unit at 9: no model")
        << "9" << verifyQueries(Model::VELD30, "9") + Lines{"@9$\r", "@9$\r"} << "";
}

void TestOneUnit::axisSelectSendsNothingOfItsOwn()
{
    QFETCH(QString, typed);
    QFETCH(Lines, heard);
    QFETCH(QString, model);
    JournalledLine bench(
        twoUnits(QStringLiteral("VELD30"), 0, {"--also-address", "7", "--also-model", "VELD50"}));
    bench.connect();
    QVERIFY(bench.session->state.UnitConnected);
    QCOMPARE(bench.tracker->unitModel(), QStringLiteral("VELD30"));

    bench.session->selectAxis(typed);
    bench.session->axisSelectDone();
    const int readBack = int(verifyQueries(Model::VELD30).size());
    QCOMPARE(bench.unit.receivedBytes(), heard.mid(0, readBack));

    QCOMPARE(bench.tracker->unitModel(), model);
    QCOMPARE(bench.unit.receivedBytes(), heard);
    QCOMPARE(bench.view.messageTexts(), QStringList{});
    QCOMPARE(bench.rows(Columns), QStringList{});
}

void TestOneUnit::journalRowsNameTheUnitAtTheirAxis_data()
{
    QTest::addColumn<bool>("findFirst");
    QTest::addColumn<QString>("rowAtSeven");

    // Find Units asks every address; the last "$" answer (the VELD50 at 7)
    // must not name the VELD30's rows at axis 0.
    QTest::newRow("found by Find Units") << true << "VELD50|1.07|7|max-speed|5200|5200|confirmed";
    // Nothing asked at 7 yet: the row says so, and nothing follows the
    // read-back run on the line.
    QTest::newRow("selected, not asked yet")
        << false << "null|null|7|max-speed|5200|5200|confirmed";
}

void TestOneUnit::journalRowsNameTheUnitAtTheirAxis()
{
    QFETCH(bool, findFirst);
    QFETCH(QString, rowAtSeven);
    JournalledLine bench(
        twoUnits(QStringLiteral("VELD30"), 0, {"--also-address", "7", "--also-model", "VELD50"}));
    bench.connect();
    QVERIFY(bench.session->state.UnitConnected);
    Lines heard;
    if (findFirst) {
        const std::vector<FoundUnit> found =
            findUnits(*bench.session, [](int address) { return address <= 8; });
        QCOMPARE(found.size(), std::size_t(2));
        QCOMPARE(found[1].modelId, QStringLiteral("VELD50"));
        for (int address = 0; address <= 8; ++address)
            heard << "@" + QByteArray::number(address) + "$\r";
        heard += Lines{"@0$\r", "@7$\r"};
    }
    QCOMPARE(bench.tracker->unitModel(), QStringLiteral("VELD30"));

    bench.view.boxes[{Model::VELD30, ParamKey::Max}] = QStringLiteral("5200");
    bench.session->SendButtonClicked(Model::VELD30, ParamKey::Max,
                                     bench.view.entriesOf(Model::VELD30, bench.session->state));
    bench.session->selectAxis(QStringLiteral("7"));
    bench.session->axisSelectDone();
    bench.session->SendButtonClicked(Model::VELD30, ParamKey::Max,
                                     bench.view.entriesOf(Model::VELD30, bench.session->state));

    // Axis Select reads the new axis back; nothing follows the last run.
    heard += Lines{"@0M1_5200\r"} + verifyQueries(Model::VELD30) +
             verifyQueries(Model::VELD30, "7") + Lines{"@7M1_5200\r"} +
             verifyQueries(Model::VELD30, "7");
    QCOMPARE(bench.unit.receivedBytes(), heard);
    QCOMPARE(bench.rows(Columns),
             (QStringList{"VELD30|1.07|0|max-speed|5200|5200|confirmed", rowAtSeven}));
    QCOMPARE(bench.view.messageTexts(), QStringList{});
}

void TestOneUnit::findShowsAnAddressTwoUnitsAnswer_data()
{
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<Lines>("askedAgain");

    // The same answer twice is two units at once; two different answers
    // might be a stray beside one unit's, so the question is asked again.
    QTest::newRow("two VELD30 at address 3")
        << QStringList{"--also-address", "3"} << Lines{"@3$\r"};
    QTest::newRow("a VELD50 beside the VELD30 at 3")
        << QStringList{"--also-address", "3", "--also-model", "VELD50"} << Lines{"@3$\r", "@3$\r"};
}

void TestOneUnit::findShowsAnAddressTwoUnitsAnswer()
{
    QFETCH(QStringList, second);
    QFETCH(Lines, askedAgain);
    UnitOnLine rig(twoUnits(QStringLiteral("VELD30"), 3, second));
    QVERIFY(rig.started);
    rig.readStore();
    QVERIFY(rig.session->link.OpenComPort(1, 9600));

    const std::vector<FoundUnit> found =
        findUnits(*rig.session, [](int address) { return address <= 4; });

    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(found[0].address, 3);
    QVERIFY(found[0].collision);
    QCOMPARE(found[0].modelId, QString());
    const auto atThree = rig.session->unitAt(QStringLiteral("3"));
    QVERIFY(atThree && atThree->collision);
    QCOMPARE(atThree->model, QString());
    QCOMPARE(rig.unit.receivedBytes(),
             (Lines{"@0$\r", "@1$\r", "@2$\r", "@3$\r", "@4$\r"} + askedAgain));
}

void TestOneUnit::findListsOnlyWhatItProves_data()
{
    QTest::addColumn<QStringList>("slowness");

    QTest::newRow("0.3 s late every time") << QStringList{};
    QTest::newRow("0.3 s late once") << QStringList{"--slow-count", "1"};
}

// A unit at 5 that answers after the sweep's 0.1 s: its answer lands on a
// later address's question. Nothing is listed at that address; the addresses
// before it are asked again and the unit is found at 5.
void TestOneUnit::findListsOnlyWhatItProves()
{
    QFETCH(QStringList, slowness);
    UnitSimOptions options =
        unitOf(QStringLiteral("VELD30"), 9600, QStringList{"--slow-ms", "300"} + slowness);
    options.address = 5;
    options.mode = QStringLiteral("slow");
    UnitOnLine rig(options);
    QVERIFY(rig.started);
    rig.readStore();
    QVERIFY(rig.session->link.OpenComPort(1, 9600));

    const std::vector<FoundUnit> found =
        findUnits(*rig.session, [](int address) { return address <= 9; });

    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(found[0].address, 5);
    QCOMPARE(found[0].modelId, QStringLiteral("VELD30"));
    QVERIFY(!rig.session->unitAt(QStringLiteral("8")));
    QVERIFY(!rig.session->unitAt(QStringLiteral("9")));
    Lines sweep;
    for (int address = 0; address <= 9; ++address)
        sweep << "@" + QByteArray::number(address) + "$\r";
    const Lines heard = rig.unit.receivedBytes();
    QCOMPARE(heard.mid(0, sweep.size()), sweep);
    // Then only the model query again, at the address that heard the late
    // answer and those asked within a second before it.
    const Lines again = heard.mid(sweep.size());
    QVERIFY(again.contains("@5$\r"));
    for (const QByteArray &line : again)
        QVERIFY2(sweep.contains(line), line.constData());
}

// With units at 3 and 42, "@%" is answered "3" CR "42" CR: the define is
// refused and no "@~" reaches the line.
void TestOneUnit::axisDefineRefusesTwoUnits()
{
    JournalledLine bench(twoUnits(QStringLiteral("VELD30"), 3, {"--also-address", "42"}));
    bench.readStore();
    bench.unit.clearRecord();
    QVERIFY(bench.started);
    bench.session->state.AxisAddress = QStringLiteral("3");

    const std::optional<QString> reply = bench.session->beginAxisDefine();
    QCOMPARE(reply, QStringLiteral("3\r42\r"));
    QVERIFY(bench.session->axisDefineCollision());
    QVERIFY(!bench.session->defineAxis(QStringLiteral("9")));
    bench.session->endAxisDefine();

    QCOMPARE(bench.unit.receivedBytes(), Lines{"@%\r"});
    QCOMPARE(bench.view.messageTexts(),
             QStringList{"More than one unit answers on the line, so the axis was not defined: a "
                         "new address would go to every one of them. Connect only the unit whose "
                         "address you want to change."});
    QVERIFY(!bench.session->link.PortOpen());
    bench.tracker->flush();
    QCOMPARE(bench.rows(Columns), QStringList{});
}

void TestOneUnit::readBackSettlesEveryPendingWrite_data()
{
    QTest::addColumn<QString>("left");    // the text when the box was left
    QTest::addColumn<QString>("clicked"); // the text when Send was clicked
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("a click on Send while the box has focus sends twice, both kept")
        << "5200"
        << "5200"
        << QStringList{"KTRA20|1.07|0|max-speed|5200|5200|confirmed",
                       "KTRA20|1.07|0|max-speed|5200|5200|confirmed"};
    QTest::newRow("a value overwritten before any read-back is not read back")
        << "5100"
        << "5200"
        << QStringList{"KTRA20|1.07|0|max-speed|5100|-|not read back",
                       "KTRA20|1.07|0|max-speed|5200|5200|confirmed"};
}

void TestOneUnit::readBackSettlesEveryPendingWrite()
{
    QFETCH(QString, left);
    QFETCH(QString, clicked);
    JournalledLine bench(unitOf(Model::KTRA20));
    bench.connect();
    QVERIFY(bench.session->state.UnitConnected);
    QSignalSpy notHeld(bench.tracker.get(), &ChangeTracker::notHeld);

    bench.session->EntryBoxLeft(
        Model::KTRA20, ParamKey::Max,
        {{{ParamKey::Max, left}}, QStringLiteral("1"), QStringLiteral("0")});
    bench.view.boxes[{Model::KTRA20, ParamKey::Max}] = clicked;
    bench.session->SendButtonClicked(Model::KTRA20, ParamKey::Max,
                                     bench.view.entriesOf(Model::KTRA20, bench.session->state));

    QCOMPARE(bench.unit.receivedBytes(),
             (Lines{"@0M1_" + left.toLatin1() + "\r", "@0M1_" + clicked.toLatin1() + "\r"} +
              Ktra20Readback));
    QTEST(bench.rows(Columns), "rows");
    QCOMPARE(notHeld.count(), 0);
}

void TestOneUnit::axisDefineSettledWhereTheUnitAnswers()
{
    JournalledLine bench(unitOf(Model::VELD30));
    bench.connect();
    QVERIFY(bench.session->state.UnitConnected);

    QCOMPARE(bench.session->beginAxisDefine(), QStringLiteral("0\r"));
    QVERIFY(bench.session->defineAxis(QStringLiteral("12")));
    bench.session->endAxisDefine(); // its read-back at 0 finds no unit there
    bench.session->selectAxis(QStringLiteral("12"));
    bench.session->axisSelectDone();

    QCOMPARE(bench.unit.receivedBytes(), (Lines{"@%\r", "@~12\r"} + verifyQueries(Model::VELD30) +
                                          verifyQueries(Model::VELD30, "12")));
    QCOMPARE(bench.rows(Columns), QStringList{"VELD30|1.07|0|axis|12|12|confirmed"});
}

QTEST_GUILESS_MAIN(TestOneUnit)
#include "tst_oneunit.moc"
