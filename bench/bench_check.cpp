// The production line's step, process start to exit: "ktraveld-cli check
// SHEET --load --baud 28800" against a KTRA20 that answers at once. The fixed
// waits set a floor no run can beat: the identification's three 0.5 s waits
// and its read-back's ten 0.05 s, then 0.5 s after each of the sheet's 14
// lines and 0.05 s after each of its 14 queries. Prints each run and the
// ratio of the best and the median to that floor (goal: at most 1.10).

#include "CliRuns.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

using namespace ktv::bench;
using namespace ktv::test;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 3;
    QTextStream out(stdout);

    UnitSimOptions options;
    options.model = QStringLiteral("KTRA20");
    options.baud = 28800;
    ToolBench bench(options);
    const QString sheet = bench.dir.filePath(QStringLiteral("line3.json"));
    QFile file(sheet);
    if (!bench.start() || !file.open(QIODevice::WriteOnly) ||
        file.write(wire::ktra20Sheet(QStringLiteral("4000"))) < 0) {
        out << "The simulated unit or the sheet is not ready.\n";
        return 1;
    }
    file.close();

    const double floorSeconds = 3 * 0.5 + 10 * 0.05 + 14 * 0.5 + 14 * 0.05;
    CliRun run;
    run.arguments = {QStringLiteral("check"),   sheet,       QStringLiteral("--load"),
                     QStringLiteral("--store"), bench.store, QStringLiteral("--baud"),
                     QStringLiteral("28800")};
    run.environment.insert(QStringLiteral("XDG_DATA_HOME"),
                           bench.dir.filePath(QStringLiteral("data")));
    const std::vector<double> seconds = timeCliRuns(out, run, runs);
    if (seconds.empty())
        return 1;
    printAgainstFloor(out, QStringLiteral("ktraveld-cli check --load --baud 28800, KTRA20"),
                      seconds, floorSeconds, QStringLiteral(" (goal 1.10)"));
    return 0;
}
