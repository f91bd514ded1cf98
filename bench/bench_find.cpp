// "ktraveld-cli find" at an unknown rate, process start to exit: with one
// VELD30 at address 5 and 38400 baud (goal: at most 5 s), and with a line
// where nobody answers (goal: at most 12 s). Prints each run and the median.

#include "CliRuns.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace ktv::bench;
using namespace ktv::test;

namespace {

// The median seconds of the runs, or a negative number when one failed.
double timeFind(QTextStream &out, const QString &mode, int expectedExit, int runs)
{
    UnitSimOptions options;
    options.model = QStringLiteral("VELD30");
    options.address = 5;
    options.baud = 38400;
    options.mode = mode;
    ToolBench bench(options);
    if (!bench.start()) {
        out << "The simulated unit did not start.\n";
        return -1;
    }
    CliRun run;
    run.arguments = {QStringLiteral("find"), QStringLiteral("--store"), bench.store};
    run.expectedExit = expectedExit;
    run.indent = QStringLiteral("  ");
    const std::vector<double> seconds = timeCliRuns(out, run, runs);
    if (seconds.empty())
        return -1;
    return seconds[seconds.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 3;
    QTextStream out(stdout);

    out << "ktraveld-cli find, unknown rate, one VELD30 at address 5, 38400 baud:\n";
    const double one = timeFind(out, QStringLiteral("normal"), 0, runs);
    if (one < 0)
        return 1;
    out << QStringLiteral("  median %1 s (goal at most 5 s)\n").arg(one, 0, 'f', 3);
    out << "ktraveld-cli find, unknown rate, nobody answers:\n";
    const double none = timeFind(out, QStringLiteral("silent"), 1, runs);
    if (none < 0)
        return 1;
    out << QStringLiteral("  median %1 s (goal at most 12 s)\n").arg(none, 0, 'f', 3);
    return 0;
}
