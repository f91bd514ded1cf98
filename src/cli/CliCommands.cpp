// The command line of one run: its options parsed and checked, the command
// handed to its handler, and the JSON document of a run that ends early.

#include "cli/CliCommands.h"

#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/Interrupt.h"
#include "cli/SheetCommands.h"
#include "cli/StationCommand.h"
#include "cli/Tool.h"
#include "cli/ToolHelpers.h"
#include "link/DeviceAddress.h"
#include "store/Journal.h"
#include "store/StoreLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace ktv::cli {

// The handler of each command; the sheet commands share one.
int Tool::dispatch()
{
    if (command_ == QLatin1String("ports"))
        return ports();
    if (command_ == QLatin1String("doctor"))
        return doctor();
    if (command_ == QLatin1String("scan"))
        return scan();
    if (command_ == QLatin1String("read"))
        return read();
    if (command_ == QLatin1String("set"))
        return set();
    if (command_ == QLatin1String("go"))
        return go();
    if (command_ == QLatin1String("stop"))
        return stop();
    if (command_ == QLatin1String("axis"))
        return axis();
    if (command_ == QLatin1String("find"))
        return find();
    if (command_ == QLatin1String("check") || command_ == QLatin1String("results"))
        return checkCommand();
    return sheetCommand();
}

int Tool::sheetCommand()
{
    SheetCommands sheets(*this, text_, json_);
    if (command_ == QLatin1String("history"))
        return sheets.history(Journal::defaultPath(), parser_.value(QStringLiteral("unit")));
    const QStringList words = parser_.positionalArguments().mid(1);
    if (words.size() != 1)
        return usageError(QStringLiteral("%1 takes one FILE").arg(command_), command_);
    if (command_ == QLatin1String("save"))
        return sheets.save(words[0]);
    if (command_ == QLatin1String("diff"))
        return sheets.diff(words[0]);
    return sheets.load(words[0], parser_.isSet(QStringLiteral("dry-run")), common_.axis);
}

namespace {

// Whether --json is among the options, found before the parser knows
// whether the rest is right: a usage error is then a document too.
bool wantsJson(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("--json") || argument == QLatin1String("-json"))
            return true;
    }
    return false;
}

int runCommand(const QStringList &arguments)
{
    const QString command = arguments.value(1);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    parser.addOptions(commonOptions());

    const CommandInfo *chosen = findCommand(command);
    if (!chosen) {
        const QCommandLineOption version(QStringLiteral("version"),
                                         QStringLiteral("Show the program's version."));
        parser.addOption(version);
        parser.setApplicationDescription(
            QStringLiteral("Sets up and tests KTRA/VELD stepper-motor units over a serial line, "
                           "as the KTRA-VELD window does."));
        parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("See below."),
                                     QStringLiteral("COMMAND [options]"));
        if (!parser.parse(arguments))
            return usageError(parser.errorText());
        if (parser.isSet(help)) {
            printOut(topHelp(parser));
            return ExitDone;
        }
        if (parser.isSet(version)) {
            printOut(Program + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                     QLatin1Char('\n'));
            return ExitDone;
        }
        return usageError(command.isEmpty() || command.startsWith(QLatin1Char('-'))
                              ? QStringLiteral("no command given")
                              : QStringLiteral("unknown command %1").arg(command));
    }

    parser.setApplicationDescription(QLatin1String(chosen->summary));
    parser.addOptions(commandOptions(command));
    parser.addPositionalArgument(
        command, QLatin1String(chosen->summary),
        (command + QLatin1Char(' ') + QLatin1String(chosen->synopsis)).trimmed());
    if (!parser.parse(arguments))
        return usageError(parser.errorText(), command);
    if (parser.isSet(help)) {
        printOut(parser.helpText());
        return ExitDone;
    }
    const bool takesWords = command == QLatin1String("set") || command == QLatin1String("axis") ||
                            command == QLatin1String("save") || command == QLatin1String("load") ||
                            command == QLatin1String("diff") || command == QLatin1String("check") ||
                            command == QLatin1String("station") ||
                            command == QLatin1String("doctor");
    if (!takesWords && parser.positionalArguments().size() > 1)
        return usageError(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().at(1)),
            command);

    Common common;
    if (parser.isSet(QStringLiteral("com"))) {
        common.com = positiveNumber(parser.value(QStringLiteral("com")));
        if (!common.com)
            return usageError(QStringLiteral("--com takes a port number from 1"), command);
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        common.baud = positiveNumber(parser.value(QStringLiteral("baud")));
        if (!common.baud)
            return usageError(QStringLiteral("--baud takes a rate such as 9600"), command);
    }
    if (parser.isSet(QStringLiteral("axis"))) {
        common.axis = parser.value(QStringLiteral("axis"));
        if (!isAxisAddress(common.axis))
            return usageError(QStringLiteral("an axis address is 0 to 99"), command);
    }
    // A network line's address is read before anything is opened: a typing
    // error is the operator's to mend, not a port that failed.
    for (const QString &device : parser.values(QStringLiteral("device"))) {
        if (const Outcome<DeviceAddress> address = parseDeviceAddress(device); !address)
            return usageError(address.problem(), command);
    }
    common.device = parser.value(QStringLiteral("device"));
    common.store = parser.value(QStringLiteral("store"));
    common.json = parser.isSet(QStringLiteral("json"));
    common.trace = parser.isSet(QStringLiteral("trace"));
    if (takesPace(command) && parser.isSet(QStringLiteral("pace"))) {
        const QString pace = parser.value(QStringLiteral("pace"));
        if (pace == QLatin1String("reply"))
            common.pace = Pace::Reply;
        else if (pace != QLatin1String("fixed"))
            return usageError(QStringLiteral("--pace takes fixed or reply"), command);
    }

    QString storePath = common.store;
    if (storePath.isEmpty()) {
        const StoreLocation location = locateStore();
        if (!location.notice.isEmpty())
            printError(location.notice, code::StoreNotice);
        if (!location.problem.isEmpty())
            printError(location.problem, code::StoreProblem);
        storePath = location.path;
    }

    if (command == QLatin1String("station"))
        return runStation(parser, common, storePath);
    Tool tool(command, parser, common, storePath);
    InterruptWatch watch([&tool] {
        tool.session().setEnding();
        // A wait already running would otherwise end only when its timer
        // fires; exit() ends every running event loop now, and no new one
        // runs (this program never enters the application's own loop).
        QCoreApplication::exit(ExitInterrupted);
    });
    int code = tool.run();
    if (watch.interrupted()) {
        printError(QStringLiteral("Interrupted; the port is closed."), code::Interrupted);
        code = ExitInterrupted;
    }
    tool.finish(code);
    return code;
}

} // namespace

int runCli(const QStringList &arguments)
{
    const int code = runCommand(arguments);
    if (wantsJson(arguments) && !printedOut())
        printDocument(findCommand(arguments.value(1)) ? arguments.value(1) : QString(), code);
    return finishOutput(code);
}

} // namespace ktv::cli
