// The results server against a PostgreSQL server of the test's own: a
// check's rows arrive whole, exactly once by UUID whatever is repeated or
// cut off, from four stations at once, across a server restart (the outbox
// keeps what could not go), from an older schema; and each refusal is one
// message with nothing written.

#include "PgServer.h"
#include "SilentServer.h"
#include "YieldSeed.h"

#include "session/ResultsDelivery.h"
#include "store/ResultsOutbox.h"
#include "store/ResultsSchema.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"
#include "store/ResultsYield.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <ctime>

#include <memory>

using namespace ktv;
using namespace ktv::test;

Q_DECLARE_METATYPE(ktv::ProbeOutcome)

namespace {

CheckReport makeReport(const QString &station, const QString &model, CheckVerdict verdict,
                       const QString &started)
{
    CheckReport report;
    report.id = QUuid::createUuid();
    report.unit = {model,
                   QStringLiteral("1.07"),
                   3,
                   9600,
                   QStringLiteral("/dev/ttyUSB0"),
                   QStringLiteral("usb-FTDI_FT232R_A1B2-if00-port0"),
                   QStringLiteral("A1B2")};
    report.station = station;
    report.operatorName = QStringLiteral("Ana");
    report.sheetName = QStringLiteral("line-4.sheet");
    report.sheetSha256 =
        QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    report.loaded = true;
    report.started = QDateTime::fromString(started, Qt::ISODateWithMs);
    report.ended = report.started.addMSecs(1500);
    report.values = {
        {1,
         QStringLiteral("max-speed"),
         QStringLiteral("Max Speed"),
         QStringLiteral("5000"),
         QStringLiteral("5000"),
         ValueVerdict::Match,
         {}},
        {1, QStringLiteral("accel"), QStringLiteral("Accel/Decel"), QStringLiteral("100"),
         std::nullopt, ValueVerdict::NoAnswer, QStringLiteral("?\\r")},
        {0,
         QStringLiteral("resolution"),
         QStringLiteral("Resolution"),
         QStringLiteral("8"),
         QStringLiteral("4"),
         ValueVerdict::Differs,
         {}},
    };
    report.verdict = verdict;
    return report;
}

// Every field, to compare a report read back with the one sent.
QString describe(const CheckReport &r)
{
    QStringList parts = {r.id.toString(),
                         r.unit.unitModel,
                         r.unit.revision,
                         QString::number(r.unit.axis),
                         QString::number(r.unit.baud),
                         r.unit.device,
                         r.unit.byId,
                         r.unit.serialNumber,
                         r.serial,
                         r.station,
                         r.operatorName,
                         r.sheetName,
                         r.sheetSha256,
                         r.loaded ? QStringLiteral("loaded") : QStringLiteral("read"),
                         r.started.toString(Qt::ISODateWithMs),
                         r.ended.toString(Qt::ISODateWithMs),
                         checkVerdictText(r.verdict),
                         r.problem};
    for (const CheckedValue &v : r.values)
        parts << QStringLiteral("%1/%2/%3/%4/%5/%6/%7")
                     .arg(v.profile)
                     .arg(v.key, v.caption, v.sheetValue, v.unitValue.value_or(QStringLiteral("-")),
                          valueVerdictText(v.verdict), v.problem);
    return parts.join(QLatin1Char('|'));
}

QStringList described(const std::vector<CheckReport> &reports)
{
    QStringList out;
    for (const CheckReport &report : reports)
        out << describe(report);
    return out;
}

const QString CheckRow = QStringLiteral(
    "SELECT uuid, station, operator, unit_model, revision, axis, baud, device, by_id, "
    "serial_number, sheet_name, sheet_sha256, loaded, to_char(started AT TIME ZONE 'UTC', "
    "'YYYY-MM-DD HH24:MI:SS.MS'), to_char(ended AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.MS'), "
    "utc_offset, verdict, problem, serial FROM checks ORDER BY started");
const QString ValueRows = QStringLiteral(
    "SELECT position, profile, field, caption, sheet_value, unit_value, verdict, problem FROM "
    "check_values ORDER BY check_uuid, position");
const QString Tables = QStringLiteral(
    "SELECT coalesce(string_agg(tablename, ',' ORDER BY tablename), '') FROM pg_tables WHERE "
    "schemaname = 'public'");

} // namespace

class tst_ResultsServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<PgServer> pg;

    QString count(const QString &db, const QString &table)
    {
        return pg->rows(db, QStringLiteral("SELECT count(*) FROM ") + table).value(0);
    }

  private slots:
    void initTestCase()
    {
        pg = std::make_unique<PgServer>();
        QVERIFY2(pg->ok(), qPrintable(pg->problem()));
    }
    void cleanupTestCase() { pg.reset(); }

    void settingsThatDoNotRead_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("message");
        const QString hint = QStringLiteral(". Write it as keyword=value pairs, such as "
                                            "\"host=db.plant dbname=results user=bench\".");
        const QString head = QStringLiteral("The results database setting cannot be read: ");
        QTest::newRow("a keyword without its value")
            << "host=db.plant port"
            << head + "missing \"=\" after \"port\" in connection info string" + hint;
        QTest::newRow("a quote left open")
            << "host=db.plant dbname='plant results"
            << head + "unterminated quoted string in connection info string" + hint;
        QTest::newRow("a mistyped keyword")
            << "hots=db.plant dbname=results" << head + "invalid connection option \"hots\"" + hint;
        QTest::newRow("a URI") << "postgresql://db.plant/results" << head + "it is a URI" + hint;
        QTest::newRow("nothing") << "  " << head + "it is empty" + hint;
        const QString password = QStringLiteral(
            "The results database setting holds a password: keep it in the password file "
            "~/.pgpass (or the file PGPASSFILE names), or name a service of the service file "
            "~/.pg_service.conf with service=, never in the setting.");
        QTest::newRow("a password in the setting")
            << "host=db.plant user=bench password=secret" << password;
        QTest::newRow("a password after a tab, spaces round its =")
            << "host=db.plant\tpassword = 'secret'" << password;
        QTest::newRow("the key's password") << "host=db.plant sslpassword=secret" << password;
        QTest::newRow("a password after a line break")
            << "host=db.plant\npassword=secret" << password;
        QTest::newRow("a password after a quoted tab")
            << "application_name='x'\tpassword=secret" << password;
        QTest::newRow("a password inside dbname")
            << "host=db.plant dbname='dbname=results password=secret'" << password;
        QTest::newRow("a connection string inside dbname")
            << "host=db.plant dbname='dbname=results user=x'"
            << head + "the value of \"dbname\" holds a connection string" + hint;
    }
    void settingsThatDoNotRead()
    {
        QFETCH(QString, setting);
        QFETCH(QString, message);
        ResultsServer server(setting);
        QString problem;
        QCOMPARE(server.send(makeReport("Station 1", "VELD40", CheckVerdict::Pass,
                                        "2026-12-08T10:00:00.000+01:00"),
                             &problem),
                 SendOutcome::Failed);
        QCOMPARE(problem, message);
    }

    void settingsThatRead_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("serverName");
        QTest::addColumn<QString>("dbname");
        QTest::newRow("host, port, dbname, user, sslmode")
            << "host=db.plant port=5433 dbname=results user=bench sslmode=require"
            << "db.plant:5433"
            << "results";
        QTest::newRow("quoted value with a space and a quote")
            << "host = db.plant dbname='plant \\'A\\' results'"
            << "db.plant"
            << "plant 'A' results";
        QTest::newRow("a service") << "service=plant"
                                   << "service plant"
                                   << "";
        QTest::newRow("a database named postgres") << "host=db.plant dbname=postgres"
                                                   << "db.plant"
                                                   << "postgres";
        QTest::newRow("the local socket") << "dbname=results"
                                          << "the local server"
                                          << "results";
    }
    void settingsThatRead()
    {
        QFETCH(QString, setting);
        QFETCH(QString, serverName);
        QFETCH(QString, dbname);
        const ConnectionSetting parsed = parseConnectionSetting(setting);
        QCOMPARE(parsed.problem, QString());
        QCOMPARE(parsed.serverName(), serverName);
        QCOMPARE(parsed.value(QStringLiteral("dbname")), dbname);
    }

    // A service whose section of a service file holds a secret is refused
    // as a setting with one would be; other sections do not count.
    void serviceWithASecret_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QByteArray>("serviceFile");
        QTest::addColumn<QString>("message"); // %1: the service file
        const QByteArray file = "# the plant's servers\n[plant]\nhost=db.plant\ndbname=results\n"
                                "[lab]\nhost=db.lab\n  password = secret\n[keyed]\n"
                                "host=db.plant\nsslpassword=secret\n";
        const QString held =
            QStringLiteral("The service %1 in %2 holds a password: keep it in the password file "
                           "~/.pgpass (or the file PGPASSFILE names), never in the setting or "
                           "a service file.");
        QTest::newRow("a service without one") << "service=plant" << file << QString();
        QTest::newRow("its password") << "service=lab user=bench" << file << held.arg("lab");
        QTest::newRow("its key's password") << "service=keyed" << file << held.arg("keyed");
        QTest::newRow("a service no file names") << "service=elsewhere" << file << QString();
    }
    void serviceWithASecret()
    {
        QFETCH(QString, setting);
        QFETCH(QByteArray, serviceFile);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile file(dir.filePath("pg_service.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(serviceFile);
        file.close();
        const QByteArray before = qgetenv("PGSERVICEFILE");
        qputenv("PGSERVICEFILE", file.fileName().toUtf8());
        const auto restore = qScopeGuard([&] {
            if (before.isEmpty())
                qunsetenv("PGSERVICEFILE");
            else
                qputenv("PGSERVICEFILE", before);
        });
        const QString expected = message.isEmpty() ? message : message.arg(file.fileName());
        QCOMPARE(parseConnectionSetting(setting).problem, expected);
        QTemporaryDir store;
        const QString storePath = store.filePath("config.qdr");
        QFile created(storePath);
        QVERIFY(created.open(QIODevice::WriteOnly));
        created.close();
        QString problem;
        QCOMPARE(writeResultsSetting(storePath, setting, &problem), message.isEmpty());
        QCOMPARE(problem, expected);
        QCOMPARE(readResultsSetting(storePath).setting, message.isEmpty() ? setting : QString());
    }

    // A password inside a quoted value is part of that value, never a login:
    // the server still asks for one.
    void hiddenPasswordNeverLogsIn_data()
    {
        QTest::addColumn<QString>("hidden");
        QTest::newRow("behind a tab") << "application_name='x\tpassword=right horse'";
        QTest::newRow("behind a line break") << "application_name='x\npassword=right horse'";
        QTest::newRow("behind a carriage return")
            << "application_name='x\rpassword=\\'right horse\\''";
    }
    void hiddenPasswordNeverLogsIn()
    {
        QFETCH(QString, hidden);
        const QString db = pg->createDatabase();
        QTemporaryDir dir;
        QFile passfile(dir.filePath("pgpass")); // empty: no password from elsewhere
        QVERIFY(passfile.open(QIODevice::WriteOnly));
        passfile.close();
        QVERIFY(passfile.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        ResultsServer server(QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=guarded "
                                            "passfile=%3 ")
                                 .arg(pg->port())
                                 .arg(db, passfile.fileName()) +
                             hidden);
        QCOMPARE(server.settingProblem(), QString());
        QString problem;
        QCOMPARE(server.send(makeReport("Station 1", "VELD40", CheckVerdict::Pass,
                                        "2026-12-08T10:00:00.000+01:00"),
                             &problem),
                 SendOutcome::Failed);
        QCOMPARE(problem, QStringLiteral("The results database on 127.0.0.1:%1 refused the login: "
                                         "connection to server at \"127.0.0.1\", port %1 failed: "
                                         "fe_sendauth: no password supplied")
                              .arg(pg->port()));
        QCOMPARE(pg->rows(db, Tables), QStringList{""});
    }

    // With the checks table held by another session, a round ends at its
    // first failed statement with the server's own words, whatever waits
    // behind it; the next round, once the table is free, sends them all.
    void heldTableEndsTheRound()
    {
        const QString db = pg->createDatabase();
        QString problem;
        {
            ResultsServer made(pg->setting(db));
            QVERIFY2(made.open(&problem), qPrintable(problem));
        }
        // A lock waits 1 s here, not the statement's 15 s.
        QVERIFY(
            pg->exec(db, QStringLiteral("ALTER DATABASE \"%1\" SET lock_timeout = '1s'").arg(db)));
        const auto removeHolder = qScopeGuard([] { QSqlDatabase::removeDatabase("holder"); });
        QSqlDatabase holder = QSqlDatabase::addDatabase("QPSQL", "holder");
        holder.setConnectOptions(pg->setting(db));
        QVERIFY2(holder.open(), qPrintable(holder.lastError().text()));
        QVERIFY(holder.transaction());
        QSqlQuery lock(holder);
        QVERIFY(lock.exec("LOCK TABLE checks IN ACCESS EXCLUSIVE MODE"));

        QTemporaryDir dir;
        ResultsOutbox outbox(dir.filePath("journal.sqlite"));
        for (const char *started :
             {"2026-12-08T10:00:00.000+01:00", "2026-12-08T10:01:00.000+01:00",
              "2026-12-08T10:02:00.000+01:00"})
            QVERIFY(outbox.keep(makeReport("Station 2", "KTRA20", CheckVerdict::Pass, started),
                                &problem));
        ResultsServer server(pg->setting(db));
        QElapsedTimer clock;
        clock.start();
        OutboxSync round = syncOutbox(outbox, server);
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= 1000 && took < 2500, qPrintable(QString::number(took)));
        QCOMPARE(round.sent, 0);
        QCOMPARE(round.waiting, 3);
        QCOMPARE(round.problem,
                 QStringLiteral("The results database on 127.0.0.1:%1 did not take the result: "
                                "ERROR: canceling statement due to lock timeout (55P03)")
                     .arg(pg->port()));
        QCOMPARE(outbox.waiting(&problem)->size(), size_t(3));

        QVERIFY(holder.rollback());
        holder.close();
        round = syncOutbox(outbox, server);
        QCOMPARE(round.sent, 3);
        QCOMPARE(round.waiting, 0);
        QCOMPARE(count(db, "checks"), "3");
        QCOMPARE(count(db, "check_values"), "9");
    }

    // The yield the server keeps equals the rows' own count: retests at
    // another station and across midnight, benches in three time zones, a
    // check that arrives after a later one of its unit, rows written by an
    // older program before the summaries existed (filled in batches) and
    // after (kept by the trigger).
    void summariesEqualTheRows()
    {
        const QString db = pg->createDatabase();
        QString problem;
        {
            const auto remove = qScopeGuard([] { QSqlDatabase::removeDatabase("older"); });
            QSqlDatabase older = QSqlDatabase::addDatabase("QPSQL", "older");
            older.setConnectOptions(pg->setting(db));
            QVERIFY(older.open());
            QVERIFY2(upgradeResultsSchema(older, 5, &problem), qPrintable(problem));
            older.close();
        }
        auto insert = [&](const char *station, const char *started, int offset, const char *verdict,
                          const char *serial) {
            return pg->exec(
                db, QStringLiteral("INSERT INTO checks (uuid, station, operator, unit_model, "
                                   "revision, axis, baud, device, by_id, serial_number, "
                                   "sheet_name, sheet_sha256, loaded, started, ended, utc_offset, "
                                   "verdict, problem, serial) VALUES (gen_random_uuid(), '%1', "
                                   "'Ana', 'KTRA20', '1.07', 0, 9600, '/dev/ttyUSB0', '', '', "
                                   "'line3.json', 'x', true, '%2', '%2', %3, '%4', '', '%5')")
                        .arg(station, started)
                        .arg(offset)
                        .arg(verdict, serial));
        };
        // Before the summaries: a retest at another station after midnight,
        // a check without a serial number at UTC-5, a unit's later check.
        QVERIFY(insert("bench-1", "2026-12-08T23:30:00+01:00", 3600, "fail", "SN-1"));
        QVERIFY(insert("bench-2", "2026-12-09T00:10:00+01:00", 3600, "pass", "SN-1"));
        QVERIFY(insert("bench-1", "2026-12-08T10:00:00-05:00", -18000, "fail", ""));
        QVERIFY(insert("bench-2", "2026-12-09T08:00:00+01:00", 3600, "fail", "SN-3"));
        // Values of some: a field that differs, one lost with the line.
        auto value = [&](const char *which, int position, const char *field, const char *verdict,
                         const char *problemText) {
            return pg->exec(
                db, QStringLiteral("INSERT INTO check_values SELECT uuid, %2, 1, '%3', "
                                   "'%3', '5', CASE WHEN '%5' = '' THEN '4' END, '%4', '%5' "
                                   "FROM checks WHERE %1")
                        .arg(which)
                        .arg(position)
                        .arg(field, verdict, problemText));
        };
        QVERIFY(value("station = 'bench-1' AND serial = 'SN-1'", 1, "Speed", "differs", ""));
        QVERIFY(value("serial = 'SN-3'", 1, "Speed", "differs", ""));
        QVERIFY(value("serial = 'SN-3'", 2, "Accel", "no answer", "line lost"));

        ResultsServer server(pg->setting(db));
        QStringList said;
        server.setProgress([&said](const QString &text) { said << text; });
        QVERIFY2(server.open(&problem), qPrintable(problem));
        QCOMPARE(pg->rows(db, "SELECT done FROM summary_fill"), QStringList{"true"});
        QVERIFY(!said.isEmpty());
        QVERIFY2(said.first().startsWith("Summarizing the yield of the checks already on the "
                                         "server"),
                 qPrintable(said.first()));
        QVERIFY2(said.contains(QRegularExpression("^The yield of 3 units summarized in [0-9.]+ "
                                                  "s\\.$")),
                 qPrintable(said.join('\n')));
        QVERIFY2(said.last().startsWith("The failing fields and hours of 4 checks summarized in "),
                 qPrintable(said.last()));

        // After: 00:30 at UTC+2 is the bench's 9th (22:30 on the 8th at UTC);
        // SN-3's check of the evening before arrives late; an older program
        // writes SN-4's two checks.
        CheckReport second =
            makeReport("bench-2", "KTRA20", CheckVerdict::Pass, "2026-12-09T00:30:00.000+02:00");
        second.serial = "SN-2";
        QCOMPARE(server.send(second, &problem), SendOutcome::Stored);
        CheckReport late =
            makeReport("bench-1", "KTRA20", CheckVerdict::Pass, "2026-12-08T18:00:00.000+01:00");
        late.serial = "SN-3";
        QCOMPARE(server.send(late, &problem), SendOutcome::Stored);
        QVERIFY(insert("bench-3", "2026-12-09T09:00:00+01:00", 3600, "pass", "SN-4"));
        QVERIFY(insert("bench-3", "2026-12-09T09:30:00+01:00", 3600, "pass", "SN-4"));
        // Its values come later, each in a transaction of its own: a field
        // that differs, then the line lost, which makes the check count once
        // under its cause instead.
        QVERIFY(value("started = '2026-12-09T09:30:00+01:00'", 1, "Speed", "differs", ""));
        QCOMPARE(pg->rows(db, "SELECT name, failures FROM failing_fields WHERE station = "
                              "'bench-3'"),
                 QStringList{"Profile 1, Speed|1"});
        QVERIFY(
            value("started = '2026-12-09T09:30:00+01:00'", 2, "Accel", "no answer", "line lost"));
        QCOMPARE(pg->rows(db, "SELECT name, failures FROM failing_fields WHERE station = "
                              "'bench-3' ORDER BY name"),
                 (QStringList{"Profile 1, Speed|1", "line lost|1"}));

        const QString view = QStringLiteral(
            "SELECT station, day, unit_model, units, first_pass, final_pass, checks, retests FROM "
            "yield_per_station_day ORDER BY station, day");
        QCOMPARE(pg->rows(db, view), (QStringList{"bench-1|2026-12-08|KTRA20|3|1|1|5|2",
                                                  "bench-2|2026-12-09|KTRA20|1|1|1|1|0",
                                                  "bench-3|2026-12-09|KTRA20|1|1|1|2|1"}));
        // The rows' own count, as the views counted before the summaries.
        QCOMPARE(pg->rows(db, view),
                 pg->rows(db,
                          "SELECT station, day, unit_model, count(*), count(*) FILTER (WHERE f), "
                          "count(*) FILTER (WHERE l), sum(n), sum(n) - count(*) FROM (SELECT "
                          "station, day, unit_model, verdict = 'pass' AS f, (last_value(verdict) "
                          "OVER w) = 'pass' AS l, count(*) OVER w AS n, row_number() OVER w AS r "
                          "FROM check_units WINDOW w AS (PARTITION BY unit ORDER BY started, uuid "
                          "ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING)) u WHERE r = "
                          "1 GROUP BY station, day, unit_model ORDER BY station, day"));
        QCOMPARE(pg->rows(db, "SELECT unit, station, day, first_passed, last_passed, checks FROM "
                              "unit_yield WHERE unit LIKE 'SN-%' ORDER BY unit"),
                 (QStringList{"SN-1|bench-1|2026-12-08|false|true|2",
                              "SN-2|bench-2|2026-12-09|true|true|1",
                              "SN-3|bench-1|2026-12-08|true|false|2",
                              "SN-4|bench-3|2026-12-09|true|true|2"}));
        QCOMPARE(pg->rows(db, "SELECT day, units, first_pass_percent, final_percent FROM "
                              "first_pass_yield ORDER BY day"),
                 (QStringList{"2026-12-08|3|33.3|33.3", "2026-12-09|2|100|100"}));
        QCOMPARE(count(db, "checks"), "8");

        // The failing fields and the checks per hour as the rows count them.
        const QString fields = QStringLiteral(
            "SELECT station, day, unit_model, profile, field, name, failures FROM failing_fields "
            "ORDER BY 1, 2, 3, 4, 6");
        QCOMPARE(pg->rows(db, fields),
                 (QStringList{"bench-1|2026-12-08|KTRA20|0|resolution|Resolution|1",
                              "bench-1|2026-12-08|KTRA20|1|accel|Profile 1, Accel/Decel|1",
                              "bench-1|2026-12-08|KTRA20|1|Speed|Profile 1, Speed|1",
                              "bench-2|2026-12-09|KTRA20|0|resolution|Resolution|1",
                              "bench-2|2026-12-09|KTRA20|0||line lost|1",
                              "bench-2|2026-12-09|KTRA20|1|accel|Profile 1, Accel/Decel|1",
                              "bench-2|2026-12-09|KTRA20|1|Speed|Profile 1, Speed|1",
                              "bench-3|2026-12-09|KTRA20|0||line lost|1",
                              "bench-3|2026-12-09|KTRA20|1|Speed|Profile 1, Speed|1"}));
        QCOMPARE(pg->rows(db, fields),
                 pg->rows(db,
                          "WITH e AS (SELECT c.uuid, c.station, CAST((c.started AT TIME ZONE "
                          "'UTC') + c.utc_offset * interval '1 second' AS date) AS day, "
                          "c.unit_model, CASE WHEN c.verdict = 'refused' THEN 'refused' WHEN "
                          "c.problem LIKE 'line lost%' OR EXISTS (SELECT 1 FROM check_values l "
                          "WHERE l.check_uuid = c.uuid AND l.problem = 'line lost') THEN 'line "
                          "lost' WHEN c.verdict <> 'error' THEN '' ELSE 'no answer' END AS cause "
                          "FROM checks c) SELECT * FROM (SELECT e.station, e.day, e.unit_model, "
                          "v.profile, v.field, CASE WHEN v.profile > 0 THEN 'Profile ' || "
                          "v.profile || ', ' || v.caption ELSE v.caption END, count(*) FROM e "
                          "JOIN check_values v ON v.check_uuid = e.uuid WHERE v.verdict <> "
                          "'match' AND (e.cause = '' OR v.unit_value IS NOT NULL) GROUP BY 1, 2, "
                          "3, 4, 5, 6 UNION ALL SELECT station, day, unit_model, 0, '', cause, "
                          "count(*) FROM e WHERE cause <> '' GROUP BY 1, 2, 3, 6) f ORDER BY 1, "
                          "2, 3, 4, 6"));
        const QString hours = QStringLiteral(
            "SELECT station, day, hour, passed, other FROM checks_per_hour ORDER BY 1, 2, 3");
        QCOMPARE(pg->rows(db, hours),
                 (QStringList{"bench-1|2026-12-08|10|0|1", "bench-1|2026-12-08|18|1|0",
                              "bench-1|2026-12-08|23|0|1", "bench-2|2026-12-09|0|2|0",
                              "bench-2|2026-12-09|8|0|1", "bench-3|2026-12-09|9|2|0"}));
        QCOMPARE(pg->rows(db, hours),
                 pg->rows(db, "SELECT station, CAST(t AS date), extract(hour FROM t), count(*) "
                              "FILTER (WHERE verdict = 'pass'), count(*) FILTER (WHERE verdict "
                              "<> 'pass') FROM (SELECT station, verdict, (started AT TIME ZONE "
                              "'UTC') + utc_offset * interval '1 second' AS t FROM checks) c "
                              "GROUP BY 1, 2, 3 ORDER BY 1, 2, 3"));
    }

    // The right password from a passfile; every field and value arrives and
    // reads back as sent.
    void checkArrivesWhole()
    {
        const QString db = pg->createDatabase();
        QVERIFY(pg->exec("postgres", "ALTER DATABASE " + db + " OWNER TO guarded"));
        QTemporaryDir dir;
        QFile passfile(dir.filePath("pgpass"));
        QVERIFY(passfile.open(QIODevice::WriteOnly));
        passfile.write(
            QStringLiteral("127.0.0.1:%1:*:guarded:right horse\n").arg(pg->port()).toUtf8());
        passfile.close();
        QVERIFY(passfile.setPermissions(QFile::ReadOwner | QFile::WriteOwner));

        CheckReport sent =
            makeReport("Station 2", "VELD40", CheckVerdict::Fail, "2026-12-08T14:05:01.250+01:00");
        sent.serial = QStringLiteral("SN-0042");
        // Options beyond host, port, dbname and user reach libpq as written.
        ResultsServer server(pg->setting(db, "guarded") + " passfile=" + passfile.fileName() +
                             " sslmode=disable application_name='bench 2'");
        QString problem;
        const SendOutcome o = server.send(sent, &problem);
        QVERIFY2(o == SendOutcome::Stored, qPrintable(problem));
        QCOMPARE(problem, QString());

        QCOMPARE(
            pg->rows(db, CheckRow),
            QStringList{sent.id.toString(QUuid::WithoutBraces) +
                        "|Station 2|Ana|VELD40|1.07|3|9600|/dev/ttyUSB0|"
                        "usb-FTDI_FT232R_A1B2-if00-port0|A1B2|line-4.sheet|"
                        "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08|"
                        "true|2026-12-08 13:05:01.250|2026-12-08 13:05:02.750|3600|fail||SN-0042"});
        QCOMPARE(pg->rows(db, ValueRows),
                 (QStringList{"1|1|max-speed|Max Speed|5000|5000|match|",
                              "2|1|accel|Accel/Decel|100|NULL|no answer|?\\r",
                              "3|0|resolution|Resolution|8|4|differs|"}));
        QCOMPARE(pg->rows(db, "SELECT version FROM schema_version"), QStringList{"7"});
        QCOMPARE(pg->rows(db, "SELECT application_name, ssl FROM pg_stat_activity JOIN "
                              "pg_stat_ssl USING (pid) WHERE usename = 'guarded'"),
                 QStringList{"bench 2|false"});

        const auto listed = server.list({}, &problem);
        QVERIFY2(listed, qPrintable(problem));
        QCOMPARE(described(*listed), QStringList{describe(sent)});
    }

    // Sent again after it arrived, sent again from the outbox after a commit
    // whose mark was lost, or cut off half way and repeated: one check, its
    // values once.
    void oneCheckWhateverIsRepeated()
    {
        const QString db = pg->createDatabase();
        ResultsServer server(pg->setting(db));
        const CheckReport report =
            makeReport("Station 1", "KTRA20", CheckVerdict::Pass, "2026-12-08T09:00:00.000+01:00");
        QString problem;
        QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        QCOMPARE(server.send(report, &problem), SendOutcome::AlreadyThere);

        QTemporaryDir dir;
        ResultsOutbox outbox(dir.filePath("journal.sqlite"));
        QVERIFY(outbox.keep(report, &problem));
        QVERIFY(outbox.keep(report, &problem));
        const OutboxSync sync = syncOutbox(outbox, server);
        QCOMPARE(sync.sent, 1);
        QCOMPARE(sync.waiting, 0);
        QCOMPARE(outbox.waiting(&problem)->size(), size_t(0));

        // The third value of a failed check breaks the transaction after
        // the check row and two values went in: none of it stays.
        const CheckReport cut =
            makeReport("Station 1", "KTRA20", CheckVerdict::Fail, "2026-12-08T09:10:00.000+01:00");
        QVERIFY(pg->exec(db, "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                             "$$BEGIN IF NEW.position = 3 AND (SELECT verdict FROM checks WHERE "
                             "uuid = NEW.check_uuid) = 'fail' THEN RAISE EXCEPTION 'cut off'; "
                             "END IF; "
                             "RETURN NEW; END$$"));
        QVERIFY(pg->exec(db, "CREATE TRIGGER cut BEFORE INSERT ON check_values FOR EACH ROW "
                             "EXECUTE FUNCTION refuse()"));
        // The server refuses that one result; the one after it still goes.
        const CheckReport later =
            makeReport("Station 1", "KTRA20", CheckVerdict::Pass, "2026-12-08T09:20:00.000+01:00");
        QVERIFY(outbox.keep(cut, &problem));
        QVERIFY(outbox.keep(later, &problem));
        OutboxSync round = syncOutbox(outbox, server);
        QCOMPARE(round.sent, 1);
        QCOMPARE(round.waiting, 1);
        QCOMPARE(round.problem, QStringLiteral("The results database on 127.0.0.1:%1 did not take "
                                               "the result: ERROR: cut off CONTEXT: PL/pgSQL "
                                               "function refuse() line 1 at RAISE (P0001)")
                                    .arg(pg->port()));
        QCOMPARE(described(*outbox.waiting(&problem)), QStringList{describe(cut)});
        QCOMPARE(count(db, "checks"), "2");
        QCOMPARE(count(db, "check_values"), "6");
        QVERIFY(pg->exec(db, "DROP TRIGGER cut ON check_values"));
        round = syncOutbox(outbox, server);
        QCOMPARE(round.sent, 1);
        QCOMPARE(round.waiting, 0);
        QCOMPARE(count(db, "checks"), "3");
        QCOMPARE(count(db, "check_values"), "9");
    }

    // Four stations, each with its own connection, start together on an
    // empty database (the schema is made once) and send at once, one result
    // of them all four times.
    void fourStationsAtOnce()
    {
        const QString db = pg->createDatabase();
        const QString setting = pg->setting(db);
        const CheckReport shared =
            makeReport("Station 1", "VELD40", CheckVerdict::Pass, "2026-12-08T08:00:00.000+01:00");
        std::vector<QList<SendOutcome>> outcomes(4);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int s = 0; s < 4; ++s) {
            threads.emplace_back(QThread::create([&, s] {
                ResultsServer server(setting);
                const QString station = QStringLiteral("Station %1").arg(s + 1);
                for (int i = 0; i < 10; ++i) {
                    outcomes[s] << server.send(makeReport(station, "KTRA20", CheckVerdict::Pass,
                                                          "2026-12-08T10:00:00.000+01:00"),
                                               nullptr);
                    if (i == 5)
                        outcomes[s] << server.send(shared, nullptr);
                }
            }));
            threads.back()->start();
        }
        for (auto &thread : threads)
            QVERIFY(thread->wait(30000));
        int stored = 0;
        int already = 0;
        for (const auto &list : outcomes) {
            stored += list.count(SendOutcome::Stored);
            already += list.count(SendOutcome::AlreadyThere);
        }
        QCOMPARE(stored, 41);
        QCOMPARE(already, 3);
        QCOMPARE(pg->rows(db, "SELECT station, count(*) FROM checks GROUP BY station ORDER BY 1"),
                 (QStringList{"Station 1|11", "Station 2|10", "Station 3|10", "Station 4|10"}));
        QCOMPARE(count(db, "check_values"), "123");
        QCOMPARE(pg->rows(db, "SELECT version FROM schema_version"), QStringList{"7"});
    }

    // The server goes away in the middle of a run: the result waits in the
    // outbox with one message naming the server, and goes when it is back.
    void serverAwayMidRunThenBack()
    {
        const QString db = pg->createDatabase();
        ResultsServer server(pg->setting(db));
        QTemporaryDir dir;
        ResultsOutbox outbox(dir.filePath("journal.sqlite"));
        QString problem;
        const CheckReport first =
            makeReport("Station 3", "KTRA20", CheckVerdict::Pass, "2026-12-08T11:00:00.000+01:00");
        const CheckReport second =
            makeReport("Station 3", "KTRA20", CheckVerdict::Fail, "2026-12-08T11:01:00.000+01:00");
        QVERIFY(outbox.keep(first, &problem));
        QCOMPARE(syncOutbox(outbox, server).sent, 1);

        QVERIFY(pg->stop());
        QVERIFY(outbox.keep(second, &problem));
        OutboxSync sync = syncOutbox(outbox, server);
        QCOMPARE(sync.sent, 0);
        QCOMPARE(sync.waiting, 1);
        QCOMPARE(sync.problem,
                 QStringLiteral("The results database on 127.0.0.1:%1 cannot be reached: "
                                "connection to server at \"127.0.0.1\", port %1 failed: "
                                "Connection refused Is the server running on that host and "
                                "accepting TCP/IP connections?")
                     .arg(pg->port()));
        QCOMPARE(described(*outbox.waiting(&problem)), QStringList{describe(second)});

        QVERIFY(pg->start());
        sync = syncOutbox(outbox, server);
        QCOMPARE(sync.sent, 1);
        QCOMPARE(sync.waiting, 0);
        QCOMPARE(sync.problem, QString());
        QCOMPARE(outbox.waiting(&problem)->size(), size_t(0));
        QCOMPARE(pg->rows(db, "SELECT verdict FROM checks ORDER BY started"),
                 (QStringList{"pass", "fail"}));
        QCOMPARE(count(db, "check_values"), "6");
    }

    // A check while the server cannot be had: the result waits on the
    // bench with one message naming the server, and goes with the next
    // check once there is one.
    void deliveryWaitsForTheServer_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing listening")
            << "host=127.0.0.1 port=1 dbname=results user=ktv"
            << "1 result kept on this bench until 127.0.0.1:1 answers. The results database on "
               "127.0.0.1:1 cannot be reached: connection to server at \"127.0.0.1\", port 1 "
               "failed: Connection refused Is the server running on that host and accepting "
               "TCP/IP connections?";
        QTest::newRow("a setting that does not read")
            << "host=db.plant port"
            << "1 result kept on this bench. The results database setting cannot be read: "
               "missing \"=\" after \"port\" in connection info string. Write it as keyword=value "
               "pairs, such as "
               "\"host=db.plant dbname=results user=bench\".";
    }
    void deliveryWaitsForTheServer()
    {
        QFETCH(QString, setting);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString journal = dir.filePath("journal.sqlite");
        const CheckReport first =
            makeReport("Station 5", "KTRA20", CheckVerdict::Fail, "2026-12-08T12:00:00.000+01:00");
        Delivery delivery = ResultsDelivery(journal, setting).deliver(first);
        QVERIFY(delivery.kept);
        QCOMPARE(delivery.sent, 0);
        QCOMPARE(delivery.waiting, 1);
        QCOMPARE(delivery.message, message);

        const QString db = pg->createDatabase();
        ResultsDelivery working(journal, pg->setting(db));
        const CheckReport second =
            makeReport("Station 5", "KTRA20", CheckVerdict::Pass, "2026-12-08T12:01:00.000+01:00");
        delivery = working.deliver(second);
        QCOMPARE(delivery.sent, 2);
        QCOMPARE(delivery.waiting, 0);
        QCOMPARE(delivery.message, QString());
        QString problem;
        QCOMPARE(described(*working.server().list({}, &problem)),
                 (QStringList{describe(second), describe(first)}));
        QCOMPARE(working.outbox().waiting(&problem)->size(), size_t(0));
    }

    // A database made by the first schema, with a row an older bench sent,
    // is brought to the current one: the row stays, values gain their
    // problem text, the index over failures exists.
    void upgradeFromVersionOne()
    {
        const QString db = pg->createDatabase();
        {
            const QString name = QStringLiteral("upgrade-v1");
            QSqlDatabase connection = QSqlDatabase::addDatabase("QPSQL", name);
            connection.setHostName("127.0.0.1");
            connection.setPort(pg->port());
            connection.setDatabaseName(db);
            connection.setUserName("ktv");
            QVERIFY(connection.open());
            QString problem;
            QVERIFY2(upgradeResultsSchema(connection, 1, &problem), qPrintable(problem));
            connection.close();
            connection = {};
            QSqlDatabase::removeDatabase(name);
        }
        QVERIFY(pg->exec(db, "INSERT INTO checks VALUES ('6f1c1e43-5c0a-4f7e-9a57-0f3f2b4c1d11', "
                             "'Station 9', 'Bo', 'KTRA10', '1.02', 0, 9600, '/dev/ttyS0', '', '', "
                             "'old.sheet', 'ab', false, '2026-11-30 08:00:00+00', "
                             "'2026-11-30 08:00:01+00', 0, 'pass', '', now())"));
        QVERIFY(pg->exec(db, "INSERT INTO check_values VALUES "
                             "('6f1c1e43-5c0a-4f7e-9a57-0f3f2b4c1d11', 1, 1, 'max-speed', "
                             "'Max Speed', '800', '800', 'match')"));
        QCOMPARE(pg->rows(db, "SELECT version FROM schema_version"), QStringList{"1"});

        ResultsServer server(pg->setting(db));
        QString problem;
        const auto listed = server.list({}, &problem);
        QVERIFY2(listed, qPrintable(problem));
        QCOMPARE(
            described(*listed),
            QStringList{"{6f1c1e43-5c0a-4f7e-9a57-0f3f2b4c1d11}|KTRA10|1.02|0|9600|/dev/ttyS0|||"
                        "|Station 9|Bo|old.sheet|ab|read|2026-11-30T08:00:00.000Z|"
                        "2026-11-30T08:00:01.000Z|pass||1/max-speed/Max Speed/800/800/match/"});
        QCOMPARE(pg->rows(db, "SELECT version FROM schema_version"), QStringList{"7"});
        QCOMPARE(pg->rows(db, "SELECT indexname FROM pg_indexes WHERE tablename = 'checks' "
                              "ORDER BY 1"),
                 (QStringList{"checks_by_day", "checks_by_model", "checks_by_serial",
                              "checks_by_station", "checks_by_time", "checks_not_passed",
                              "checks_pkey"}));
        const CheckReport report =
            makeReport("Station 9", "KTRA10", CheckVerdict::Fail, "2026-12-08T10:00:00.000Z");
        QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        QCOMPARE(pg->rows(db, "SELECT problem FROM check_values WHERE field = 'accel'"),
                 QStringList{"?\\r"});
    }

    void refusedWithOneMessage_data()
    {
        QTest::addColumn<QString>("setting"); // %1: port, %2: database, %3: a passfile
        QTest::addColumn<bool>("newerSchema");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("tables"); // what the database holds afterwards

        QTest::newRow("wrong password")
            << "host=127.0.0.1 port=%1 dbname=%2 user=guarded passfile=%3" << false
            << "The results database on 127.0.0.1:%1 refused the login: connection to server at "
               "\"127.0.0.1\", port %1 failed: FATAL: password authentication failed for user "
               "\"guarded\" password retrieved from file \"%3\""
            << "";
        QTest::newRow("nothing listening")
            << "host=127.0.0.1 port=1 dbname=%2 user=ktv" << false
            << "The results database on 127.0.0.1:1 cannot be reached: connection to server at "
               "\"127.0.0.1\", port 1 failed: Connection refused Is the server running on that "
               "host and accepting TCP/IP connections?"
            << "";
        QTest::newRow("a newer schema")
            << "host=127.0.0.1 port=%1 dbname=%2 user=ktv" << true
            << "The results database on 127.0.0.1:%1 cannot be used: its schema is version 9, "
               "newer than this program's 7; nothing was written"
            << "schema_version";
    }
    void refusedWithOneMessage()
    {
        QFETCH(QString, setting);
        QFETCH(bool, newerSchema);
        QFETCH(QString, message);
        QFETCH(QString, tables);
        const QString db = pg->createDatabase();
        if (newerSchema)
            QVERIFY(pg->exec(db, "CREATE TABLE schema_version (version integer NOT NULL); "
                                 "INSERT INTO schema_version VALUES (9)"));
        QTemporaryDir dir;
        QFile passfile(dir.filePath("pgpass"));
        QVERIFY(passfile.open(QIODevice::WriteOnly));
        passfile.write(
            QStringLiteral("127.0.0.1:%1:*:guarded:wrong horse\n").arg(pg->port()).toUtf8());
        passfile.close();
        QVERIFY(passfile.setPermissions(QFile::ReadOwner | QFile::WriteOwner));

        auto filled = [&](QString text) {
            return text.replace("%1", QString::number(pg->port()))
                .replace("%2", db)
                .replace("%3", passfile.fileName());
        };
        ResultsServer server(filled(setting));
        QString problem;
        QCOMPARE(server.send(makeReport("Station 1", "VELD40", CheckVerdict::Pass,
                                        "2026-12-08T10:00:00.000+01:00"),
                             &problem),
                 SendOutcome::Failed);
        QCOMPARE(problem, filled(message));
        QVERIFY(!server.list({}, &problem));
        QCOMPARE(problem, filled(message));
        QCOMPARE(pg->rows(db, Tables), QStringList{tables});
        if (newerSchema)
            QCOMPARE(pg->rows(db, "SELECT version FROM schema_version"), QStringList{"9"});
    }

    // A server that takes the connection and never answers holds the bench
    // for 5 s at most, whatever connect_timeout says; it writes nothing.
    void silentServerWaitsBounded_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("note");
        QTest::newRow("no connect_timeout") << ""
                                            << "";
        QTest::newRow("connect_timeout=0 (forever) is capped")
            << " connect_timeout=0"
            << "connect_timeout=0 is capped: the bench waits at most 5 s for the server, the "
               "host name's lookup included.";
        QTest::newRow("connect_timeout=30 is capped")
            << " connect_timeout=30"
            << "connect_timeout=30 is capped: the bench waits at most 5 s for the server, the "
               "host name's lookup included.";
        QTest::newRow("connect_timeout=3 stands") << " connect_timeout=3"
                                                  << "";
    }
    void silentServerWaitsBounded()
    {
        QFETCH(QString, extra);
        QFETCH(QString, note);
        SilentServer silent;
        QVERIFY(silent.ok());
        ResultsServer server(silent.setting() + extra);
        QCOMPARE(server.settingNote(), note);
        QElapsedTimer clock;
        clock.start();
        const ServerProbe probe = server.probe();
        const qint64 waited = clock.elapsed();
        QCOMPARE(probe.outcome, ProbeOutcome::Unreachable);
        QCOMPARE(probe.text, QStringLiteral("The results database on 127.0.0.1:%1 cannot be "
                                            "reached: connection to server at \"127.0.0.1\", "
                                            "port %1 failed: timeout expired")
                                 .arg(silent.port()));
        QVERIFY2(waited >= 1900 && waited < 6500, qPrintable(QString::number(waited)));
    }

    // Test reads: a wrong password and a server away are told apart, and an
    // empty database stays empty.
    void probeWritesNothing_data()
    {
        QTest::addColumn<QString>("setting"); // %1: port, %2: database, %3: a passfile
        QTest::addColumn<ProbeOutcome>("outcome");
        QTest::addColumn<QString>("text");
        QTest::newRow("an empty database")
            << "host=127.0.0.1 port=%1 dbname=%2 user=ktv" << ProbeOutcome::Reached
            << "Connected to 127.0.0.1:%1: no results tables yet; the first result sent makes "
               "them.";
        QTest::newRow("wrong password")
            << "host=127.0.0.1 port=%1 dbname=%2 user=guarded passfile=%3"
            << ProbeOutcome::LoginRefused
            << "The results database on 127.0.0.1:%1 refused the login: connection to server at "
               "\"127.0.0.1\", port %1 failed: FATAL: password authentication failed for user "
               "\"guarded\" password retrieved from file \"%3\"";
        QTest::newRow("nothing listening")
            << "host=127.0.0.1 port=1 dbname=%2 user=ktv" << ProbeOutcome::Unreachable
            << "The results database on 127.0.0.1:1 cannot be reached: connection to server at "
               "\"127.0.0.1\", port 1 failed: Connection refused Is the server running on that "
               "host and accepting TCP/IP connections?";
    }
    void probeWritesNothing()
    {
        QFETCH(QString, setting);
        QFETCH(ProbeOutcome, outcome);
        QFETCH(QString, text);
        const QString db = pg->createDatabase();
        QTemporaryDir dir;
        QFile passfile(dir.filePath("pgpass"));
        QVERIFY(passfile.open(QIODevice::WriteOnly));
        passfile.write(
            QStringLiteral("127.0.0.1:%1:*:guarded:wrong horse\n").arg(pg->port()).toUtf8());
        passfile.close();
        QVERIFY(passfile.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        auto filled = [&](QString text) {
            return text.replace("%1", QString::number(pg->port()))
                .replace("%2", db)
                .replace("%3", passfile.fileName());
        };
        ResultsServer server(filled(setting));
        const ServerProbe probe = server.probe();
        QCOMPARE(probe.outcome, outcome);
        QCOMPARE(probe.text, filled(text));
        QCOMPARE(pg->rows(db, Tables), QStringList{""});
    }

    // The bench in Tokyo, the server's sessions in New York: a check made at
    // 09:00 on the bench is 00:00 UTC on the server, its day the bench's,
    // and a Since written at the bench is read at the bench.
    void timesAcrossTimeZones()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Asia/Tokyo");
        tzset();
        const auto restore = qScopeGuard([&] {
            if (zone.isNull())
                qunsetenv("TZ");
            else
                qputenv("TZ", zone);
            tzset();
        });
        const QString db = pg->createDatabase();
        QVERIFY(
            pg->exec("postgres", "ALTER DATABASE " + db + " SET timezone = 'America/New_York'"));
        CheckReport report =
            makeReport("Station 1", "KTRA20", CheckVerdict::Pass, "2026-12-08T09:00:00.000");
        QCOMPARE(report.started.timeSpec(), Qt::LocalTime);
        QCOMPARE(report.started.offsetFromUtc(), 9 * 3600);
        ResultsServer server(pg->setting(db));
        QString problem;
        QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        QCOMPARE(pg->rows(db, "SELECT to_char(started AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI'), "
                              "utc_offset FROM checks"),
                 QStringList{"2026-12-08 00:00|32400"});

        ResultsFilter filter;
        filter.since = QDate(2026, 12, 8).startOfDay(); // Tokyo's midnight
        QCOMPARE(server.list(filter, &problem)->size(), std::size_t(1));
        const auto yields = server.yield(filter, &problem);
        QVERIFY2(yields, qPrintable(problem));
        QCOMPARE(yields->size(), std::size_t(1));
        QCOMPARE(yields->front().day, QDate(2026, 12, 8));
        filter.since = QDateTime::fromString("2026-12-08T09:00:01", Qt::ISODate);
        QCOMPARE(server.list(filter, &problem)->size(), std::size_t(0));
    }

    void listAndYield_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("since");
        QTest::addColumn<bool>("failedOnly");
        QTest::addColumn<QString>("listed");     // the reports' letters, newest first
        QTest::addColumn<QStringList>("yields"); // day|station|passed|total

        // a..e below; c starts at 00:30 on the 8th at the bench, still the
        // 7th in UTC, and counts for the 8th.
        QTest::newRow("everything, newest first")
            << ""
            << ""
            << "" << false << "edcba"
            << QStringList{"2026-12-08|Station 1|1|1", "2026-12-08|Station 2|1|2",
                           "2026-12-07|Station 1|1|2"};
        QTest::newRow("one station")
            << "Station 1"
            << ""
            << "" << false << "eba"
            << QStringList{"2026-12-08|Station 1|1|1", "2026-12-07|Station 1|1|2"};
        QTest::newRow("one model, in any case")
            << ""
            << "veld40"
            << "" << false << "b" << QStringList{"2026-12-07|Station 1|0|1"};
        QTest::newRow("since a time")
            << ""
            << ""
            << "2026-12-08T00:30:00.000+01:00" << false << "edc"
            << QStringList{"2026-12-08|Station 1|1|1", "2026-12-08|Station 2|1|2"};
        QTest::newRow("failed only")
            << ""
            << ""
            << "" << true << "db"
            << QStringList{"2026-12-08|Station 2|0|1", "2026-12-07|Station 1|0|1"};
        QTest::newRow("nothing matches") << "Station 7"
                                         << ""
                                         << "" << false << "" << QStringList{};
    }
    void listAndYield()
    {
        QFETCH(QString, station);
        QFETCH(QString, model);
        QFETCH(QString, since);
        QFETCH(bool, failedOnly);
        QFETCH(QString, listed);
        QFETCH(QStringList, yields);
        const QString db = pg->createDatabase();
        ResultsServer server(pg->setting(db));
        const QMap<QChar, CheckReport> reports = {
            {'a', makeReport("Station 1", "KTRA20", CheckVerdict::Pass,
                             "2026-12-07T09:00:00.000+01:00")},
            {'b', makeReport("Station 1", "VELD40", CheckVerdict::Fail,
                             "2026-12-07T23:30:00.000+01:00")},
            {'c', makeReport("Station 2", "KTRA20", CheckVerdict::Pass,
                             "2026-12-08T00:30:00.000+01:00")},
            {'d', makeReport("Station 2", "KTRA20", CheckVerdict::Error,
                             "2026-12-08T10:00:00.000+01:00")},
            {'e', makeReport("Station 1", "KTRA20", CheckVerdict::Pass,
                             "2026-12-08T11:00:00.000+01:00")},
        };
        QString problem;
        for (const CheckReport &report : reports)
            QCOMPARE(server.send(report, &problem), SendOutcome::Stored);

        const ResultsFilter filter{
            station, model, QDateTime::fromString(since, Qt::ISODateWithMs), failedOnly, {}, 0,
            0,       false};
        QStringList expected;
        for (const QChar letter : listed)
            expected << describe(reports[letter]);
        const auto found = server.list(filter, &problem);
        QVERIFY2(found, qPrintable(problem));
        QCOMPARE(described(*found), expected);

        const auto perDay = server.yield(filter, &problem);
        QVERIFY2(perDay, qPrintable(problem));
        QStringList yielded;
        for (const StationYield &y : *perDay)
            yielded << QStringLiteral("%1|%2|%3|%4")
                           .arg(y.day.toString(Qt::ISODate), y.station)
                           .arg(y.passed)
                           .arg(y.total);
        QCOMPARE(yielded, yields);
    }

    // The yield views hold what the program's own arithmetic gives for the
    // same checks: each unit once, first and final pass, retests, failing
    // fields; and the sums the tool and the charts make of them agree.
    void yieldViewsAgreeWithTheArithmetic()
    {
        const QString db = pg->createDatabase();
        ResultsServer server(pg->setting(db));
        const std::vector<CheckReport> reports = yieldSeed();
        QString problem;
        // Sent out of order, as stations that waited for the server do.
        for (auto it = reports.rbegin(); it != reports.rend(); ++it)
            QCOMPARE(server.send(*it, &problem), SendOutcome::Stored);

        QCOMPARE(pg->rows(db, "SELECT station, day, unit_model, units, first_pass, final_pass, "
                              "checks, retests FROM yield_per_station_day ORDER BY day, station"),
                 (QStringList{"bench-1|2026-12-07|KTRA20|2|1|2|3|1",
                              "bench-2|2026-12-07|KTRA20|1|0|0|2|1",
                              "bench-2|2026-12-08|VELD30|2|1|1|2|0"}));
        QCOMPARE(pg->rows(db, "SELECT day, units, first_pass, final_pass, retests, "
                              "first_pass_percent, final_percent FROM first_pass_yield ORDER BY "
                              "day"),
                 (QStringList{"2026-12-07|3|1|2|2|33.3|66.7", "2026-12-08|2|1|1|0|50|50"}));
        QCOMPARE(
            pg->rows(db, "SELECT name, sum(failures) FROM failing_fields GROUP BY name "
                         "ORDER BY 2 DESC, 1"),
            (QStringList{"Profile 1, Max Speed|3", "Profile 1, Accel/Decel|1", "Resolution|1"}));

        auto text = [](const std::vector<YieldFigures> &rows) {
            QStringList out;
            for (const YieldFigures &y : rows)
                out << QStringLiteral("%1|%2|%3|%4/%5/%6/%7")
                           .arg(y.day.toString(Qt::ISODate), y.station, y.unitModel)
                           .arg(y.units)
                           .arg(y.firstPassed)
                           .arg(y.finalPassed)
                           .arg(y.checks);
            return out;
        };
        const auto figures = server.yieldFigures({}, &problem);
        QVERIFY2(figures, qPrintable(problem));
        QCOMPARE(text(*figures), text(yieldPerStationDay(reports)));
        const ResultsFilter filters[] = {
            {},
            {QStringLiteral("bench-2"), {}, {}, false, {}},
            {{}, QStringLiteral("veld30"), {}, false, {}},
            {{}, {}, QDateTime::fromString("2026-12-08T10:30:00+01:00", Qt::ISODate), false, {}}};
        for (const ResultsFilter &filter : filters) {
            const auto read = server.yieldFigures(filter, &problem);
            QVERIFY2(read, qPrintable(problem));
            for (const YieldBy by : {YieldBy::All, YieldBy::Station, YieldBy::Day})
                QCOMPARE(text(yieldBy(*read, by, filter)),
                         text(yieldBy(yieldPerStationDay(reports), by, filter)));
            const auto failures = server.fieldFailures(filter, &problem);
            QVERIFY2(failures, qPrintable(problem));
            QStringList fromServer;
            QStringList fromArithmetic;
            for (const RankedField &field : rankFields(*failures, filter))
                fromServer << field.name + QLatin1Char(' ') + QString::number(field.failures);
            for (const RankedField &field : rankFields(failingFields(reports), filter))
                fromArithmetic << field.name + QLatin1Char(' ') + QString::number(field.failures);
            QCOMPARE(fromServer, fromArithmetic);
        }
    }

    // A check that could not finish is in failing_fields once, under its
    // cause (field ''), as the program counts it; the view keeps its columns.
    void failingFieldsCountUnfinishedChecksOnce()
    {
        const QString db = pg->createDatabase();
        ResultsServer server(pg->setting(db));
        QString problem;
        for (const CheckReport &report : unfinishedSeed())
            QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        // As the program counts them (the charts' test reads them back).
        QCOMPARE(pg->rows(db, "SELECT station, day, unit_model, profile, field, name, failures "
                              "FROM failing_fields ORDER BY failures DESC, name COLLATE \"C\""),
                 (QStringList{"bench-3|2026-12-09|KTRA20|0||line lost|2",
                              "bench-3|2026-12-09|KTRA20|1|max-speed|Profile 1, Max Speed|1",
                              "bench-3|2026-12-09|KTRA20|0||no answer|1",
                              "bench-3|2026-12-09|KTRA20|0||refused|1",
                              "bench-3|2026-12-09|KTRA20|0||stopped|1"}));
        QCOMPARE(pg->rows(db, "SELECT count(*) FROM checks"), QStringList{"5"});
    }
};

QTEST_GUILESS_MAIN(tst_ResultsServer)
#include "tst_resultsserver.moc"
