// The results table in the change journal's database: a journal of the
// first schema is upgraded and keeps its rows, a check is recorded once and
// listed as it was recorded, the filters, and a journal that cannot be
// written keeps nothing (nor is one of a newer program read).

#include "Helpers.h"

#include "protocol/CheckReportJson.h"
#include "store/CheckResults.h"
#include "store/Journal.h"
#include "store/JournalHistory.h"
#include "store/StoreConnection.h"

#include <QJsonDocument>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace ktv;
using namespace ktv::test;

namespace {

// A check of a KTRA20 at the given time (UTC+1) with one value.
CheckReport checkOf(int number, const QString &station, const QString &model, int day,
                    CheckVerdict verdict)
{
    CheckReport report;
    report.id =
        QUuid(QStringLiteral("{00000000-0000-4000-8000-%1}").arg(number, 12, 10, QLatin1Char('0')));
    report.unit = {model, QStringLiteral("1.07"), 0, 9600, QStringLiteral("/dev/ttyUSB0"), {}, {}};
    report.station = station;
    report.operatorName = QStringLiteral("Ana");
    report.sheetName = QStringLiteral("line3.json");
    report.sheetSha256 = QStringLiteral("9f86d081");
    report.loaded = true;
    report.started = QDateTime(QDate(2026, 12, day), QTime(14, 3, 5, 120), Qt::OffsetFromUTC, 3600);
    report.ended = report.started.addSecs(16);
    report.values = {{1,
                      QStringLiteral("max-speed"),
                      QStringLiteral("Max Speed"),
                      QStringLiteral("5000"),
                      QStringLiteral("4000"),
                      ValueVerdict::NotKept,
                      {}},
                     {0, QStringLiteral("ramp-down"), QStringLiteral("Ramp Down"),
                      QStringLiteral("no"), std::nullopt, ValueVerdict::NoAnswer,
                      QStringLiteral("no answer")}};
    report.verdict = verdict;
    return report;
}

QString sql(const QString &path, const QString &statement)
{
    StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
    QSqlQuery query(connection.db());
    return query.exec(statement) && query.next() ? query.value(0).toString()
                                                 : QStringLiteral("(none)");
}

QStringList numbers(const std::vector<CheckReport> &reports)
{
    QStringList out;
    for (const CheckReport &report : reports)
        out << QString::number(report.id.toString(QUuid::WithoutBraces).right(12).toInt());
    return out;
}

} // namespace

class TestCheckResults : public QObject
{
    Q_OBJECT
  private slots:
    void upgradeKeepsTheChanges();
    void upgradeAddsTheSerialNumber();
    void filters_data();
    void filters();
    void journalThatCannotBeWritten();
};

void TestCheckResults::upgradeKeepsTheChanges()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    {
        StoreConnection connection(path, StoreConnection::Mode::ReadWrite);
        QSqlQuery query(connection.db());
        QVERIFY(query.exec(QStringLiteral(
            "CREATE TABLE changes (id INTEGER PRIMARY KEY, time TEXT NOT NULL, model TEXT, "
            "revision TEXT, axis TEXT, field TEXT NOT NULL, profile TEXT, value TEXT NOT NULL, "
            "line TEXT NOT NULL, before TEXT, after TEXT, verdict TEXT NOT NULL)")));
        QVERIFY(query.exec(QStringLiteral(
            "INSERT INTO changes VALUES (1, '2026-12-01T08:00:00.000Z', 'KTRA20', '1.07', '0', "
            "'max-speed', '1', '5200', '@0M1_5200\\r', '5000', '5200', 'confirmed')")));
        QVERIFY(query.exec(QStringLiteral("PRAGMA user_version = 1")));
    }
    CheckResults results(path);
    QCOMPARE(results.list({}).size(), std::size_t(0)); // a read upgrades nothing
    QCOMPARE(sql(path, QStringLiteral("PRAGMA user_version")), QStringLiteral("1"));

    const CheckReport report =
        checkOf(7, QStringLiteral("bench-3"), QStringLiteral("KTRA20"), 8, CheckVerdict::Fail);
    QString problem;
    QVERIFY2(results.record(report, &problem), qPrintable(problem));
    QVERIFY(results.record(report, &problem)); // once under its UUID

    QCOMPARE(sql(path, QStringLiteral("PRAGMA user_version")), QStringLiteral("3"));
    QCOMPARE(sql(path, QStringLiteral("SELECT group_concat(model || '|' || value || '|' || line) "
                                      "FROM changes")),
             QStringLiteral("KTRA20|5200|@0M1_5200\\r"));
    QCOMPARE(sql(path, QStringLiteral("SELECT count(*) || ' ' || group_concat(started) || ' ' || "
                                      "coalesce(sent, 'unsent') FROM checks")),
             QStringLiteral("1 2026-12-08T14:03:05.120+01:00 unsent"));
    const std::vector<CheckReport> listed = results.list({});
    QCOMPARE(listed.size(), std::size_t(1));
    QCOMPARE(QJsonDocument(checkReportJson(listed.front())).toJson(),
             QJsonDocument(checkReportJson(report)).toJson());
    // The journal's own rows go on being written.
    Journal journal(path);
    QVERIFY(journal.append({QDateTime::currentDateTimeUtc(),
                            QStringLiteral("KTRA20"),
                            {},
                            {},
                            QStringLiteral("accel"),
                            QStringLiteral("1"),
                            QStringLiteral("20"),
                            "@0A1_20\r",
                            {},
                            {},
                            JournalVerdict::Confirmed},
                           &problem));
    QCOMPARE(sql(path, QStringLiteral("SELECT count(*) FROM changes")), QStringLiteral("2"));
}

// A journal of schema 2 with a check gains the serial number: the old check
// reads back without one, a new one keeps its own, and a unit's checks are
// found by it.
void TestCheckResults::upgradeAddsTheSerialNumber()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
    {
        StoreConnection connection(path, StoreConnection::Mode::ReadWrite);
        QSqlQuery query(connection.db());
        for (const char *statement :
             {"CREATE TABLE changes (id INTEGER PRIMARY KEY, time TEXT NOT NULL, model TEXT, "
              "revision TEXT, axis TEXT, field TEXT NOT NULL, profile TEXT, value TEXT NOT "
              "NULL, line TEXT NOT NULL, before TEXT, after TEXT, verdict TEXT NOT NULL)",
              "CREATE TABLE checks (id INTEGER PRIMARY KEY, uuid TEXT NOT NULL UNIQUE, "
              "station TEXT NOT NULL, operator TEXT, model TEXT NOT NULL, revision TEXT, "
              "axis INTEGER, baud INTEGER, device TEXT, by_id TEXT, serial_number TEXT, "
              "sheet_name TEXT, sheet_sha256 TEXT, loaded INTEGER NOT NULL, started TEXT NOT "
              "NULL, ended TEXT NOT NULL, started_utc TEXT NOT NULL, verdict TEXT NOT NULL, "
              "problem TEXT, sent TEXT)",
              "CREATE TABLE check_values (check_id INTEGER NOT NULL REFERENCES checks(id) ON "
              "DELETE CASCADE, position INTEGER NOT NULL, profile INTEGER, key TEXT NOT NULL, "
              "caption TEXT, sheet_value TEXT, unit_value TEXT, verdict TEXT NOT NULL, problem "
              "TEXT, PRIMARY KEY (check_id, position))",
              "INSERT INTO checks VALUES (1, '00000000-0000-4000-8000-000000000005', "
              "'bench-1', 'Ana', 'KTRA20', '1.07', 0, 9600, '/dev/ttyUSB0', NULL, NULL, "
              "'line3.json', '9f86d081', 1, '2026-12-01T09:00:00.000+01:00', "
              "'2026-12-01T09:00:16.000+01:00', '2026-12-01T08:00:00.000Z', 'pass', NULL, "
              "NULL)",
              "PRAGMA user_version = 2"})
            QVERIFY2(query.exec(QString::fromLatin1(statement)), statement);
    }
    CheckResults results(path);
    QString problem;
    // Read as it is: the serial number is asked of no column it lacks.
    QCOMPARE(numbers(results.list({{}, {}, {}, false, QStringLiteral("SN-0042")}, &problem)),
             QStringList{});
    QCOMPARE(problem, QString());
    CheckReport report =
        checkOf(6, QStringLiteral("bench-1"), QStringLiteral("KTRA20"), 8, CheckVerdict::Fail);
    report.serial = QStringLiteral("SN-0042");
    QVERIFY2(results.record(report, &problem), qPrintable(problem));

    QCOMPARE(sql(path, QStringLiteral("PRAGMA user_version")), QStringLiteral("3"));
    QCOMPARE(sql(path, QStringLiteral("SELECT group_concat(coalesce(serial, 'none') || ' ' || "
                                      "verdict, '; ') FROM checks")),
             QStringLiteral("none pass; SN-0042 fail"));
    const std::vector<CheckReport> all = results.list({}, &problem);
    QCOMPARE(numbers(all), (QStringList{"6", "5"}));
    QCOMPARE(all[1].serial, QString());
    QCOMPARE(QJsonDocument(checkReportJson(all[0])).toJson(),
             QJsonDocument(checkReportJson(report)).toJson());
    QCOMPARE(numbers(results.list({{}, {}, {}, false, QStringLiteral("SN-0042")}, &problem)),
             QStringList{"6"});
}

void TestCheckResults::filters_data()
{
    QTest::addColumn<ResultsFilter>("filter");
    QTest::addColumn<QStringList>("listed"); // newest first

    QTest::newRow("everything") << ResultsFilter{} << QStringList{"3", "2", "1"};
    QTest::newRow("one station")
        << ResultsFilter{QStringLiteral("bench-2"), {}, {}, false, {}, 0, 0, false}
        << QStringList{"2"};
    QTest::newRow("one model, any case")
        << ResultsFilter{{}, QStringLiteral("veld30"), {}, false, {}, 0, 0, false}
        << QStringList{"3"};
    QTest::newRow("since the 5th, 14:03:05.120 at UTC+1")
        << ResultsFilter{{},    {},   QDateTime(QDate(2026, 12, 5), QTime(13, 3, 5, 120), Qt::UTC),
                         false, {},   0,
                         0,     false}
        << QStringList{"3", "2"};
    QTest::newRow("failed only") << ResultsFilter{{}, {}, {}, true, {}, 0, 0, false}
                                 << QStringList{"3", "1"};
    QTest::newRow("one unit by its serial number")
        << ResultsFilter{{}, {}, {}, false, QStringLiteral("SN-0042"), 0, 0, false}
        << QStringList{"3", "1"};
    QTest::newRow("a serial number no check has")
        << ResultsFilter{{}, {}, {}, false, QStringLiteral("SN-004"), 0, 0, false} << QStringList{};
}

void TestCheckResults::filters()
{
    QFETCH(ResultsFilter, filter);
    QTemporaryDir dir;
    CheckResults results(dir.filePath(QStringLiteral("journal.sqlite")));
    QString problem;
    CheckReport reports[] = {
        checkOf(2, QStringLiteral("bench-2"), QStringLiteral("KTRA20"), 5, CheckVerdict::Pass),
        checkOf(1, QStringLiteral("bench-1"), QStringLiteral("KTRA20"), 1, CheckVerdict::Fail),
        checkOf(3, QStringLiteral("bench-1"), QStringLiteral("VELD30"), 8, CheckVerdict::Error)};
    reports[0].serial = QStringLiteral("SN-0007");
    reports[1].serial = reports[2].serial = QStringLiteral("SN-0042");
    for (const CheckReport &report : reports)
        QVERIFY(results.record(report, &problem));

    const std::vector<CheckReport> listed = results.list(filter, &problem);

    QTEST(numbers(listed), "listed");
    QCOMPARE(problem, QString());
    for (const CheckReport &report : listed)
        QCOMPARE(report.values.size(), std::size_t(2));
}

void TestCheckResults::journalThatCannotBeWritten()
{
    QTemporaryDir dir;
    // The folder the journal would go in is a file.
    const QString blocker = dir.filePath(QStringLiteral("data"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const QString path = blocker + QStringLiteral("/journal.sqlite");
    CheckResults results(path);
    QString problem;

    QVERIFY(!results.record(
        checkOf(1, QStringLiteral("b"), QStringLiteral("KTRA20"), 1, CheckVerdict::Pass),
        &problem));
    QVERIFY2(problem.startsWith(QStringLiteral("The change journal ") + path +
                                QStringLiteral(" cannot be written: ")),
             qPrintable(problem));
    QCOMPARE(fileBytes(blocker), QByteArray("x"));

    // A journal of a newer program is left as it is.
    const QString newer = dir.filePath(QStringLiteral("newer.sqlite"));
    {
        StoreConnection connection(newer, StoreConnection::Mode::ReadWrite);
        QSqlQuery query(connection.db());
        QVERIFY(query.exec(QStringLiteral("PRAGMA user_version = 9")));
    }
    const QByteArray before = fileBytes(newer);
    QVERIFY(!CheckResults(newer).record(
        checkOf(1, QStringLiteral("b"), QStringLiteral("KTRA20"), 1, CheckVerdict::Pass),
        &problem));
    QCOMPARE(problem, QStringLiteral("The change journal %1 cannot be written: it was made by a "
                                     "newer program (schema 9).")
                          .arg(newer));
    // Neither the checks nor the changes are read from it.
    const QString unreadable = QStringLiteral("The change journal %1 cannot be read: it was made "
                                              "by a newer program (schema 9).")
                                   .arg(newer);
    problem.clear();
    QVERIFY(CheckResults(newer).list({}, &problem).empty());
    QCOMPARE(problem, unreadable);
    const JournalHistory history = readJournal(newer);
    QVERIFY(history.rows.empty());
    QCOMPARE(history.problem, unreadable);
    QCOMPARE(fileBytes(newer), before);
}

QTEST_GUILESS_MAIN(TestCheckResults)
#include "tst_checkresults.moc"
