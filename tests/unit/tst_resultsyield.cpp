// The yield per station and day of checks listed from this bench's journal:
// the figures the results server gives, grouped on the bench's own calendar;
// and the units' first-pass and final yield, retests and failing fields.

#include "YieldSeed.h"

#include "store/ResultsYield.h"

#include <QTest>

using namespace ktv;
using namespace ktv::test;

Q_DECLARE_METATYPE(ktv::YieldBy)

class tst_ResultsYield : public QObject
{
    Q_OBJECT
  private slots:
    void yields_data()
    {
        QTest::addColumn<QStringList>("checks"); // station|started|verdict, newest first
        QTest::addColumn<QStringList>("yields"); // day station passed/total

        QTest::newRow("no checks, no figures") << QStringList{} << QStringList{};
        QTest::newRow("only a pass counts as passed")
            << QStringList{"bench-3|2026-12-08T10:04:00+01:00|error",
                           "bench-3|2026-12-08T10:03:00+01:00|refused",
                           "bench-3|2026-12-08T10:02:00+01:00|fail",
                           "bench-3|2026-12-08T10:01:00+01:00|pass"}
            << QStringList{"2026-12-08 bench-3 1/4"};
        QTest::newRow("newest day first, stations by name within a day")
            << QStringList{"bench-9|2026-12-08T09:00:00+01:00|pass",
                           "bench-10|2026-12-08T08:00:00+01:00|fail",
                           "bench-9|2026-12-07T17:00:00+01:00|pass",
                           "bench-9|2026-12-07T16:00:00+01:00|pass",
                           "bench-10|2026-12-06T12:00:00+01:00|pass"}
            << QStringList{"2026-12-08 bench-10 0/1", "2026-12-08 bench-9 1/1",
                           "2026-12-07 bench-9 2/2", "2026-12-06 bench-10 1/1"};
        QTest::newRow("the day is the bench's, not UTC's")
            << QStringList{"bench-3|2026-12-08T00:30:00+01:00|pass",
                           "bench-3|2026-12-07T23:30:00-05:00|fail"}
            << QStringList{"2026-12-08 bench-3 1/1", "2026-12-07 bench-3 0/1"};
    }
    void yields()
    {
        QFETCH(QStringList, checks);
        QFETCH(QStringList, yields);
        std::vector<CheckReport> reports;
        for (const QString &check : checks) {
            const QStringList parts = check.split('|');
            CheckReport report;
            report.station = parts[0];
            report.started = QDateTime::fromString(parts[1], Qt::ISODate);
            QVERIFY(report.started.isValid());
            report.verdict = parts[2] == "pass"      ? CheckVerdict::Pass
                             : parts[2] == "fail"    ? CheckVerdict::Fail
                             : parts[2] == "refused" ? CheckVerdict::Refused
                                                     : CheckVerdict::Error;
            reports.push_back(report);
        }
        QStringList got;
        for (const StationYield &y : stationYields(reports))
            got << QStringLiteral("%1 %2 %3/%4")
                       .arg(y.day.toString(Qt::ISODate), y.station)
                       .arg(y.passed)
                       .arg(y.total);
        QCOMPARE(got, yields);
    }

    // Rows: "group units/first passed/final passed/checks/retests".
    void unitYield_data()
    {
        QTest::addColumn<YieldBy>("by");
        QTest::addColumn<ResultsFilter>("filter");
        QTest::addColumn<QStringList>("rows");
        const ResultsFilter all;
        QTest::newRow("each unit once, where it was first checked")
            << YieldBy::StationDay << all
            << QStringList{"2026-12-07 bench-1 2/1/2/3/1", "2026-12-07 bench-2 1/0/0/2/1",
                           "2026-12-08 bench-2 2/1/1/2/0"};
        QTest::newRow("per station")
            << YieldBy::Station << all << QStringList{" bench-1 2/1/2/3/1", " bench-2 3/1/1/4/1"};
        QTest::newRow("per day") << YieldBy::Day << all
                                 << QStringList{"2026-12-07  3/1/2/5/2", "2026-12-08  2/1/1/2/0"};
        QTest::newRow("all") << YieldBy::All << all << QStringList{"  5/2/3/7/2"};
        QTest::newRow("one station")
            << YieldBy::Day
            << ResultsFilter{QStringLiteral("bench-2"), {}, {}, false, {}, 0, 0, false}
            << QStringList{"2026-12-07  1/0/0/2/1", "2026-12-08  2/1/1/2/0"};
        QTest::newRow("one model, any case")
            << YieldBy::All
            << ResultsFilter{{}, QStringLiteral("veld30"), {}, false, {}, 0, 0, false}
            << QStringList{"  2/1/1/2/0"};
        QTest::newRow("since a time: units first checked on its day, rework before it kept")
            << YieldBy::Station
            << ResultsFilter{{},
                             {},
                             QDateTime::fromString("2026-12-08T10:30:00+01:00", Qt::ISODate),
                             false,
                             {},
                             0,
                             0,
                             false}
            << QStringList{" bench-2 2/1/1/2/0"};
        QTest::newRow("nothing let through")
            << YieldBy::All
            << ResultsFilter{QStringLiteral("bench-9"), {}, {}, false, {}, 0, 0, false}
            << QStringList{};
    }
    void unitYield()
    {
        QFETCH(YieldBy, by);
        QFETCH(ResultsFilter, filter);
        QStringList got;
        for (const YieldFigures &y : yieldBy(yieldPerStationDay(yieldSeed()), by, filter))
            got << QStringLiteral("%1 %2 %3/%4/%5/%6/%7")
                       .arg(y.day.toString(Qt::ISODate), y.station)
                       .arg(y.units)
                       .arg(y.firstPassed)
                       .arg(y.finalPassed)
                       .arg(y.checks)
                       .arg(y.retests());
        QTEST(got, "rows");
    }

    // A unit is its serial number: the checks' order decides first and last,
    // not the order they are listed in.
    void listedOrderDoesNotMatter()
    {
        std::vector<CheckReport> reports = yieldSeed();
        std::reverse(reports.begin(), reports.end());
        const std::vector<YieldFigures> all =
            yieldBy(yieldPerStationDay(reports), YieldBy::All, {});
        QCOMPARE(all.size(), std::size_t(1));
        QCOMPARE(all[0].firstPassed, 2);
        QCOMPARE(all[0].finalPassed, 3);
        QCOMPARE(unitOfCheck(reports[0]),
                 QStringLiteral("check 00000000-0000-4000-8000-000000000007"));
        QCOMPARE(percentText(2, 3), QStringLiteral("66.7 %"));
        QCOMPARE(percentText(0, 0), QStringLiteral("-"));
    }

    void pareto_data()
    {
        QTest::addColumn<ResultsFilter>("filter");
        QTest::addColumn<QStringList>("ranked"); // name failures cumulative, "*": a cause
        QTest::newRow("every failing value and cause, most first, ties by name")
            << ResultsFilter{}
            << QStringList{"Profile 1, Max Speed 4 36.4",
                           "line lost* 2 54.5",
                           "Profile 1, Accel/Decel 1 63.6",
                           "Resolution 1 72.7",
                           "no answer* 1 81.8",
                           "refused* 1 90.9",
                           "stopped* 1 100.0"};
        QTest::newRow("one station")
            << ResultsFilter{QStringLiteral("bench-2"), {}, {}, false, {}, 0, 0, false}
            << QStringList{"Profile 1, Max Speed 2 50.0", "Profile 1, Accel/Decel 1 75.0",
                           "Resolution 1 100.0"};
        QTest::newRow("none failed")
            << ResultsFilter{QStringLiteral("bench-9"), {}, {}, false, {}, 0, 0, false}
            << QStringList{};
        // Not a failure of every field: once under its cause, and a value
        // the unit gave before the line went still counts.
        QTest::newRow("checks that could not finish count once under their cause")
            << ResultsFilter{QStringLiteral("bench-3"), {}, {}, false, {}, 0, 0, false}
            << QStringList{"line lost* 2 33.3", "Profile 1, Max Speed 1 50.0", "no answer* 1 66.7",
                           "refused* 1 83.3", "stopped* 1 100.0"};
    }
    void pareto()
    {
        QFETCH(ResultsFilter, filter);
        std::vector<CheckReport> reports = yieldSeed();
        for (const CheckReport &report : unfinishedSeed())
            reports.push_back(report);
        QStringList got;
        for (const RankedField &field : rankFields(failingFields(reports), filter))
            got << QStringLiteral("%1%2 %3 %4")
                       .arg(field.name, field.unfinished ? "*" : "")
                       .arg(field.failures)
                       .arg(field.cumulativePercent, 0, 'f', 1);
        QTEST(got, "ranked");
    }
};

QTEST_GUILESS_MAIN(tst_ResultsYield)
#include "tst_resultsyield.moc"
