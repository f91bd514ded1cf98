// The production line's step, process start to exit: "ktraveld-cli check
// SHEET --load --baud 28800" against a KTRA20 that answers at once. The fixed
// waits set a floor no run can beat: the identification's three 0.5 s waits
// and its read-back's ten 0.05 s, then 0.5 s after each of the sheet's 14
// lines and 0.05 s after each of its 14 queries. Prints each run and the
// ratio of the best and the median to that floor (goal: at most 1.05).
// Then the same check at --pace reply at 9600 and 115200 (goals 2.0 s and
// 1.0 s), against the bytes' own time on the line, and the units an hour one
// line checks at that pace (3600 s over the median check, the unit's
// handling left out). Last, at 9600, both paces for a unit that answers at
// once, one that keeps nothing and one whose every reply is 1.2 s late: the
// reply pace never costs much more than the fixed one (goal: at most 1.10
// times it). Then the reply-pace check over rfc2217:// through ser2net on
// this computer against the same unit on its local port (goal: at most 1.2).

#include "CliRuns.h"
#include "DeviceServer.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
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
                      seconds, floorSeconds, QStringLiteral(" (goal 1.05)"));

    // At reply pace the floor is the bytes' own time on the line (ten bits
    // a byte, both ways: the lines the unit heard, from its record, and its
    // answers) plus its reply times (this unit answers at once: none).
    for (const auto &[baud, goal] : {std::pair{9600, 2.0}, std::pair{115200, 1.0}}) {
        UnitSimOptions paced;
        paced.model = QStringLiteral("KTRA20");
        paced.baud = baud;
        ToolBench reply(paced);
        if (!reply.start()) {
            out << "The simulated unit is not ready.\n";
            return 1;
        }
        CliRun replyRun = run;
        replyRun.arguments = {QStringLiteral("check"),
                              sheet,
                              QStringLiteral("--load"),
                              QStringLiteral("--pace"),
                              QStringLiteral("reply"),
                              QStringLiteral("--store"),
                              reply.store,
                              QStringLiteral("--baud"),
                              QString::number(baud)};
        reply.unit.clearRecord();
        const std::vector<double> times = timeCliRuns(out, replyRun, runs);
        if (times.empty())
            return 1;
        // The answers of a KTRA20 holding the sheet (max speed 5000 before the load).
        static const QMap<QByteArray, int> answer = {
            {"@0!\r", 2},   {"@0$\r", 13},  {"@0VA1\r", 3}, {"@0VB1\r", 4},
            {"@0VM1\r", 5}, {"@0VL1\r", 5}, {"@0VU1\r", 6}, {"@0VA2\r", 4},
            {"@0VB2\r", 4}, {"@0VM2\r", 5}, {"@0VL2\r", 5}, {"@0VU2\r", 6},
            {"@0VE\r", 2},  {"@0VC\r", 2},  {"@0VR\r", 2},  {"@0VD\r", 2}};
        qsizetype bytes = 0;
        for (const QByteArray &line : reply.unit.receivedBytes())
            bytes += line.size() + answer.value(line, 0);
        const double wire = bytes * 10.0 / baud / runs;
        const double median = times[times.size() / 2];
        // The same check at the fixed pace, at the same rate.
        CliRun fixedRun = replyRun;
        fixedRun.arguments[4] = QStringLiteral("fixed");
        const std::vector<double> fixedTimes = timeCliRuns(out, fixedRun, runs);
        if (fixedTimes.empty())
            return 1;
        const double fixedMedian = fixedTimes[fixedTimes.size() / 2];
        out << QStringLiteral("ktraveld-cli check --load --pace fixed --baud %1, KTRA20: median %2 "
                              "s; one line checks %3 units an hour\n")
                   .arg(baud)
                   .arg(fixedMedian, 0, 'f', 3)
                   .arg(int(3600 / fixedMedian));
        out << QStringLiteral(
                   "ktraveld-cli check --load --pace reply --baud %1, KTRA20: best %2 s, "
                   "median %3 s (goal %4 s); the bytes' own time %5 s (%6 bytes), "
                   "ratio median %7; one line checks %8 units an hour\n")
                   .arg(baud)
                   .arg(times.front(), 0, 'f', 3)
                   .arg(median, 0, 'f', 3)
                   .arg(goal, 0, 'f', 1)
                   .arg(wire, 0, 'f', 3)
                   .arg(bytes / runs)
                   .arg(median / wire, 0, 'f', 1)
                   .arg(int(3600 / median));
    }
    // The same reply-pace check through a device server on the network
    // (ser2net, RFC 2217, on this computer) against the unit's local port.
    {
        UnitSimOptions netOptions;
        netOptions.model = QStringLiteral("KTRA20");
        ToolBench local(netOptions);
        if (!local.start()) {
            out << "The simulated unit is not ready.\n";
            return 1;
        }
        DeviceServer server(DeviceServer::Kind::Rfc2217, local.unit.devicePath());
        CliRun localRun = run;
        localRun.arguments = {QStringLiteral("check"),
                              sheet,
                              QStringLiteral("--load"),
                              QStringLiteral("--pace"),
                              QStringLiteral("reply"),
                              QStringLiteral("--store"),
                              local.store,
                              QStringLiteral("--baud"),
                              QStringLiteral("9600")};
        const std::vector<double> localTimes = timeCliRuns(out, localRun, runs);
        if (localTimes.empty() || !server.start()) {
            out << "The check or the device server did not run.\n";
            return 1;
        }
        CliRun netRun = localRun;
        netRun.arguments << QStringLiteral("--device") << server.url();
        const std::vector<double> netTimes = timeCliRuns(out, netRun, runs);
        if (netTimes.empty())
            return 1;
        const double localMedian = localTimes[localTimes.size() / 2];
        const double netMedian = netTimes[netTimes.size() / 2];
        out << QStringLiteral("ktraveld-cli check --load --pace reply --baud 9600 over rfc2217:// "
                              "(ser2net on 127.0.0.1): median %1 s against %2 s on the local "
                              "port, ratio %3 (goal 1.2)\n")
                   .arg(netMedian, 0, 'f', 3)
                   .arg(localMedian, 0, 'f', 3)
                   .arg(netMedian / localMedian, 0, 'f', 2);
    }
    // Units that need the fixed waits: the reply pace falls back to them.
    struct Kind
    {
        QString name;
        QStringList args;
        int exit;
        int runs;
    };
    const std::vector<Kind> kinds = {
        {QStringLiteral("answers at once"), {}, 0, runs},
        {QStringLiteral("keeps nothing"), {QStringLiteral("--keep-nothing")}, 3, runs},
        // The identification's own lines are answered at once.
        {QStringLiteral("answers every value 1.2 s late"),
         {QStringLiteral("--mode"), QStringLiteral("slow"), QStringLiteral("--slow-ms"),
          QStringLiteral("1200"), QStringLiteral("--only"),
          QStringLiteral("VA1,VB1,VM1,VL1,VU1,VA2,VB2,VM2,VL2,VU2,VE,VC,VR,VD")},
         1,
         1}};
    for (const Kind &kind : kinds) {
        UnitSimOptions unitOptions;
        unitOptions.model = QStringLiteral("KTRA20");
        unitOptions.extraArgs = kind.args;
        ToolBench unitBench(unitOptions);
        if (!unitBench.start()) {
            out << "The simulated unit is not ready.\n";
            return 1;
        }
        double medians[2] = {0, 0};
        int index = 0;
        for (const QString pace : {"fixed", "reply"}) {
            CliRun paceRun = run;
            paceRun.arguments = {QStringLiteral("check"),
                                 sheet,
                                 QStringLiteral("--load"),
                                 QStringLiteral("--pace"),
                                 pace,
                                 QStringLiteral("--store"),
                                 unitBench.store,
                                 QStringLiteral("--baud"),
                                 QStringLiteral("9600")};
            paceRun.expectedExit = kind.exit;
            paceRun.timeoutMs = 600000;
            const std::vector<double> times = timeCliRuns(out, paceRun, kind.runs);
            if (times.empty())
                return 1;
            medians[index++] = times[times.size() / 2];
        }
        out << QStringLiteral("ktraveld-cli check --load --baud 9600, a KTRA20 that %1: fixed "
                              "pace %2 s, reply pace %3 s, reply / fixed %4 (goal 1.10)\n")
                   .arg(kind.name)
                   .arg(medians[0], 0, 'f', 2)
                   .arg(medians[1], 0, 'f', 2)
                   .arg(medians[1] / medians[0], 0, 'f', 2);
    }
    return 0;
}
