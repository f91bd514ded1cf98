#pragma once
// ktraveld-cli as the operator runs it, against a simulated unit whose line
// COM 1 of a temporary store names; the change journal goes to the
// temporary folder, never the real home. Needs KTV_CLI_PATH.

#include "Helpers.h"
#include "UnitSimProcess.h"

#include <QProcess>
#include <QTemporaryDir>

namespace ktv::test {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

struct CliRig
{
    explicit CliRig(const QString &model, int baud = 9600, const QStringList &extra = {})
        : unit({model, QStringLiteral("1.07"), 0, baud, QStringLiteral("normal"), extra})
    {
        started = unit.start();
        storePath = dir.filePath(QStringLiteral("config.qdr"));
        started = started && writeStore(storePath, 1, {{1, unit.devicePath()}});
    }

    QString dataHome() const { return dir.filePath(QStringLiteral("data")); }
    QString journalPath() const { return dataHome() + QStringLiteral("/ktraveld/journal.sqlite"); }

    CliRun run(const QStringList &args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KTV_CLI_PATH),
                      QStringList{args.first(), QStringLiteral("--store"), storePath} +
                          args.mid(1));
        CliRun result;
        if (!process.waitForFinished(60000))
            return result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    UnitSimProcess unit;
    QTemporaryDir dir;
    QString storePath;
    bool started = false;
};

} // namespace ktv::test
