#include "session/UnitSession.h"
#include "store/ConfigStore.h"
#include "ui/MainWindow.h"
#include "ui/OpeningWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ktv::UnitSession session(ktv::configurationPath());
    ktv::MainWindow main(session);
    QObject::connect(&main, &ktv::MainWindow::programEnding, &app, [] { QApplication::exit(0); });
    ktv::OpeningWindow opening(main);
    opening.start();
    if (session.isEnding())
        return 0;
    return app.exec();
}
