#pragma once
// The commands of ktraveld-cli and their options: what --help lists.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

namespace ktv::cli {

struct CommandInfo
{
    const char *name;
    const char *synopsis; // after the command name
    const char *summary;
};

// None for a name that is not a command.
const CommandInfo *findCommand(const QString &name);
// --com, --device, --baud, --axis, --store, --json, --trace.
QList<QCommandLineOption> commonOptions();
// --pace fixed|reply, for the commands that take it (takesPace).
QCommandLineOption paceOption();
bool takesPace(const QString &command);
// The options of one command beyond the common ones.
QList<QCommandLineOption> commandOptions(const QString &command);
// The program's --help: its options, every command, the exit codes.
QString topHelp(const QCommandLineParser &parser);

} // namespace ktv::cli
