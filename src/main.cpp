#include "app/MainWindow.h"
#include "app/OpeningWindow.h"
#include "link/ConfigStore.h"
#include "link/SerialLink.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ktv::SharedState state;
    ktv::SerialLink link(state);
    ktv::MainWindow main(state, link, ktv::configurationPath());
    QObject::connect(&main, &ktv::MainWindow::programEnding, &app, [] { QApplication::exit(0); });
    ktv::OpeningWindow opening(main);
    opening.start();
    if (link.isEnding())
        return 0;
    return app.exec();
}
