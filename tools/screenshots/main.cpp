// Saves a picture of the main window with each panel selected, and of the
// title window and the three dialogs, so the layout can be looked at without
// a unit: screenshots/<name>.png.

#include "session/UnitSession.h"
#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"
#include "ui/MainWindow.h"
#include "ui/OpeningWindow.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);
    ktv::UnitSession session{QString()};
    session.state.SelectedProfile = QStringLiteral("1");
    session.state.AxisAddress = QStringLiteral("0");
    session.state.ComPortNumber = 1;
    ktv::MainWindow main(session);
    main.showConnectionStatus(false);
    main.show();
    for (ktv::Model model : ktv::AllModels) {
        main.SSTab1()->setCurrentIndex(ktv::tabIndex(model));
        QApplication::processEvents();
        main.grab().save(
            QDir(folder).filePath(QStringLiteral("panel-%1.png").arg(ktv::modelId(model))));
    }
    ktv::OpeningWindow opening(main);
    opening.show();
    opening.adjustSize();
    QApplication::processEvents();
    opening.grab().save(QDir(folder).filePath(QStringLiteral("opening.png")));
    ktv::CommSettingsDialog settings(main);
    settings.show();
    QApplication::processEvents();
    settings.grab().save(QDir(folder).filePath(QStringLiteral("comm-settings.png")));
    for (QDialog *dialog : main.findChildren<QDialog *>()) {
        if (!qobject_cast<ktv::AxisDialog *>(dialog))
            continue;
        dialog->adjustSize();
        dialog->show();
        QApplication::processEvents();
        dialog->grab().save(QDir(folder).filePath(dialog->objectName() + QStringLiteral(".png")));
        dialog->hide();
    }
    return 0;
}
