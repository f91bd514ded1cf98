// Timing, CPU and memory of the waits that dominate the program's life: the
// baud scan with nobody answering, and a read-back run against a unit that
// answers at once. Prints figures and the goals they are held against; it
// asserts nothing, so a slow machine shows up as a number, not a red test.

#include "Workbench.h"

#include "session/LineMonitor.h"
#include "ui/LineMonitorDock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <sys/resource.h>

using namespace ktv;
using namespace ktv::test;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QTextStream out(stdout);

struct Measure
{
    double wall;
    double cpu;
};

template <class F> Measure measure(F &&work)
{
    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    work();
    return {clock.nsecsElapsed() / 1e9, cpuSeconds() - cpu0};
}

void report(const QString &name, double value, const QString &unit, const QString &goal)
{
    out << QStringLiteral("%1: %2 %3 (goal %4)\n").arg(name).arg(value, 0, 'f', 3).arg(unit, goal);
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    {
        UnitOnLine rig(Model::KTRA20, 9600, {QStringLiteral("--mode"), QStringLiteral("silent")});
        if (!rig.started)
            return 1;
        Workbench bench(rig);
        const Measure scan = measure([&] { bench.load(); });
        out << "Baud scan with no unit answering (4 rates x 3 waits of 0.5 s = 6.0 s)\n";
        report(QStringLiteral("  scan time"), scan.wall, QStringLiteral("s"),
               QStringLiteral("6.0"));
        report(QStringLiteral("  ratio to 6.0 s"), scan.wall / 6.0, QString(),
               QStringLiteral("<= 1.03"));
        report(QStringLiteral("  CPU of one core"), 100 * scan.cpu / scan.wall, QStringLiteral("%"),
               QStringLiteral("< 3 %"));
    }

    {
        UnitOnLine rig(Model::KTRA20);
        if (!rig.started)
            return 1;
        Workbench bench(rig);
        bench.load();
        if (!bench.state.UnitConnected)
            return 1;
        const int runs = 10;
        // The flush waits 0.1 s; each of the ten queries waits 0.05 s, then at
        // least one 0.02 s settling step.
        const double floor = 0.1 + 10 * 0.07;
        const auto readBack = [&](const QString &title) {
            const Measure verify = measure([&] {
                for (int i = 0; i < runs; ++i)
                    bench.window->pressVerify(Model::KTRA20);
            });
            out << title << "\n";
            report(QStringLiteral("  run time"), verify.wall / runs, QStringLiteral("s"),
                   QStringLiteral("0.8"));
            report(QStringLiteral("  ratio to the floor"), verify.wall / runs / floor, QString(),
                   QStringLiteral("<= 1.10"));
            report(QStringLiteral("  CPU of one core"), 100 * verify.cpu / verify.wall,
                   QStringLiteral("%"), QStringLiteral("< 5 %"));
        };
        // The line monitor records from the start, its window closed. The
        // runs with the main window shown pay for painting it as well, so
        // they are compared with each other.
        readBack(QStringLiteral("KTRA20 read-back run against a unit that answers at once "
                                "(floor 0.8 s), window hidden, Line Monitor recording"));
        bench.window->show();
        readBack(QStringLiteral("The same, window shown, Line Monitor closed"));
        bench.window->lineMonitorDock()->show();
        readBack(QStringLiteral("The same, window shown, Line Monitor open"));
        bench.window->lineMonitorDock()->hide();
        QObject::disconnect(&bench.link, nullptr, &bench.window->lineMonitor(), nullptr);
        readBack(QStringLiteral("The same, window shown, no Line Monitor recording"));
        bench.window->hide();
        readBack(QStringLiteral("The same, window hidden, no Line Monitor recording"));
    }
    out << QStringLiteral("Peak memory of the benchmark process: %1 MB\n")
               .arg(peakKilobytes() / 1024.0, 0, 'f', 1);
    return 0;
}
