#include "ui/CommandLine.h"

#include "store/StoreLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace ktv {

namespace {

// The window-system options that QApplication takes from the command line
// itself (-platform offscreen, -style fusion, ...): accepted here, and listed
// only by --help-all. Returns them as --help-all shows them.
QStringList acceptToolkitOptions(QCommandLineParser &parser)
{
    QStringList shown;
    const char *const withValue[] = {
        "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
        "display",     "geometry",           "title"};
    const char *const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
        shown << QStringLiteral("-%1 <value>").arg(QString::fromLatin1(name));
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
        shown << QStringLiteral("-%1").arg(QString::fromLatin1(name));
    }
    return shown;
}

} // namespace

std::optional<int> answerCommandLine(int argc, char *argv[])
{
    int count = argc;
    const QCoreApplication app(count, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets up and tests KTRA and VELD stepper-motor units over an RS-232 line."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption storePath(
        QStringLiteral("store-path"),
        QStringLiteral("Print the path of the configuration store the program uses, creating "
                       "it there first if needed, and exit."));
    parser.addOption(storePath);
    const QStringList toolkitOptions = acceptToolkitOptions(parser);

    const QString name = QCoreApplication::applicationName();
    if (!parser.parse(QCoreApplication::arguments())) {
        err << name << ": " << parser.errorText() << "\nTry '" << name << " --help'.\n";
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << name << ": unexpected argument '" << parser.positionalArguments().constFirst()
            << "'\nTry '" << name << " --help'.\n";
        return 2;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(QStringLiteral("help-all"))) {
        out << parser.helpText() << "\nQt options, used by the window system:\n";
        for (const QString &option : toolkitOptions)
            out << "  " << option << '\n';
        return 0;
    }
    if (parser.isSet(version)) {
        out << name << ' ' << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (parser.isSet(storePath)) {
        const StoreLocation store = locateStore();
        out << store.path << '\n';
        if (!store.notice.isEmpty())
            err << store.notice << '\n';
        if (!store.problem.isEmpty()) {
            err << store.problem << '\n';
            return 1;
        }
        return 0;
    }
    return std::nullopt;
}

} // namespace ktv
