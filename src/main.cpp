#include "session/ChangeTracker.h"
#include "session/UnitSession.h"
#include "store/Journal.h"
#include "store/StoreLocation.h"
#include "ui/CommandLine.h"
#include "ui/MainWindow.h"
#include "ui/NamedComboBox.h"
#include "ui/OpeningWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // No organisation name: the store folder is ~/.config/ktraveld.
    QCoreApplication::setApplicationName(QStringLiteral("ktraveld"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KTV_VERSION));
    // The desktop entry, so the window shows the program's icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ktraveld.ktraveld"));
    if (const std::optional<int> exitCode = ktv::answerCommandLine(argc, argv))
        return *exitCode;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ktv::readComboBoxesByName(); // a screen reader says "Baud", not "9600"
    const ktv::StoreLocation store = ktv::locateStore();
    ktv::UnitSession session(store.path);
    ktv::MainWindow main(session);
    // Every change the program writes is journalled from the wire; a write the
    // unit did not keep, or a journal that cannot be written, is said in the
    // status line, never in a box.
    ktv::Journal journal(ktv::Journal::defaultPath());
    // The writer outlives the tracker: the tracker's last rows go to it.
    ktv::JournalWriter journalWriter(journal.path());
    ktv::ChangeTracker tracker(session, &journal);
    tracker.writeOnThread(&journalWriter);
    main.setChangeTracking(&tracker, journal.path());
    QObject::connect(&tracker, &ktv::ChangeTracker::notHeld, &main,
                     &ktv::MainWindow::showRunStatus);
    QObject::connect(&tracker, &ktv::ChangeTracker::journalWarning, &main,
                     &ktv::MainWindow::showRunStatus);
    if (!store.notice.isEmpty())
        main.showMessage(ktv::MessageIcon::Information, store.notice);
    if (!store.problem.isEmpty())
        main.showMessage(ktv::MessageIcon::Critical, store.problem);
    QObject::connect(&main, &ktv::MainWindow::programEnding, &app, [] { QApplication::exit(0); });
    ktv::OpeningWindow opening(main);
    opening.start();
    if (session.isEnding())
        return 0;
    return app.exec();
}
