// The whole command-line tool, process start to exit: "ktraveld-cli read
// --baud 28800" against a KTRA20 that answers at once. The fixed waits set a
// floor no run can beat: the identification's three 0.5 s waits, and 0.05 s
// per read-back query (the tool takes each reply as soon as its CR is there).
// Prints each run and the ratio of the best and the median to that floor.

#include "Helpers.h"
#include "UnitSimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace ktv::test;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 5;
    QTextStream out(stdout);

    UnitSimOptions options;
    options.model = QStringLiteral("KTRA20");
    options.baud = 28800;
    UnitSimProcess unit(options);
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
    if (!unit.start() || !writeStore(store, 1, {{1, unit.devicePath()}})) {
        out << "The simulated unit did not start.\n";
        return 1;
    }

    // The KTRA20 read-back asks ten questions.
    constexpr int queries = 10;
    const double floorSeconds = 3 * 0.5 + queries * 0.05;
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        QProcess cli;
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(KTV_CLI_PATH),
                  {QStringLiteral("read"), QStringLiteral("--store"), store,
                   QStringLiteral("--baud"), QStringLiteral("28800")});
        if (!cli.waitForFinished(30000) || cli.exitCode() != 0) {
            out << "ktraveld-cli read failed: " << cli.readAllStandardError() << "\n";
            return 1;
        }
        seconds.push_back(clock.nsecsElapsed() / 1e9);
        out << QStringLiteral("run %1: %2 s\n").arg(i + 1).arg(seconds.back(), 0, 'f', 3);
        out.flush();
    }
    std::sort(seconds.begin(), seconds.end());
    const double best = seconds.front();
    const double median = seconds[seconds.size() / 2];
    out << QStringLiteral("ktraveld-cli read --baud 28800, KTRA20: best %1 s, median %2 s; "
                          "floor of the fixed waits %3 s; ratio best %4, median %5\n")
               .arg(best, 0, 'f', 3)
               .arg(median, 0, 'f', 3)
               .arg(floorSeconds, 0, 'f', 3)
               .arg(best / floorSeconds, 0, 'f', 3)
               .arg(median / floorSeconds, 0, 'f', 3);
    return 0;
}
