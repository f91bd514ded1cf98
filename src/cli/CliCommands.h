#pragma once
// ktraveld-cli: the unit session from the command line. One command per run
// (ports, scan, read, set, go, stop, axis, find); each talks to the unit with
// the same lines, waits and checks as the window.

#include <QStringList>

namespace ktv::cli {

enum ExitCode {
    ExitDone = 0,
    ExitNoUnit = 1,  // no unit answered, the line failed or did not open, or a value was not read
    ExitUsage = 2,   // a usage error or a refused value; nothing was sent
    ExitNotHeld = 3, // the unit does not hold what was written
    ExitInterrupted = 130,
};

// Runs one command; arguments as the program got them (its name first).
// Needs a QCoreApplication.
int runCli(const QStringList &arguments);

} // namespace ktv::cli
