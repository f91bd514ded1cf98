// ktraveld-cli check and results with the plant's results server, a
// PostgreSQL server of the test's own: a server away keeps the result on
// the bench with one message and changes neither verdict nor exit status
// nor a byte on the line; the next check sends both; results reads the
// server; results --sync uses the store's setting.

#include "CliRig.h"
#include "Helpers.h"
#include "PgServer.h"
#include "SilentServer.h"
#include "UnitSimProcess.h"
#include "YieldSeed.h"

#include "store/CheckResults.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace ktv;
using namespace ktv::test;

class tst_CliResults : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString store;

    CliRun run(const QStringList &args) { return runCli(store, dir.filePath("data"), args); }

  private slots:
    void checkKeepsThenSends()
    {
        PgServer pg;
        QVERIFY2(pg.ok(), qPrintable(pg.problem()));
        const QString db = pg.createDatabase();
        UnitSimProcess unit;
        QVERIFY(unit.start());
        store = dir.filePath("config.qdr");
        QVERIFY(writeStore(store, 1, {{1, unit.devicePath()}}));
        const QString sheet = dir.filePath("unit.json");
        QCOMPARE(run({"save", sheet, "--baud", "9600"}).exitCode, 0);

        // Away: the verdict, the exit status and the line are a check's.
        unit.clearRecord();
        const CliRun plain = run({"check", sheet, "--baud", "9600", "--station", "Bench 4"});
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(plain.err, QString());
        const QList<QByteArray> checkLines = unit.receivedBytes();
        QVERIFY(checkLines.size() > 2);
        unit.clearRecord();
        const QString away = "host=127.0.0.1 port=1 dbname=results user=ktv";
        const CliRun kept = run({"check", sheet, "--baud", "9600", "--station", "Bench 4",
                                 "--results-db", away, "--json"});
        QCOMPARE(kept.exitCode, 0);
        QCOMPARE(unit.receivedBytes(), checkLines);
        const QJsonObject document = QJsonDocument::fromJson(kept.out.toUtf8()).object();
        QCOMPARE(document.value("verdict").toString(), "pass");
        QCOMPARE(document.value("messages").toArray(),
                 (QJsonArray{QJsonObject{
                     {"code", "results-waiting"},
                     {"text", "2 results kept on this bench until 127.0.0.1:1 answers. The "
                              "results database on 127.0.0.1:1 cannot be reached: connection to "
                              "server at \"127.0.0.1\", port 1 failed: Connection refused Is the "
                              "server running on that host and accepting TCP/IP connections?"}}}));
        QCOMPARE(pg.rows(db, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                 QStringList{"0"});

        // The next check sends the three, once each.
        const CliRun sent = run({"check", sheet, "--baud", "9600", "--station", "Bench 4",
                                 "--results-db", pg.setting(db)});
        QCOMPARE(sent.exitCode, 0);
        QCOMPARE(sent.err, QString());
        QCOMPARE(pg.rows(db, "SELECT station, verdict, count(*), count(DISTINCT uuid) FROM checks "
                             "GROUP BY 1, 2"),
                 QStringList{"Bench 4|pass|3|3"});

        const CliRun listed = run({"results", "--results-db", pg.setting(db), "--json"});
        QCOMPARE(listed.exitCode, 0);
        const QJsonObject list = QJsonDocument::fromJson(listed.out.toUtf8()).object();
        QCOMPARE(list.value("server").toString(), QStringLiteral("127.0.0.1:%1").arg(pg.port()));
        QCOMPARE(list.value("results").toArray().size(), 3);

        // The store's setting, read when no option is given.
        QString problem;
        QVERIFY2(writeResultsSetting(store, pg.setting(db), &problem), qPrintable(problem));
        const CliRun synced = run({"results", "--sync"});
        QCOMPARE(synced.exitCode, 0);
        QCOMPARE(synced.out,
                 QStringLiteral("0 results sent to 127.0.0.1:%1, 0 waiting.\n").arg(pg.port()));
        QCOMPARE(synced.err, QString());

        // A journal that cannot take the result: it goes to the server straight.
        const QString blocked = dir.filePath("blocked"); // a file where the data folder goes
        QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
        const CliRun direct = runCli(store, blocked, {"check", sheet, "--baud", "9600"});
        QCOMPARE(direct.exitCode, 0);
        QVERIFY2(
            direct.err.startsWith(QStringLiteral("The change journal %1/ktraveld/journal.sqlite "
                                                 "cannot be written: ")
                                      .arg(blocked)) &&
                direct.err.count('\n') == 1,
            qPrintable(direct.err));
        QCOMPARE(pg.rows(db, "SELECT count(*) FROM checks"), QStringList{"4"});
        QCOMPARE(fileBytes(blocked), QByteArray());
    }

    // check --serial puts the unit's serial number in the report, the JUnit
    // file, the journal and the list; one that does not read is refused
    // before the port opens.
    void serialNumber()
    {
        UnitSimProcess unit;
        QVERIFY(unit.start());
        store = dir.filePath("serial.qdr");
        QVERIFY(writeStore(store, 1, {{1, unit.devicePath()}}));
        const QString sheet = dir.filePath("serial.json");
        QCOMPARE(run({"save", sheet, "--baud", "9600"}).exitCode, 0);
        unit.clearRecord();
        const CliRun refused = run({"check", sheet, "--baud", "9600", "--serial", "SN-\t1"});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.startsWith("ktraveld-cli: --serial takes the unit's serial number, "
                                        "such as SN-0042 (up to 64 characters, no control "
                                        "characters)"),
                 qPrintable(refused.err));
        QCOMPARE(unit.receivedBytes(), QList<QByteArray>{});

        const QString report = dir.filePath("serial-report.json");
        const QString junit = dir.filePath("serial-junit.xml");
        const CliRun checked = run({"check", sheet, "--baud", "9600", "--serial", " SN-0042 ",
                                    "--station", "Bench 5", "--report", report, "--junit", junit});
        QCOMPARE(checked.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(fileBytes(report)).object().value("serial").toString(),
                 "SN-0042");
        QVERIFY2(fileBytes(junit).contains("<property name=\"serial\" value=\"SN-0042\"/>"),
                 fileBytes(junit).constData());
        QCOMPARE(run({"check", sheet, "--baud", "9600", "--station", "Bench 6"}).exitCode, 0);

        const CliRun listed = run({"results", "--serial", "SN-0042", "--csv"});
        QCOMPARE(listed.exitCode, 0);
        const QStringList lines = listed.out.split('\n');
        QCOMPARE(lines.size(), 3); // heading, one check, the empty piece after the last line
        QVERIFY2(lines[1].contains(",Bench 5,") && lines[1].endsWith(",pass,,SN-0042"),
                 qPrintable(lines[1]));
        const CliRun table = run({"results"});
        QVERIFY2(table.out.startsWith("STARTED              SERIAL   STATION"),
                 qPrintable(table.out));
    }

    // results --yield from this bench's journal and from the results
    // server's views: the same figures for the same checks.
    void yieldFromJournalAndServer()
    {
        PgServer pg;
        QVERIFY2(pg.ok(), qPrintable(pg.problem()));
        const QString db = pg.createDatabase();
        store = dir.filePath("yield.qdr");
        QVERIFY(writeStore(store, 1, {}));
        const QString home = dir.filePath("yield-home");
        ResultsServer server(pg.setting(db));
        QString problem;
        for (const CheckReport &report : yieldSeed()) {
            QVERIFY(CheckResults(home + "/ktraveld/journal.sqlite").record(report, &problem));
            QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        }
        // The journal's copies count as sent, so nothing goes twice.
        auto yieldOf = [&](QStringList args, bool fromServer) {
            if (fromServer)
                args << "--results-db" << pg.setting(db);
            return runCli(store, home, QStringList{"results", "--yield"} + args);
        };
        for (const bool fromServer : {false, true}) {
            const CliRun stations = yieldOf({}, fromServer);
            QCOMPARE(stations.exitCode, 0);
            QCOMPARE(stations.err, QString());
            QCOMPARE(stations.out,
                     QStringLiteral(
                         "STATION  UNITS  FIRST PASS  FPY     FINAL PASS  FINAL YIELD  CHECKS  "
                         "RETESTS\n"
                         "bench-1  2      1           50.0 %  2           100.0 %      3       1\n"
                         "bench-2  3      1           33.3 %  1           33.3 %       4       1\n"
                         "All      5      2           40.0 %  3           60.0 %       7       "
                         "2\n"));
            const CliRun days =
                yieldOf({"--by", "day", "--csv", "--station", "bench-2"}, fromServer);
            QCOMPARE(days.out, QStringLiteral("day,units,first_pass,first_pass_yield,final_pass,"
                                              "final_yield,checks,retests\n"
                                              "2026-12-07,1,0,0.0,0,0.0,2,1\n"
                                              "2026-12-08,2,1,50.0,1,50.0,2,0\n"));
            const CliRun fields = yieldOf({"--by", "field", "--json"}, fromServer);
            const QJsonObject document = QJsonDocument::fromJson(fields.out.toUtf8()).object();
            QCOMPARE(document.value("fields").toArray(),
                     (QJsonArray{QJsonObject{{"field", "Profile 1, Max Speed"},
                                             {"failures", 3},
                                             {"cumulativePercent", 60}},
                                 QJsonObject{{"field", "Profile 1, Accel/Decel"},
                                             {"failures", 1},
                                             {"cumulativePercent", 80}},
                                 QJsonObject{{"field", "Resolution"},
                                             {"failures", 1},
                                             {"cumulativePercent", 100}}}));
            QVERIFY(document.contains(fromServer ? "server" : "journal"));
        }
        const CliRun mixed = runCli(store, home, {"results", "--yield", "--failed"});
        QCOMPARE(mixed.exitCode, 2);
        QVERIFY2(mixed.err.startsWith("ktraveld-cli: --yield counts every check of the units: "
                                      "--failed and --serial do not go with it"),
                 qPrintable(mixed.err));
        const CliRun badBy = runCli(store, home, {"results", "--yield", "--by", "hour"});
        QCOMPARE(badBy.exitCode, 2);
    }

    // results lists a page, newest first, from the journal and from the
    // server alike; the time the last one says pages on with --before.
    void pagesNewestFirst_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("form"); // json, text or csv
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QString>("next");
        const QString fifth = "2026-12-08T10:00:00.000+01:00";
        QTest::newRow("a page of three")
            << QStringList{"--limit", "3"} << "json" << QList<int>{7, 6, 5} << fifth;
        QTest::newRow("the next page") << QStringList{"--limit", "3", "--before", fifth} << "json"
                                       << QList<int>{4, 3, 2} << "2026-12-07T10:00:00.000+01:00";
        QTest::newRow("the last page")
            << QStringList{"--limit", "3", "--before", "2026-12-07T10:00:00.000+01:00"} << "json"
            << QList<int>{1} << "";
        QTest::newRow("every one")
            << QStringList{"--limit", "all"} << "json" << QList<int>{7, 6, 5, 4, 3, 2, 1} << "";
        QTest::newRow("the default page holds them all")
            << QStringList{} << "json" << QList<int>{7, 6, 5, 4, 3, 2, 1} << "";
        QTest::newRow("a page of the failed ones")
            << QStringList{"--failed", "--limit", "2"} << "json" << QList<int>{6, 5} << fifth;
        QTest::newRow("since a time, not its day")
            << QStringList{"--since", "2026-12-08T09:30:00+01:00"} << "json" << QList<int>{7, 6, 5}
            << "";
        QTest::newRow("a page as a table")
            << QStringList{"--limit", "3"} << "text" << QList<int>{7, 6, 5} << fifth;
        QTest::newRow("a page as CSV")
            << QStringList{"--limit", "3", "--csv"} << "csv" << QList<int>{7, 6, 5} << fifth;
    }
    void pagesNewestFirst()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, form);
        QFETCH(QList<int>, ids);
        QFETCH(QString, next);
        PgServer pg;
        QVERIFY2(pg.ok(), qPrintable(pg.problem()));
        const QString db = pg.createDatabase();
        QTemporaryDir storeDir;
        store = storeDir.filePath("config.qdr");
        QVERIFY(writeStore(store, 1, {}));
        QTemporaryDir home;
        ResultsServer server(pg.setting(db));
        QString problem;
        for (const CheckReport &report : yieldSeed()) {
            QVERIFY(
                CheckResults(home.filePath("ktraveld/journal.sqlite")).record(report, &problem));
            QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        }
        auto id = [](int n) {
            return QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
        };
        for (const bool fromServer : {false, true}) {
            QStringList given = QStringList{"results"} + args;
            if (form == "json")
                given << "--json";
            if (fromServer)
                given << "--results-db" << pg.setting(db);
            const CliRun listed = runCli(store, home.path(), given);
            QCOMPARE(listed.exitCode, 0);
            const QString notice =
                next.isEmpty()
                    ? QString()
                    : QStringLiteral("%1 checks shown; the older ones with --before %2.\n")
                          .arg(ids.size())
                          .arg(next);
            QStringList shown;
            if (form == "json") {
                const QJsonObject document = QJsonDocument::fromJson(listed.out.toUtf8()).object();
                for (const QJsonValue &check : document.value("results").toArray())
                    shown << check.toObject().value("id").toString();
                QCOMPARE(document.value("next"), next.isEmpty() ? QJsonValue() : QJsonValue(next));
            } else {
                QCOMPARE(listed.err, notice);
                const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts).mid(1);
                for (const QString &line : lines)
                    shown << (form == "csv" ? line.section(',', 0, 0) : line.section(' ', -1));
            }
            QStringList expected;
            for (const int n : ids)
                expected << id(n);
            QCOMPARE(shown, expected);
        }
        QCOMPARE(pg.rows(db, "SELECT count(*) FROM checks"), QStringList{"7"});
    }

    void pagingUsageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no checks at all") << QStringList{"--limit", "0"}
                                          << "--limit takes a number of checks, such as 50, or all";
        QTest::newRow("not a number") << QStringList{"--limit", "fifty"}
                                      << "--limit takes a number of checks, such as 50, or all";
        QTest::newRow("not a time")
            << QStringList{"--before", "yesterday"}
            << "--before takes a time such as 2026-12-08T14:03:05.120+01:00 or a date";
        QTest::newRow("the yield is not paged")
            << QStringList{"--yield", "--limit", "5"}
            << "--yield counts every check: --limit and --before do not go with it";
    }
    void pagingUsageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QTemporaryDir storeDir;
        store = storeDir.filePath("config.qdr");
        QVERIFY(writeStore(store, 1, {}));
        QTemporaryDir home;
        const CliRun listed = runCli(store, home.path(), QStringList{"results"} + args);
        QCOMPARE(listed.exitCode, 2);
        QCOMPARE(listed.out, QString());
        QVERIFY2(listed.err.startsWith("ktraveld-cli: " + message), qPrintable(listed.err));
        QVERIFY(!QFile::exists(home.filePath("ktraveld/journal.sqlite")));
    }

    // A server that takes the connection and never answers: check keeps
    // the result after one bounded wait, and results sends nothing, lists
    // this bench's checks and waits for the server once, not once for the
    // round and again for the list.
    void silentServerWaitedForOnce()
    {
        SilentServer silent;
        QVERIFY(silent.ok());
        UnitSimProcess unit;
        QVERIFY(unit.start());
        store = dir.filePath("silent.qdr");
        QVERIFY(writeStore(store, 1, {{1, unit.devicePath()}}));
        const QString sheet = dir.filePath("silent.json");
        QCOMPARE(run({"save", sheet, "--baud", "9600"}).exitCode, 0);
        QCOMPARE(run({"check", sheet, "--baud", "9600", "--station", "Bench 9", "--results-db",
                      silent.setting()})
                     .exitCode,
                 0);

        QElapsedTimer clock;
        clock.start();
        const CliRun listed = run({"results", "--results-db", silent.setting(), "--json"});
        const qint64 waited = clock.elapsed();
        QVERIFY2(waited >= 1900 && waited < 8000, qPrintable(QString::number(waited)));
        QCOMPARE(listed.exitCode, 0);
        const QJsonObject list = QJsonDocument::fromJson(listed.out.toUtf8()).object();
        const QJsonArray results = list.value("results").toArray();
        QVERIFY(!results.isEmpty());
        QCOMPARE(results.first().toObject().value("station").toString(), "Bench 9"); // newest first
        QCOMPARE(list.value("messages").toArray().size(), 1);
        QVERIFY(list.value("messages")
                    .toArray()
                    .at(0)
                    .toObject()
                    .value("text")
                    .toString()
                    .endsWith(
                        QStringLiteral(
                            "port %1 failed: timeout expired The checks recorded on this computer "
                            "follow.")
                            .arg(silent.port())));
    }
};

QTEST_GUILESS_MAIN(tst_CliResults)
#include "tst_cliresults.moc"
