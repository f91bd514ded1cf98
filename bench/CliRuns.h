#pragma once
// The command-line tool timed as the operator runs it, process start to exit,
// for the bench programs that measure one of its verbs: a unit on a store
// for it to use, and the runs.

#include "Helpers.h"
#include "UnitSimProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace ktv::bench {

// A simulated unit the tool finds on COM 1 of a store of its own.
struct ToolBench
{
    explicit ToolBench(const test::UnitSimOptions &options) : unit(options) {}
    // False when the unit did not start or the store was not written.
    bool start() { return unit.start() && test::writeStore(store, 1, {{1, unit.devicePath()}}); }

    test::UnitSimProcess unit;
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
};

struct CliRun
{
    QStringList arguments; // the verb first
    int expectedExit = 0;
    int timeoutMs = 60000;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString indent; // before each "run N: S s"
};

// Runs the tool `runs` times, printing each run's seconds; the seconds
// sorted, or none when a run did not end as expected (said on out).
inline std::vector<double> timeCliRuns(QTextStream &out, const CliRun &run, int runs)
{
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        QProcess cli;
        cli.setProcessEnvironment(run.environment);
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(KTV_CLI_PATH), run.arguments);
        if (!cli.waitForFinished(run.timeoutMs) || cli.exitCode() != run.expectedExit) {
            out << "ktraveld-cli " << run.arguments.value(0)
                << " failed: " << cli.readAllStandardError() << "\n";
            return {};
        }
        seconds.push_back(clock.nsecsElapsed() / 1e9);
        out << run.indent
            << QStringLiteral("run %1: %2 s\n").arg(i + 1).arg(seconds.back(), 0, 'f', 3);
        out.flush();
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds;
}

// The best and the median of sorted runs against the floor of the fixed
// waits: "WHAT: best B s, median M s; floor of the fixed waits F s; ratio
// best RB, median RM" and then `tail`.
inline void printAgainstFloor(QTextStream &out, const QString &what,
                              const std::vector<double> &seconds, double floorSeconds,
                              const QString &tail = {})
{
    const double best = seconds.front();
    const double median = seconds[seconds.size() / 2];
    out << QStringLiteral("%1: best %2 s, median %3 s; floor of the fixed waits %4 s; ratio best "
                          "%5, median %6%7\n")
               .arg(what)
               .arg(best, 0, 'f', 3)
               .arg(median, 0, 'f', 3)
               .arg(floorSeconds, 0, 'f', 3)
               .arg(best / floorSeconds, 0, 'f', 3)
               .arg(median / floorSeconds, 0, 'f', 3)
               .arg(tail);
}

} // namespace ktv::bench
