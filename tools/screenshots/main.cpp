// Saves a picture of the main window with each panel selected, and of the
// title window, the three dialogs and a sheet comparison table, so the layout can be looked at
// without a unit: screenshots/<name>.png.

#include "session/UnitSession.h"
#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"
#include "ui/MainWindow.h"
#include "ui/OpeningWindow.h"
#include "ui/SheetCompareDialog.h"

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
    // A KTRA20 compared with the sheet saved from it before two values changed.
    std::vector<ktv::SheetComparisonRow> rows;
    const char *const values[][3] = {{"Profile 1, Accel", "10", "10"},
                                     {"Profile 1, Base Speed", "500", "500"},
                                     {"Profile 1, Max Speed", "5000", "5200"},
                                     {"Profile 1, Lower Speed", "1000", "1000"},
                                     {"Profile 1, Upper Speed", "20000", "20000"},
                                     {"Profile 2, Accel", "110", "110"},
                                     {"Profile 2, Base Speed", "600", "600"},
                                     {"Profile 2, Max Speed", "5100", "5100"},
                                     {"Profile 2, Lower Speed", "1100", "1100"},
                                     {"Profile 2, Upper Speed", "20100", "20100"},
                                     {"Reduced Current", "off", "off"},
                                     {"Resolution", "8", "8"},
                                     {"Ramp Down", "no", "yes"},
                                     {"Analog Speed", "off", "off"}};
    for (const auto &[caption, sheet, unit] : values)
        rows.push_back({0, QString(), QString::fromLatin1(caption), QString::fromLatin1(sheet),
                        QString::fromLatin1(unit), qstrcmp(sheet, unit) != 0});
    ktv::SheetCompareDialog compare(rows, QStringLiteral("Compare - ktra20.json"), &main);
    compare.show();
    QApplication::processEvents();
    compare.grab().save(QDir(folder).filePath(QStringLiteral("compare-table.png")));
    return 0;
}
