// The whole command-line tool, process start to exit: "ktraveld-cli read
// --baud 28800" against a KTRA20 that answers at once. The fixed waits set a
// floor no run can beat: the identification's three 0.5 s waits, and 0.05 s
// per read-back query (the tool takes each reply as soon as its CR is there).
// Prints each run and the ratio of the best and the median to that floor.

#include "CliRuns.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace ktv::bench;
using namespace ktv::test;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 5;
    QTextStream out(stdout);

    UnitSimOptions options;
    options.model = QStringLiteral("KTRA20");
    options.baud = 28800;
    ToolBench bench(options);
    if (!bench.start()) {
        out << "The simulated unit did not start.\n";
        return 1;
    }

    // The KTRA20 read-back asks ten questions.
    constexpr int queries = 10;
    const double floorSeconds = 3 * 0.5 + queries * 0.05;
    CliRun run;
    run.arguments = {QStringLiteral("read"), QStringLiteral("--store"), bench.store,
                     QStringLiteral("--baud"), QStringLiteral("28800")};
    run.timeoutMs = 30000;
    const std::vector<double> seconds = timeCliRuns(out, run, runs);
    if (seconds.empty())
        return 1;
    printAgainstFloor(out, QStringLiteral("ktraveld-cli read --baud 28800, KTRA20"), seconds,
                      floorSeconds);
    return 0;
}
