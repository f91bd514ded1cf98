// Saves a picture of the main window with each panel selected, and of the
// title window, the three dialogs and a sheet comparison table, so the layout can be looked at
// without a unit: screenshots/<name>.png.

#include "session/LineMonitor.h"
#include "session/UnitSession.h"
#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"
#include "ui/LineMonitorDock.h"
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
    // The Line Monitor under the KTRA20 panel, after a scan and a read-back.
    {
        using Line = ktv::MonitorLine;
        const struct
        {
            Line::Direction direction;
            const char *bytes;
            qint64 ms;
        } lines[] = {{Line::Written, "\r", 0},
                     {Line::Written, "@0!\r", 501},
                     {Line::Read, "0\r", 1002},
                     {Line::Written, "@0$\r", 1003},
                     {Line::Read, "KTRA20 1.07\r", 1504},
                     {Line::Written, "@0VA1\r", 1612},
                     {Line::Read, "10\r", 1683},
                     {Line::Written, "@0VB1\r", 1684},
                     {Line::Read, "500\r", 1755},
                     {Line::Written, "@0VM1\r", 1756},
                     {Line::Read, "8000\r", 1827},
                     {Line::Written, "@0M1_5000\r", 9410},
                     {Line::Written, "@0VA1\r", 10021},
                     {Line::Read, "\x15\xff?\r", 10092},
                     {Line::Written, "@0H\r", 12750}};
        for (const auto &line : lines)
            main.lineMonitor().record(line.direction, QByteArray(line.bytes), line.ms, 9600);
        main.lineMonitor().flush();
        main.SSTab1()->setCurrentIndex(ktv::tabIndex(ktv::Model::KTRA20));
        main.lineMonitorDock()->show();
        main.resize(main.width(), main.height() + 320);
        QApplication::processEvents();
        main.grab().save(QDir(folder).filePath(QStringLiteral("line-monitor.png")));
        main.lineMonitorDock()->hide();
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
