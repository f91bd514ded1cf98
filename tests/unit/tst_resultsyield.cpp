// The yield per station and day of checks listed from this bench's journal:
// the figures the results server gives, grouped on the bench's own calendar.

#include "store/ResultsYield.h"

#include <QTest>

using namespace ktv;

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
};

QTEST_GUILESS_MAIN(tst_ResultsYield)
#include "tst_resultsyield.moc"
