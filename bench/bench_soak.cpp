// Long use against the simulated unit: many motion lines and read-back runs.
// Reports peak memory, the growth from the first to the last hundred runs,
// and whether every line the unit heard was one the program meant to send.
//
//   bench_soak [runs] [lines]     (default 1000 runs, 10000 lines)

#include "Workbench.h"

#include "protocol/CommandFrame.h"
#include "protocol/UnitCatalogue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTextStream>

using namespace ktv;
using namespace ktv::test;

namespace {

long statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int lines = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    QTextStream out(stdout);

    UnitOnLine rig(Model::VELD30);
    if (!rig.started)
        return 1;
    Workbench bench(rig);
    bench.load();
    if (!bench.state.UnitConnected) {
        out << "the simulated unit did not connect\n";
        return 1;
    }
    rig.unit.clearRecord();

    QElapsedTimer clock;
    clock.start();
    const frame::Motion motions[] = {frame::Motion::Go, frame::Motion::StopSoft,
                                     frame::Motion::StopAll};
    for (int i = 0; i < lines; ++i) {
        const frame::Motion motion = motions[i % 3];
        if (motion == frame::Motion::Go)
            bench.window->pressGo(Model::VELD30);
        else
            bench.window->pressStop(Model::VELD30, motion);
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    out << QStringLiteral("%1 command lines in %2 s\n").arg(lines).arg(clock.elapsed() / 1000.0);
    out.flush();

    long afterFirstHundred = 0;
    long beforeLastHundred = 0;
    clock.restart();
    for (int run = 0; run < runs; ++run) {
        if (run == runs - 100 || (runs <= 100 && run == 0))
            beforeLastHundred = statusKilobytes("VmRSS:");
        bench.window->pressVerify(Model::VELD30);
        if (run == 99 || (runs < 100 && run == runs - 1))
            afterFirstHundred = statusKilobytes("VmRSS:");
        if ((run + 1) % 100 == 0) {
            out << QStringLiteral("  %1 runs, %2 s, resident %3 MB\n")
                       .arg(run + 1)
                       .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                       .arg(statusKilobytes("VmRSS:") / 1024.0, 0, 'f', 1);
            out.flush();
        }
    }
    const long atEnd = statusKilobytes("VmRSS:");

    // What the unit heard: exactly the motion lines and the runs' queries.
    QSet<QByteArray> meant;
    for (frame::Motion motion : motions)
        meant << frame::motionLine(QStringLiteral("0"), motion, QStringLiteral("1"));
    for (Field field : unitFacts(Model::VELD30).plan)
        meant << frame::queryLine(QStringLiteral("0"), field, QStringLiteral("1"));
    rig.unit.waitForLineCount(lines + runs * int(unitFacts(Model::VELD30).plan.size()), 10000);
    const QList<QByteArray> heard = rig.unit.receivedBytes();
    int unexpected = 0;
    for (const QByteArray &line : heard)
        if (!meant.contains(line))
            ++unexpected;
    const int expected = lines + runs * int(unitFacts(Model::VELD30).plan.size());

    out << QStringLiteral("Soak: %1 command lines and %2 VELD30 read-back runs\n")
               .arg(lines)
               .arg(runs);
    out << QStringLiteral("  lines the unit heard: %1 (expected %2), not meant to be sent: %3\n")
               .arg(heard.size())
               .arg(expected)
               .arg(unexpected);
    out << QStringLiteral("  peak memory: %1 MB\n")
               .arg(statusKilobytes("VmHWM:") / 1024.0, 0, 'f', 1);
    out << QStringLiteral("  growth from the first to the last hundred runs: %1 MB (goal < 1 MB)\n")
               .arg((atEnd - std::min(afterFirstHundred, beforeLastHundred)) / 1024.0, 0, 'f', 2);
    return heard.size() == expected && unexpected == 0 ? 0 : 1;
}
