#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/OpeningWindow.h"
#include "app/Toolkit.h"
#include "link/SerialLink.h"
#include "store/StoreLocation.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // No organisation name: the store folder is ~/.config/ktraveld.
    QCoreApplication::setApplicationName(QStringLiteral("ktraveld"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KTV_VERSION));
    // The desktop entry, so the window shows the program's icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.ktraveld.KtraVeld"));
    if (const std::optional<int> exitCode = ktv::answerCommandLine(argc, argv))
        return *exitCode;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ktv::SharedState state;
    ktv::SerialLink link(state);
    const ktv::StoreLocation store = ktv::locateStore();
    ktv::MainWindow main(state, link, store.path);
    if (!store.notice.isEmpty())
        ktv::ShowMessage(ktv::MessageIcon::Information, store.notice);
    if (!store.problem.isEmpty())
        ktv::ShowMessage(ktv::MessageIcon::Critical, store.problem);
    QObject::connect(&main, &ktv::MainWindow::programEnding, &app, [] { QApplication::exit(0); });
    ktv::OpeningWindow opening(main);
    opening.start();
    if (link.isEnding())
        return 0;
    return app.exec();
}
