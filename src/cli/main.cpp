// ktraveld-cli: the unit session from the command line, no display needed.

#include "cli/CliCommands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The window's name: both programs share the store in ~/.config/ktraveld.
    QCoreApplication::setApplicationName(QStringLiteral("ktraveld"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KTV_VERSION));
    return ktv::cli::runCli(QCoreApplication::arguments());
}
