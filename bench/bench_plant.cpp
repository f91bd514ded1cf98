// A plant's year on one results server: a throwaway PostgreSQL server filled
// by SQL on the server with PLANT_CHECKS checks (1,000,000 unless told) of
// 14 values each, 20 stations over 365 days, one unit in 25 retested at the
// next station, one check in 17 failing a field; then the summaries filled
// from those rows as a server of an earlier schema has them filled, and
// each query of ktraveld-cli results timed as the operator runs it, process
// start to exit, the median of three; and the Results window's reads.

#include "Helpers.h"
#include "PgServer.h"

#include "store/ResultsSchema.h"
#include "store/ResultsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

using namespace ktv;
using namespace ktv::test;

namespace {

QString seconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const qint64 checks = qEnvironmentVariableIntValue("PLANT_CHECKS") > 0
                              ? qEnvironmentVariableIntValue("PLANT_CHECKS")
                              : 1000000;
    out << "Plant: " << checks << " checks of 14 values on one results server\n";
    out.flush();
    PgServer pg;
    if (!pg.ok()) {
        out << "The results server did not start: " << pg.problem() << "\n";
        return 1;
    }
    const QString db = pg.createDatabase();
    const QString setting = pg.setting(db);
    {
        ResultsServer server(setting); // the schema, made before the clock runs
        QString problem;
        if (!server.open(&problem)) {
            out << problem << "\n";
            return 1;
        }
    }

    // The history, as stations of an earlier schema left it: no summaries.
    QElapsedTimer clock;
    clock.start();
    const qint64 step = 365LL * 24 * 3600 * 1000 / checks; // ms between checks
    // The checks in one statement, then their values in the checks' key
    // order (so the values' key index grows at its end), without the
    // triggers and the values' reference checks: the summaries are filled
    // afterwards by the schema step's own batches, as on a plant's server.
    const QString fill =
        QStringLiteral(
            "ALTER TABLE checks DISABLE TRIGGER USER; "
            "ALTER TABLE check_values DISABLE TRIGGER ALL; "
            "INSERT INTO checks (uuid, station, operator, unit_model, revision, axis, baud, "
            "device, by_id, serial_number, sheet_name, sheet_sha256, loaded, started, ended, "
            "utc_offset, verdict, problem, serial) SELECT CAST(md5('c' || i) AS uuid), 'S' || (i "
            "% 20 + 1), 'Ana', CASE WHEN i % 3 = 0 THEN 'VELD30' ELSE 'KTRA20' END, '1.07', 0, "
            "9600, '/dev/ttyUSB0', '', '', 'line3.json', 'x', true, TIMESTAMPTZ "
            "'2025-12-09 00:00+00' + i * interval '%1 milliseconds', TIMESTAMPTZ '2025-12-09 "
            "00:00+00' + i * interval '%1 milliseconds' + interval '10 seconds', 3600, CASE WHEN "
            "i % 17 = 0 THEN 'fail' ELSE 'pass' END, '', 'SN-' || (i - CASE WHEN i % 25 = 0 THEN "
            "1 ELSE 0 END) FROM generate_series(1, %2) i; "
            "INSERT INTO check_values (check_uuid, position, profile, field, caption, "
            "sheet_value, unit_value, verdict, problem) SELECT c.uuid, p, CASE WHEN p <= 8 THEN "
            "(p - 1) / 4 + 1 ELSE 0 END, 'field-' || p, 'Field ' || p, '100', '100', CASE WHEN "
            "c.verdict = 'fail' AND p = 3 THEN 'differs' ELSE 'match' END, '' FROM (SELECT uuid, "
            "verdict FROM checks ORDER BY uuid) c CROSS JOIN LATERAL generate_series(1, 14) p; "
            "ALTER TABLE checks ENABLE TRIGGER USER; "
            "ALTER TABLE check_values ENABLE TRIGGER ALL; "
            "TRUNCATE yield_units, yield_summary, field_summary, hour_summary; "
            "UPDATE summary_fill SET done = false, serial = '', check_uuid = NULL; "
            "UPDATE field_fill SET done = false, mark = '00000000-0000-0000-0000-000000000000'; "
            "ANALYZE")
            .arg(step)
            .arg(checks);
    if (!pg.exec(db, fill)) {
        out << "The history could not be written\n";
        return 1;
    }
    out << "History written by SQL on the server: " << seconds(clock.elapsed()) << "\n";
    out << "Size: "
        << pg.rows(db, "SELECT pg_size_pretty(pg_database_size(current_database()))").value(0)
        << "\n";
    out.flush();

    // The schema step's fill, as the first program of this version does it.
    clock.restart();
    {
        ResultsServer server(setting);
        server.setProgress([&out](const QString &text) {
            out << "  " << text << "\n";
            out.flush();
        });
        QString problem;
        if (!server.open(&problem)) {
            out << problem << "\n";
            return 1;
        }
    }
    out << "Summaries filled: " << seconds(clock.elapsed()) << "\n";

    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
    if (!writeStore(store, 1, {}))
        return 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    const QString month = QStringLiteral("2026-11-09");
    const std::vector<QStringList> queries = {
        {"--serial", "SN-424242"},
        {"--yield"},
        {"--yield", "--since", month},
        {"--yield", "--by", "day", "--since", month},
        {"--yield", "--by", "field", "--since", month},
        {"--yield", "--by", "field"},
        {"--failed", "--since", month},
        {"--station", "S3", "--since", month},
        {},
        {"--before", "2026-06-01"},
    };
    out << "Query (ktraveld-cli results ..., process start to exit, median of 3):\n";
    for (const QStringList &query : queries) {
        std::vector<qint64> runs;
        QString failed;
        for (int run = 0; run < 3; ++run) {
            QProcess process;
            process.setProcessEnvironment(environment);
            QElapsedTimer timer;
            timer.start();
            process.start(QStringLiteral(KTV_CLI_PATH),
                          QStringList{"results", "--store", store, "--results-db", setting} +
                              query);
            if (!process.waitForFinished(120000) || process.exitCode() != 0)
                failed = QString::fromUtf8(process.readAllStandardError()).simplified();
            runs.push_back(timer.elapsed());
        }
        std::sort(runs.begin(), runs.end());
        out << "  results " << query.join(QLatin1Char(' ')) << ": " << seconds(runs[1])
            << (failed.isEmpty() ? QString() : QStringLiteral(" (failed: %1)").arg(failed)) << "\n";
        out.flush();
    }

    // What the Results window reads, in this process: a page with the yield
    // table, and the charts (yield, failing fields, checks per hour).
    out << "Results window (median of 3):\n";
    ResultsServer server(setting);
    QString problem;
    if (!server.open(&problem)) {
        out << problem << "\n";
        return 1;
    }
    const std::vector<std::pair<QString, std::function<bool()>>> reads = {
        {QStringLiteral("a page of 500 and the yield table"),
         [&] {
             ResultsFilter page;
             page.limit = 501;
             return server.list(page, &problem) && server.yieldFigures({}, &problem);
         }},
        {QStringLiteral("the charts"),
         [&] {
             return server.yieldFigures({}, &problem) && server.fieldFailures({}, &problem) &&
                    server.checksPerHour({}, &problem);
         }},
    };
    for (const auto &[name, read] : reads) {
        std::vector<qint64> runs;
        bool failed = false;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            failed = !read() || failed;
            runs.push_back(timer.elapsed());
        }
        std::sort(runs.begin(), runs.end());
        out << "  " << name << ": " << seconds(runs[1])
            << (failed ? QStringLiteral(" (failed: %1)").arg(problem) : QString()) << "\n";
        out.flush();
    }
    return 0;
}
