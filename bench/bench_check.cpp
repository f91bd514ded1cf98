// The production line's step, process start to exit: "ktraveld-cli check
// SHEET --load --baud 28800" against a KTRA20 that answers at once. The fixed
// waits set a floor no run can beat: the identification's three 0.5 s waits
// and its read-back's ten 0.05 s, then 0.5 s after each of the sheet's 14
// lines and 0.05 s after each of its 14 queries. Prints each run and the
// ratio of the best and the median to that floor (goal: at most 1.10).

#include "Helpers.h"
#include "UnitSimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace ktv::test;

namespace {

const char *const Sheet = R"({
  "format": "ktraveld-sheet", "version": 1, "model": "KTRA20", "revision": "1.07",
  "axis": "0", "saved": "2026-12-08T03:10:00Z",
  "profiles": [
    {"profile": 1, "parameters": {"accel": "10", "base-speed": "500", "max-speed": "4000",
                                  "lower-analog": "1000", "upper-analog": "20000"}},
    {"profile": 2, "parameters": {"accel": "110", "base-speed": "600", "max-speed": "5100",
                                  "lower-analog": "1100", "upper-analog": "20100"}}
  ],
  "options": {"analog-speed": "off", "reduced-current": "off", "resolution": "8",
              "ramp-down": "no"}
}
)";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 3;
    QTextStream out(stdout);

    UnitSimOptions options;
    options.model = QStringLiteral("KTRA20");
    options.baud = 28800;
    UnitSimProcess unit(options);
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
    const QString sheet = dir.filePath(QStringLiteral("line3.json"));
    QFile file(sheet);
    if (!unit.start() || !writeStore(store, 1, {{1, unit.devicePath()}}) ||
        !file.open(QIODevice::WriteOnly) || file.write(Sheet) < 0) {
        out << "The simulated unit or the sheet is not ready.\n";
        return 1;
    }
    file.close();

    const double floorSeconds = 3 * 0.5 + 10 * 0.05 + 14 * 0.5 + 14 * 0.05;
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        cli.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(KTV_CLI_PATH),
                  {QStringLiteral("check"), sheet, QStringLiteral("--load"),
                   QStringLiteral("--store"), store, QStringLiteral("--baud"),
                   QStringLiteral("28800")});
        if (!cli.waitForFinished(60000) || cli.exitCode() != 0) {
            out << "ktraveld-cli check failed: " << cli.readAllStandardError() << "\n";
            return 1;
        }
        seconds.push_back(clock.nsecsElapsed() / 1e9);
        out << QStringLiteral("run %1: %2 s\n").arg(i + 1).arg(seconds.back(), 0, 'f', 3);
        out.flush();
    }
    std::sort(seconds.begin(), seconds.end());
    const double best = seconds.front();
    const double median = seconds[seconds.size() / 2];
    out << QStringLiteral("ktraveld-cli check --load --baud 28800, KTRA20: best %1 s, median %2 "
                          "s; floor of the fixed waits %3 s; ratio best %4, median %5 (goal "
                          "1.10)\n")
               .arg(best, 0, 'f', 3)
               .arg(median, 0, 'f', 3)
               .arg(floorSeconds, 0, 'f', 3)
               .arg(best / floorSeconds, 0, 'f', 3)
               .arg(median / floorSeconds, 0, 'f', 3);
    return 0;
}
