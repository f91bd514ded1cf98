#pragma once
// ktraveld-cli as the operator runs it, against a simulated unit whose line
// COM 1 of a temporary store names; the change journal goes to the
// temporary folder, never the real home. Needs KTV_CLI_PATH.

#include "Helpers.h"
#include "UnitOnLine.h"

#include <QProcess>
#include <optional>

namespace ktv::test {

struct CliRun
{
    int exitCode = -1; // -2: the tool crashed; -1: it did not end within a minute
    QString out;
    QString err;
};

// The journal (and the rest of the data folder) under dataHome.
inline QProcessEnvironment cliEnvironment(const QString &dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    return env;
}

// args: the command first, then its arguments; --store goes after the command.
// input: given on standard input, which then ends; none: left open.
inline CliRun runCli(const QString &storePath, const QString &dataHome, const QStringList &args,
                     const std::optional<QByteArray> &input = std::nullopt)
{
    QProcess process;
    process.setProcessEnvironment(cliEnvironment(dataHome));
    process.start(QStringLiteral(KTV_CLI_PATH),
                  QStringList{args.first(), QStringLiteral("--store"), storePath} + args.mid(1));
    if (input) {
        process.write(*input);
        process.closeWriteChannel();
    }
    CliRun result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// A unit on the line and a store whose COM 1 is that line; the tool, not
// the rig's session, talks to it.
struct CliRig : UnitOnLine
{
    explicit CliRig(const QString &model, int baud = 9600, const QStringList &extra = {},
                    const QString &mode = QStringLiteral("normal"), int address = 0)
        : UnitOnLine(UnitSimOptions{model, QStringLiteral("1.07"), address, baud, mode, extra})
    {
    }

    QString dataHome() const { return dir.filePath(QStringLiteral("data")); }
    QString journalPath() const { return dataHome() + QStringLiteral("/ktraveld/journal.sqlite"); }
    QProcessEnvironment environment() const { return cliEnvironment(dataHome()); }
    QStringList withStore(const QStringList &args) const
    {
        return QStringList{args.first(), QStringLiteral("--store"), storePath} + args.mid(1);
    }

    CliRun run(const QStringList &args, const std::optional<QByteArray> &input = std::nullopt)
    {
        return runCli(storePath, dataHome(), args, input);
    }
};

} // namespace ktv::test
