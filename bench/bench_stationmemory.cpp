// ktraveld-cli station's resident size as units pass: STATION_UNITS units
// (500 unless told) on STATION_LINES simulated lines (8 unless told) at
// reply pace, each unit taken off its line once its verdict is printed and
// a new one put on; the tool's VmRSS (/proc/PID/status) after the 50th unit
// and after the last (goal: within 1 MB). A unit takes a few seconds of a
// line (the check, then the station noticing it gone and the next one
// come), so 500 take minutes: a figure, not a test.

#include "Helpers.h"
#include "UnitSimProcess.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <csignal>
#include <memory>
#include <vector>

using namespace ktv;
using namespace ktv::test;

namespace {

long residentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int units = qEnvironmentVariableIntValue("STATION_UNITS") > 50
                          ? qEnvironmentVariableIntValue("STATION_UNITS")
                          : 500;
    const int lines = qEnvironmentVariableIntValue("STATION_LINES") > 0
                          ? qEnvironmentVariableIntValue("STATION_LINES")
                          : 8;
    QTemporaryDir dir;
    const QString sheet = dir.filePath(QStringLiteral("unit.json"));
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
    {
        QFile file(sheet);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(wire::ktra20Sheet(QStringLiteral("4000"))) < 0 ||
            !writeStore(store, 1, {})) {
            out << "The sheet or the store could not be written\n";
            return 1;
        }
    }
    std::vector<std::unique_ptr<UnitSimProcess>> sims;
    QStringList arguments{QStringLiteral("station"), QStringLiteral("--store"), store, sheet};
    for (int i = 0; i < lines; ++i) {
        sims.push_back(std::make_unique<UnitSimProcess>());
        if (!sims.back()->start()) {
            out << "A simulated unit did not start\n";
            return 1;
        }
        arguments << QStringLiteral("--device") << sims.back()->devicePath();
    }
    // A few more than counted: the tool is still running when the last
    // counted verdict is printed, and is then stopped.
    arguments << QStringLiteral("--units") << QString::number(units + lines)
              << QStringLiteral("--pace") << QStringLiteral("reply") << QStringLiteral("--operator")
              << QStringLiteral("Ana") << QStringLiteral("--station") << QStringLiteral("Bench 1");
    out << "Station: " << units << " units on " << lines << " lines, ktraveld-cli station's "
        << "resident size\n";
    out.flush();

    QProcess station;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    station.setProcessEnvironment(environment);
    station.start(QStringLiteral(KTV_CLI_PATH), arguments);
    if (!station.waitForStarted(5000)) {
        out << "ktraveld-cli did not start\n";
        return 1;
    }
    // A unit goes once its verdict is out; a new one comes 1.5 s later,
    // after the station has found the line empty.
    struct Insert
    {
        UnitSimProcess *sim;
        qint64 at;
    };
    std::vector<Insert> inserts;
    QElapsedTimer clock;
    clock.start();
    int seen = 0;
    long afterFifty = -1;
    long afterAll = -1;
    QByteArray pending;
    while (afterAll < 0 && station.state() == QProcess::Running &&
           clock.elapsed() < qint64(units) * 10000) {
        station.waitForReadyRead(50);
        pending += station.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            for (const auto &sim : sims) {
                if (!line.contains(sim->devicePath()))
                    continue;
                ++seen;
                if (seen == 50)
                    afterFifty = residentKilobytes(station.processId());
                if (seen == units)
                    afterAll = residentKilobytes(station.processId());
                sim->control("remove");
                inserts.push_back({sim.get(), clock.elapsed() + 1500});
            }
            if (seen % 50 == 0 && seen > 0)
                out << QStringLiteral("  %1 units in %2 s, resident %3 MB\n")
                           .arg(seen)
                           .arg(clock.elapsed() / 1000)
                           .arg(residentKilobytes(station.processId()) / 1024.0, 0, 'f', 1);
            out.flush();
        }
        for (auto it = inserts.begin(); it != inserts.end();) {
            if (it->at <= clock.elapsed()) {
                it->sim->control("insert KTRA20 0");
                it = inserts.erase(it);
            } else {
                ++it;
            }
        }
    }
    ::kill(pid_t(station.processId()), SIGTERM);
    station.waitForFinished(30000);
    if (afterFifty < 0 || afterAll < 0) {
        out << QStringLiteral("Only %1 units were checked in %2 s: %3\n")
                   .arg(seen)
                   .arg(clock.elapsed() / 1000)
                   .arg(QString::fromUtf8(station.readAllStandardError()).simplified());
        return 1;
    }
    out << QStringLiteral("  resident after 50 units: %1 MB, after %2: %3 MB, growth %4 MB (goal "
                          "< 1 MB); %5 s a unit\n")
               .arg(afterFifty / 1024.0, 0, 'f', 2)
               .arg(units)
               .arg(afterAll / 1024.0, 0, 'f', 2)
               .arg((afterAll - afterFifty) / 1024.0, 0, 'f', 2)
               .arg(double(clock.elapsed()) / 1000.0 / units, 0, 'f', 2);
    return afterAll - afterFifty < 1024 ? 0 : 1;
}
