// The station run without a window: units coming and going on one line
// (late, missing a presence answer, pulled during the load), and two lines
// at once, each on its own thread.

#include "UnitOnLine.h"
#include "UnitSimProcess.h"
#include "Wire.h"

#include "session/StationLine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

const QByteArray Probe = StationProbe;
const Lines OneCheck = stationCheck("4000");

// What a station's view was told, in order.
struct StationRecord : StationView
{
    void showStationState(const QString &text) override { states << text; }
    void showCheckProgress(const QString &) override {}
    void showLineProblem(const QString &text) override { problems << text; }
    void showResult(const CheckReport &report, const QString &) override
    {
        results.push_back(report);
        states << QStringLiteral("result ") + stationVerdictWord(report);
    }
    void askSerialNumber(const QString &refusal) override
    {
        if (!refusal.isEmpty())
            problems << refusal;
    }
    void showUnitGone() override { states << QStringLiteral("gone"); }
    void showRunEnded() override { ended = true; }
    bool showing(const QString &state, int count) const
    {
        return !states.isEmpty() && states.last() == state && int(results.size()) == count;
    }

    QStringList states;
    QStringList problems;
    std::vector<CheckReport> results;
    bool ended = false;
};

// A line reached through a link that outlives the unit behind it.
struct Line
{
    explicit Line(int comPort) : link(dir.filePath(QStringLiteral("line%1").arg(comPort)))
    {
        setup.comPort = comPort;
        setup.device = link;
        QString problem;
        const QString sheet = dir.filePath(QStringLiteral("unit.json"));
        QFile file(sheet);
        if (file.open(QIODevice::WriteOnly))
            file.write(ktra20Sheet(QStringLiteral("4000")));
        file.close();
        setup.request = *checkRequestFromFile(sheet, &problem);
        setup.request.load = true;
        setup.request.operatorName = QStringLiteral("Ana");
    }
    std::unique_ptr<UnitSimProcess> unit(const QStringList &args = {})
    {
        auto process = std::make_unique<UnitSimProcess>(
            unitOf(Model::KTRA20, 9600, QStringList{QStringLiteral("--link"), link} + args));
        return process->start() ? std::move(process) : nullptr;
    }
    void start()
    {
        line = std::make_unique<StationLine>(dir.filePath(QStringLiteral("config.qdr")), setup,
                                             record);
        line->start();
    }
    void stop()
    {
        line->stop();
        QVERIFY(QTest::qWaitFor([this] { return record.ended && !line->isRunning(); }, 5000));
    }

    QTemporaryDir dir;
    QString link;
    StationLineSetup setup;
    StationRecord record;
    std::unique_ptr<StationLine> line;
};

} // namespace

class TestStationRun : public QObject
{
    Q_OBJECT
  private slots:
    void unitsInARowOnOneLine();
    void twoLinesAtOnce();
    void hardLimitDuringTheLoad();
    void unitGoesBeforeItsSerialNumber();
    void unitBackAfterASilence_data();
    void unitBackAfterASilence();
};

// A unit 0.4 s late, which also misses a presence answer while it stays;
// then one pulled with its adapter during the load; then one more.
void TestStationRun::unitsInARowOnOneLine()
{
    Line ln(1);
    auto late = ln.unit({QStringLiteral("--mode"), QStringLiteral("slow"),
                         QStringLiteral("--slow-ms"), QStringLiteral("400")});
    QVERIFY(late);
    ln.start();
    QVERIFY(QTest::qWaitFor([&] { return ln.record.showing("Remove the unit", 1); }, 60000));
    // Silent for a question while it stays: its values are read once, and
    // the unit that still holds the sheet is not checked again.
    QVERIFY(late->control("mute 1500"));
    QVERIFY(QTest::qWaitFor([&] { return ln.record.states.count("Remove the unit") == 2; }, 30000));
    QVERIFY(late->waitForLineCount(int(late->received().size()) + 1, 5000));
    const QList<ReceivedLine> lines = late->received();
    QCOMPARE(withProbesCollapsed(bytesOf(lines)),
             OneCheck + Lines{Probe} + Ktra20SheetQueries + Lines{Probe});
    QCOMPARE(ln.record.states.mid(ln.record.states.indexOf("result PASS")),
             (QStringList{"result PASS", "Remove the unit", "gone", "Waiting for a unit",
                          "Comparing the unit with the sheet", "Remove the unit"}));
    QVERIFY(lines.last().answered);
    QVERIFY(ln.record.showing("Remove the unit", 1));

    // The adapter goes; the next unit's adapter goes after its question and five writes.
    late->terminate();
    QVERIFY(QTest::qWaitFor([&] { return ln.record.showing("Waiting for a unit", 1); }, 10000));
    auto pulled = ln.unit({QStringLiteral("--vanish-after"), QStringLiteral("6")});
    QVERIFY(pulled);
    QVERIFY(QTest::qWaitFor([&] { return ln.record.showing("Waiting for a unit", 2); }, 30000));
    QCOMPARE(pulled->receivedBytes(), Lines{Probe} + Ktra20SheetWrites.mid(0, 5));
    pulled.reset();
    auto next = ln.unit();
    QVERIFY(next);
    QVERIFY(QTest::qWaitFor([&] { return ln.record.showing("Remove the unit", 3); }, 30000));
    ln.stop();

    const std::vector<CheckReport> &results = ln.record.results;
    QCOMPARE(stationVerdictWord(results[0]), QStringLiteral("PASS"));
    QCOMPARE(results[0].values.size(), std::size_t(14));
    QCOMPARE(stationVerdictWord(results[1]), QStringLiteral("FAIL"));
    QCOMPARE(results[1].problem, QStringLiteral("line lost after 5 of 14 values"));
    QCOMPARE(stationVerdictWord(results[2]), QStringLiteral("PASS"));
    QCOMPARE(withProbesCollapsed(next->receivedBytes()), OneCheck + Lines{Probe});
    // Each lost line (the first adapter under its unit, the second during
    // the load) was said, never as a box; the port was tried again.
    QVERIFY2(ln.record.problems.filter("The connection to the unit was lost (").size() == 2,
             qPrintable(ln.record.problems.join('\n')));
    QVERIFY(!ln.record.problems.filter(QStringLiteral("COM 1 (%1) does not open: ").arg(ln.link))
                 .isEmpty());
    QCOMPARE(ln.record.states.last(), QStringLiteral("Run stopped"));
    // A unit's time is its check: the late unit's 14 writes and reads.
    const double seconds = double(results[0].started.msecsTo(results[0].ended)) / 1000.0;
    QVERIFY2(seconds >= 7.0 && seconds < 40.0, qPrintable(QString::number(seconds)));
}

void TestStationRun::twoLinesAtOnce()
{
    Line one(1);
    Line two(2);
    // The second line's unit is 0.4 s late: it must not hold up the first.
    auto first = one.unit();
    auto second = two.unit({QStringLiteral("--mode"), QStringLiteral("slow"),
                            QStringLiteral("--slow-ms"), QStringLiteral("400")});
    QVERIFY(first && second);
    one.start();
    two.start();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return one.record.showing("Remove the unit", 1) &&
                   two.record.showing("Remove the unit", 1);
        },
        60000));
    one.stop();
    two.stop();
    const CheckReport &a = one.record.results[0];
    const CheckReport &b = two.record.results[0];
    QCOMPARE(stationVerdictWord(a), QStringLiteral("PASS"));
    QCOMPARE(stationVerdictWord(b), QStringLiteral("PASS"));
    QCOMPARE(a.unit.device, one.link);
    QCOMPARE(b.unit.device, two.link);
    // Side by side: each check began before the other ended.
    QVERIFY(a.started < b.ended && b.started < a.ended);
    QCOMPARE(withProbesCollapsed(first->receivedBytes()), OneCheck + Lines{Probe});
    QCOMPARE(withProbesCollapsed(second->receivedBytes()), OneCheck + Lines{Probe});
}

// Hard Limit reaches the line at once, between two writes of a load; the
// check then runs to its end (Stop does not cut it).
void TestStationRun::hardLimitDuringTheLoad()
{
    Line ln(1);
    auto unit = ln.unit();
    QVERIFY(unit);
    ln.start();
    QVERIFY(unit->waitForLineCount(3, 10000));
    QElapsedTimer clock;
    clock.start();
    const double pressed = double(clock.msecsSinceReference()) / 1000.0;
    ln.line->hardLimit();
    ln.line->stop();
    QVERIFY(QTest::qWaitFor([&] { return unit->receivedBytes().contains("@0H\r"); }, 2000));
    QVERIFY(QTest::qWaitFor([&] { return ln.record.ended; }, 30000));
    QList<ReceivedLine> lines = unit->received();
    const auto stop = std::find_if(lines.begin(), lines.end(),
                                   [](const ReceivedLine &l) { return l.bytes == "@0H\r"; });
    QVERIFY2(stop->t - pressed < 0.3, qPrintable(QString::number(stop->t - pressed)));
    lines.erase(stop);
    QCOMPARE(bytesOf(lines), OneCheck);
    QCOMPARE(ln.record.results.size(), std::size_t(1));
    QCOMPARE(ln.record.states.last(), QStringLiteral("Run stopped"));
}

// A unit taken away while its number is awaited is forgotten, and a number
// given for it then goes nowhere; put back, it is asked again and checked
// with the number given for it.
void TestStationRun::unitGoesBeforeItsSerialNumber()
{
    Line ln(1);
    auto serials = std::make_shared<GivenSerialNumbers>();
    ln.setup.serialNumbers = serials;
    ln.setup.serialPattern = QStringLiteral(R"(^SN-\d{4}$)");
    auto unit = ln.unit();
    QVERIFY(unit);
    ln.start();
    const auto showing = [&](const QString &state) {
        return !ln.record.states.isEmpty() && ln.record.states.last() == state;
    };
    QVERIFY(QTest::qWaitFor([&] { return showing("Scan the serial number"); }, 10000));
    QVERIFY(unit->control("remove"));
    QVERIFY(QTest::qWaitFor([&] { return showing("Waiting for a unit"); }, 15000));
    serials->give(QStringLiteral("SN-0001"));
    QVERIFY(unit->control("insert KTRA20 0"));
    QVERIFY(QTest::qWaitFor([&] { return showing("Scan the serial number"); }, 10000));
    serials->give(QStringLiteral("SN-0002"));
    QVERIFY(QTest::qWaitFor([&] { return ln.record.showing("Remove the unit", 1); }, 60000));
    ln.stop();
    QCOMPARE(ln.record.states, (QStringList{"Waiting for a unit", "Scan the serial number", "gone",
                                            "Waiting for a unit", "Scan the serial number",
                                            "Checking the KTRA20 at address 0", "result PASS",
                                            "Remove the unit", "Run stopped"}));
    QCOMPARE(ln.record.results[0].serial, QStringLiteral("SN-0002"));
    QCOMPARE(withProbesCollapsed(unit->receivedBytes()), OneCheck + Lines{Probe});
    // No number was refused: the one given while none was asked went nowhere.
    QCOMPARE(ln.record.problems.filter(QRegularExpression(".")), QStringList());
}

void TestStationRun::unitBackAfterASilence_data()
{
    QTest::addColumn<QByteArray>("order"); // once the first unit passed
    QTest::addColumn<int>("gapMs");        // then, after this long, putOn
    QTest::addColumn<QByteArray>("putOn");
    QTest::addColumn<QStringList>("serials"); // the numbers given; none: none asked
    QTest::addColumn<QStringList>("verdicts");
    QTest::addColumn<Lines>("after"); // the wire after the first check, probes collapsed
    QTest::newRow("another KTRA20 put on 2 s later is checked")
        << QByteArray("remove") << 2000 << QByteArray("insert KTRA20 0") << QStringList()
        << QStringList{"PASS", "PASS"}
        << Lines{Probe} + Ktra20SheetQueries + Ktra20SheetWrites + Ktra20SheetQueries +
               Lines{Probe};
    QTest::newRow("a KTRA30 put on 1.5 s later is refused")
        << QByteArray("remove") << 1500 << QByteArray("insert KTRA30 0") << QStringList()
        << QStringList{"PASS", "REFUSED"} << Lines{Probe};
    QTest::newRow("silent for a while, its number again: the same unit")
        << QByteArray("mute 1500") << 0 << QByteArray() << QStringList{"SN-0001", "SN-0001"}
        << QStringList{"PASS"} << Lines{Probe} + Ktra20SheetQueries + Lines{Probe};
    QTest::newRow("silent for a while, another number: a new unit")
        << QByteArray("mute 1500") << 0 << QByteArray() << QStringList{"SN-0001", "SN-0002"}
        << QStringList{"PASS", "PASS"}
        << Lines{Probe} + Ktra20SheetWrites + Ktra20SheetQueries + Lines{Probe};
}

void TestStationRun::unitBackAfterASilence()
{
    QFETCH(QByteArray, order);
    QFETCH(int, gapMs);
    QFETCH(QByteArray, putOn);
    QFETCH(QStringList, serials);
    QFETCH(QStringList, verdicts);
    QFETCH(Lines, after);
    Line ln(1);
    auto serialSource = std::make_shared<GivenSerialNumbers>();
    if (!serials.isEmpty())
        ln.setup.serialNumbers = serialSource;
    auto unit = ln.unit();
    QVERIFY(unit);
    ln.start();
    const auto give = [&](int asked, const QString &serial) {
        return QTest::qWaitFor(
            [&] {
                serialSource->give(serial);
                return ln.record.states.count("Scan the serial number") == asked &&
                       ln.record.states.last() != "Scan the serial number";
            },
            15000);
    };
    QVERIFY(serials.isEmpty() || give(1, serials[0]));
    QVERIFY(QTest::qWaitFor([&] { return ln.record.showing("Remove the unit", 1); }, 60000));

    QElapsedTimer clock;
    QVERIFY(unit->control(order));
    clock.start();
    QVERIFY(QTest::qWaitFor([&] { return ln.record.states.contains("gone"); }, 5000));
    // Noticed within 2 s, whenever in its second the last question went.
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    if (!putOn.isEmpty()) {
        QTest::qWait(std::max(0, gapMs - int(clock.elapsed())));
        QVERIFY(unit->control(putOn));
    }
    QVERIFY(serials.size() < 2 || give(2, serials[1]));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return ln.record.states.count("Remove the unit") == 2 &&
                   ln.record.showing("Remove the unit", int(verdicts.size()));
        },
        60000));
    QVERIFY(unit->waitForLineCount(int(unit->received().size()) + 1, 5000));
    ln.stop();
    QStringList seen;
    for (const CheckReport &report : ln.record.results)
        seen << stationVerdictWord(report);
    QCOMPARE(seen, verdicts);
    if (!serials.isEmpty())
        QCOMPARE(ln.record.results.back().serial, serials.last());
    QCOMPARE(withProbesCollapsed(unit->receivedBytes()).mid(OneCheck.size()), after);
}

QTEST_MAIN(TestStationRun)
#include "tst_stationrun.moc"
