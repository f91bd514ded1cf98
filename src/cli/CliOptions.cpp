#include "cli/CliOptions.h"

#include "cli/StationCommand.h"

namespace ktv::cli {

namespace {

constexpr CommandInfo Commands[] = {
    {"ports", "", "List the serial ports present and the COM numbers the store gives them."},
    {"doctor", "[DEVICE]",
     "Look at a line without a unit: whether the port opens, or for a device server on the "
     "network the host, whether it answers, speaks RFC 2217 and confirms the rate, and the "
     "round trip."},
    {"scan", "", "Look for a unit as the window does at start-up: each baud rate in turn."},
    {"read", "[--profile N | --all-profiles]", "Read back every field the unit's panel shows."},
    {"set", "NAME=VALUE ... [--profile N]", "Check, send and confirm parameters and options."},
    {"go", "[--profile N]", "Begin motion with a profile."},
    {"stop", "--soft | --hard [--model MODEL]", "Stop the motor (a soft stop, or a hard stop)."},
    {"axis", "select A | define A", "Talk to axis A, or give the unit on the line address A."},
    {"find", "[--sweep]",
     "List the units on the line: the address question at each rate, every address 0-99 "
     "where answers collide."},
    {"save", "FILE", "Read every profile and drive setting of the unit into a parameter sheet."},
    {"load", "FILE [--dry-run]", "Check a parameter sheet, write it to the unit, compare after."},
    {"diff", "FILE", "Compare a parameter sheet with the unit, value by value."},
    {"history", "[--unit MODEL]", "Show the change journal, newest first."},
    {"check",
     "SHEET [--load] [--serial SN] [--report FILE.json] [--junit FILE.xml] [--station NAME] "
     "[--operator NAME] [--results-db CONNINFO]",
     "Check the unit against a sheet (after loading it with --load), value by value, and record "
     "the result."},
    {"station",
     "SHEET [--device PATH | --port N]... [--baud B] [--axis A] [--units N] [--operator NAME] "
     "[--station NAME] [--json] [--results-db CONNINFO]",
     "The production station: on each line, every unit put on it loaded with the sheet, "
     "checked and recorded, one line per unit, until --units, or Ctrl+C, SIGTERM or SIGHUP "
     "after the checks under way (the exit code then is the units')."},
    {"results",
     "[--station S] [--unit MODEL] [--since DATE] [--failed] [--serial SN] "
     "[--limit N|all] [--before TIME] [--yield [--by station|day|field]] [--json | --csv] "
     "[--results-db CONNINFO] [--sync]",
     "List the checks recorded on this computer (or the results server), newest first, 50 at a "
     "time; one unit's checks in order; or the yield."},
};

// The plant's results server; the store's setting when not given.
QCommandLineOption resultsDbOption()
{
    return {QStringLiteral("results-db"),
            QStringLiteral("The results server, as a libpq connection string (\"host=db.plant "
                           "dbname=results user=bench\"; the password from ~/.pgpass)."),
            QStringLiteral("CONNINFO")};
}

QList<QCommandLineOption> ownOptions(const QString &command);

} // namespace

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo &command : Commands)
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

QList<QCommandLineOption> commonOptions()
{
    return {
        {QStringLiteral("com"), QStringLiteral("Use COM port N (default: the store's)."),
         QStringLiteral("N")},
        {QStringLiteral("device"),
         QStringLiteral("Open this serial device (it takes the place of the COM port's), or a "
                        "device server on the network: rfc2217://HOST:PORT or socket://HOST:PORT."),
         QStringLiteral("PATH")},
        {QStringLiteral("baud"), QStringLiteral("Skip the scan: talk to the unit at B baud only."),
         QStringLiteral("B")},
        {QStringLiteral("axis"), QStringLiteral("The unit's axis address, 0 to 99 (default 0)."),
         QStringLiteral("A")},
        {QStringLiteral("store"),
         QStringLiteral("The configuration store (default: the window's config.qdr)."),
         QStringLiteral("PATH")},
        {QStringLiteral("json"), QStringLiteral("Print one JSON document on stdout.")},
        {QStringLiteral("trace"),
         QStringLiteral("Show every line sent and received on stderr, with the time and baud.")},
    };
}

QCommandLineOption paceOption()
{
    return {QStringLiteral("pace"),
            QStringLiteral("fixed: the window's fixed waits (the default); reply: each wait ends "
                           "with the unit's reply, a write is read back at once and written again "
                           "with the fixed waits when the unit did not keep it."),
            QStringLiteral("PACE")};
}

bool takesPace(const QString &command)
{
    for (const char *name : {"check", "station", "load", "save", "diff", "read"})
        if (command == QLatin1String(name))
            return true;
    return false;
}

QList<QCommandLineOption> commandOptions(const QString &command)
{
    QList<QCommandLineOption> options = ownOptions(command);
    if (takesPace(command))
        options << paceOption();
    return options;
}

namespace {

QList<QCommandLineOption> ownOptions(const QString &command)
{
    const QCommandLineOption profile(QStringLiteral("profile"),
                                     QStringLiteral("Profile N (default 1)."), QStringLiteral("N"));
    if (command == QLatin1String("read"))
        return {
            profile,
            {QStringLiteral("all-profiles"), QStringLiteral("Read every profile the unit keeps.")}};
    if (command == QLatin1String("set") || command == QLatin1String("go"))
        return {profile};
    if (command == QLatin1String("load"))
        return {
            {QStringLiteral("dry-run"),
             QStringLiteral("Check the sheet and show the lines a load writes; open no port.")}};
    if (command == QLatin1String("find"))
        return {{QStringLiteral("sweep"),
                 QStringLiteral("Ask every address from 0 to 99 at each rate, without the "
                                "address question (units that do not answer it).")}};
    if (command == QLatin1String("check"))
        return {{QStringLiteral("load"),
                 QStringLiteral("Write the sheet to the unit first, as load does.")},
                {QStringLiteral("report"),
                 QStringLiteral("Write the check's report as JSON to FILE."),
                 QStringLiteral("FILE")},
                {QStringLiteral("junit"), QStringLiteral("Write the check as JUnit XML to FILE."),
                 QStringLiteral("FILE")},
                {QStringLiteral("station"),
                 QStringLiteral("The station's name in the record (default: the host name)."),
                 QStringLiteral("NAME")},
                {QStringLiteral("operator"), QStringLiteral("The operator's name in the record."),
                 QStringLiteral("NAME")},
                {QStringLiteral("serial"),
                 QStringLiteral("The unit's serial number in the record and the reports."),
                 QStringLiteral("SN")},
                resultsDbOption()};
    if (command == QLatin1String("results"))
        return {{QStringLiteral("station"), QStringLiteral("Only the checks of this station."),
                 QStringLiteral("S")},
                {QStringLiteral("unit"), QStringLiteral("Only the checks of this unit model."),
                 QStringLiteral("MODEL")},
                {QStringLiteral("since"),
                 QStringLiteral("Only the checks since DATE (2026-12-08 or 2026-12-08T14:00)."),
                 QStringLiteral("DATE")},
                {QStringLiteral("failed"), QStringLiteral("Only the checks that did not pass.")},
                {QStringLiteral("serial"),
                 QStringLiteral("Only the checks of the unit with this serial number, oldest "
                                "first."),
                 QStringLiteral("SN")},
                {QStringLiteral("limit"),
                 QStringLiteral("At most N checks, the newest (default 50); all: every one."),
                 QStringLiteral("N|all")},
                {QStringLiteral("before"),
                 QStringLiteral("Only the checks started before TIME: the next page, with the "
                                "time the last one said."),
                 QStringLiteral("TIME")},
                {QStringLiteral("yield"),
                 QStringLiteral("The yield instead of the checks: units whose first check passed, "
                                "units whose last check passed, and retests.")},
                {QStringLiteral("by"),
                 QStringLiteral("The yield per station (the default), per day, or the failing "
                                "fields ranked."),
                 QStringLiteral("station|day|field")},
                {QStringLiteral("csv"), QStringLiteral("Print comma-separated values.")},
                resultsDbOption(),
                {QStringLiteral("sync"),
                 QStringLiteral("Send the results waiting on this computer to the results "
                                "server.")}};
    if (command == QLatin1String("station"))
        return stationOptions();
    if (command == QLatin1String("history"))
        return {{QStringLiteral("unit"), QStringLiteral("Only the changes of this unit model."),
                 QStringLiteral("MODEL")}};
    if (command == QLatin1String("stop"))
        return {{QStringLiteral("soft"), QStringLiteral("Soft stop: the motor ramps down.")},
                {QStringLiteral("hard"), QStringLiteral("Hard stop: the motor stops at once.")},
                {QStringLiteral("model"),
                 QStringLiteral("The panel whose fixed port settings the stop opens the port "
                                "with (KTRA10 ... VELD30; a VELD40 or VELD50 stops as a VELD30); "
                                "needed unless --baud is given."),
                 QStringLiteral("MODEL")}};
    return {};
}

} // namespace

QString topHelp(const QCommandLineParser &parser)
{
    QString text = parser.helpText();
    text += QStringLiteral("\nCommands (each has --help):\n");
    for (const CommandInfo &command : Commands)
        text += QStringLiteral("  %1\n      %2\n")
                    .arg(QStringLiteral("%1 %2")
                             .arg(QLatin1String(command.name), QLatin1String(command.synopsis))
                             .trimmed(),
                         QLatin1String(command.summary));
    text += QStringLiteral("\nExit codes: 0 done, 1 no unit, the line failed or the output could "
                           "not be written, 2 usage error, "
                           "a refused value or a sheet that does not read (nothing sent), 3 the "
                           "unit does not hold what was written or differs from the sheet (or a "
                           "station's unit was refused), 130 interrupted.\n");
    return text;
}

} // namespace ktv::cli
