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
