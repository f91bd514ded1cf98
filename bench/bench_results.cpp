// Eight stations, each a thread with its own connection, send 50 checks of
// 14 values each into one results server (a PostgreSQL server of the
// bench's own, started in a temporary folder, syncing to disk): all 400 checks and 5600
// values must arrive once. Prints the time a result takes to reach the
// server, from the send to the server's commit (goal: median under 50 ms).

#include "PgServer.h"

#include "store/ResultsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

using namespace ktv;
using namespace ktv::test;

namespace {

constexpr int Stations = 8;
constexpr int ChecksPerStation = 50;
constexpr int ValuesPerCheck = 14;

CheckReport benchReport(int station, int n)
{
    CheckReport report;
    report.id = QUuid::createUuid();
    report.unit = {QStringLiteral("VELD40"),
                   QStringLiteral("1.07"),
                   0,
                   9600,
                   QStringLiteral("/dev/ttyUSB0"),
                   {},
                   QStringLiteral("A%1").arg(n)};
    report.station = QStringLiteral("Station %1").arg(station);
    report.operatorName = QStringLiteral("bench");
    report.sheetName = QStringLiteral("line.sheet");
    report.sheetSha256 = QString(64, QLatin1Char('0'));
    report.started = QDateTime::currentDateTime();
    report.ended = report.started.addMSecs(900);
    for (int v = 0; v < ValuesPerCheck; ++v)
        report.values.push_back({v / 7,
                                 QStringLiteral("field-%1").arg(v),
                                 QStringLiteral("Field %1").arg(v),
                                 QString::number(v * 100),
                                 QString::number(v * 100),
                                 ValueVerdict::Match,
                                 {}});
    report.verdict = n % 10 == 0 ? CheckVerdict::Fail : CheckVerdict::Pass;
    return report;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    PgServer pg(true);
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

    std::vector<std::vector<qint64>> times(Stations);
    std::vector<int> failed(Stations, 0);
    std::vector<std::unique_ptr<QThread>> threads;
    QElapsedTimer wall;
    wall.start();
    for (int s = 0; s < Stations; ++s) {
        threads.emplace_back(QThread::create([&, s] {
            ResultsServer server(setting);
            for (int n = 0; n < ChecksPerStation; ++n) {
                const CheckReport report = benchReport(s + 1, n);
                QElapsedTimer timer;
                timer.start();
                if (server.send(report, nullptr) != SendOutcome::Stored)
                    ++failed[s];
                times[s].push_back(timer.nsecsElapsed());
            }
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        thread->wait();
    const qint64 wallMs = wall.elapsed();

    std::vector<qint64> all;
    for (const auto &list : times)
        all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end());
    auto ms = [](qint64 ns) { return QString::number(ns / 1e6, 'f', 1); };
    const QStringList checks =
        pg.rows(db, QStringLiteral("SELECT count(*), count(DISTINCT uuid) FROM checks"));
    const QStringList values = pg.rows(db, QStringLiteral("SELECT count(*) FROM check_values"));
    int failures = 0;
    for (const int f : failed)
        failures += f;
    out << Stations << " stations x " << ChecksPerStation << " checks x " << ValuesPerCheck
        << " values in " << wallMs << " ms\n";
    out << "Checks on the server (rows, distinct UUIDs): " << checks.value(0).replace('|', ", ")
        << " (expected 400, 400); values: " << values.value(0)
        << " (expected 5600); failed sends: " << failures << "\n";
    out << "Time to reach the server: median " << ms(all[all.size() / 2]) << " ms, 95th percentile "
        << ms(all[all.size() * 95 / 100]) << " ms, slowest " << ms(all.back())
        << " ms (goal: median < 50 ms)\n";
    const QStringList size = pg.rows(
        db,
        QStringLiteral(
            "SELECT pg_total_relation_size('checks') + pg_total_relation_size('check_values')"));
    out << "Space on the server, tables and indexes: "
        << QString::number(size.value(0).toDouble() / (Stations * ChecksPerStation), 'f', 0)
        << " bytes per check with its " << ValuesPerCheck << " values\n";
    const bool whole = checks.value(0) == QLatin1String("400|400") &&
                       values.value(0) == QLatin1String("5600") && failures == 0;
    return whole ? 0 : 1;
}
