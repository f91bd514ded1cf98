// The windows on a 1600x1000 screen, at the usual scale and at twice it:
// each lies within the screen's available area, and the main window is
// centred with its final size (status line and all). Each scale runs in a
// child process of its own, since the scale is fixed when the application
// starts.

#include "Workbench.h"

#include "ui/CommSettingsDialog.h"
#include "ui/LineMonitorDock.h"
#include "ui/OpeningWindow.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;

namespace {

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// "inside", or where the frame sticks out.
QString placement(const QWidget *window)
{
    const QRect area = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    return area.contains(frame)
               ? QStringLiteral("inside")
               : QStringLiteral("frame %1 outside %2").arg(rectText(frame), rectText(area));
}

QString centring(const QWidget *window)
{
    const QRect area = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    // Twice the centres, so that half a pixel counts.
    const int dx = (2 * frame.left() + frame.width()) - (2 * area.left() + area.width());
    const int dy = (2 * frame.top() + frame.height()) - (2 * area.top() + area.height());
    return std::abs(dx) <= 2 && std::abs(dy) <= 2
               ? QStringLiteral("centred")
               : QStringLiteral("off centre by %1, %2").arg(dx / 2.0).arg(dy / 2.0);
}

// Runs check on the next modal dialog once it is active, then closes it.
void whenModal(const std::function<void(QDialog *)> &check)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, check] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        (void)QTest::qWaitForWindowExposed(dialog);
        check(dialog);
        dialog->reject();
    });
    poll->start(20);
}

// The child: a real session with the simulated unit, as the program starts.
int runChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    UnitOnLine rig(Model::KTRA20);
    if (!rig.started)
        return 2;
    Workbench bench(rig);
    MainWindow &window = *bench.window;
    OpeningWindow opening(window);
    opening.start();
    if (!bench.state.UnitConnected || !QTest::qWaitForWindowExposed(&window))
        return 3;
    window.showRunStatus(QStringLiteral("A status line, as after a Verify"));
    QTest::qWait(100);
    out << "Main: " << placement(&window) << ", " << centring(&window) << '\n';

    // A read-back that nobody answered: longer than the window is wide.
    const QString noAnswer = QStringLiteral(
        "No answer from the unit at address 0 to: Speed Profile, Acceleration, Base Speed, Max "
        "Speed, Lower Analog Speed, Upper Analog Speed, Analog Speed, Reduced Current, Microstep "
        "Resolution, Ramp Down, Error Code");
    window.showRunStatus(noAnswer);
    out << "Long status line: "
        << (window.statusBar()->toolTip() == noAnswer ? "whole in its tooltip" : "cut") << '\n';

    window.mnuLineMonitor()->trigger();
    QTest::qWait(200);
    out << "Main with the Line Monitor: " << placement(&window) << '\n';
    // The panels keep their room where the screen has it.
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("1"))
        out << "Panels: "
            << (window.centralWidget()->height() >= window.centralWidget()->sizeHint().height()
                    ? "whole"
                    : "cut")
            << '\n';

    whenModal([&](QDialog *dialog) {
        auto *writeBack = dialog->findChild<QPushButton *>(QStringLiteral("cmdWriteBack"));
        const bool reach =
            writeBack && dialog->rect().contains(
                             QRect(writeBack->mapTo(dialog, QPoint(0, 0)), writeBack->size()));
        out << "Change History: " << placement(dialog) << ", Write back "
            << (reach ? "in reach" : "cut off") << '\n';
    });
    window.openChangeHistory();

    setCommSettingsHook([&](CommSettingsDialog &dialog) {
        (void)QTest::qWaitForWindowExposed(&dialog);
        out << "Communication Settings: " << placement(&dialog) << '\n';
        dialog.reject();
    });
    window.openCommSettings();
    setCommSettingsHook({});
    return 0;
}

} // namespace

class TestScreenFit : public QObject
{
    Q_OBJECT
  private slots:
    void windowsFitTheScreen_data();
    void windowsFitTheScreen();
};

void TestScreenFit::windowsFitTheScreen_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QStringList>("seen");
    const QStringList dialogs = {"Change History: inside, Write back in reach",
                                 "Communication Settings: inside"};
    QTest::newRow("usual scale") << "1"
                                 << QStringList{"Main: inside, centred",
                                                "Long status line: whole in its tooltip",
                                                "Main with the Line Monitor: inside",
                                                "Panels: whole"} +
                                        dialogs;
    // The main window is wider than the screen here: it fills it.
    QTest::newRow("twice the scale")
        << "2"
        << QStringList{"Main: inside, centred", "Long status line: whole in its tooltip",
                       "Main with the Line Monitor: inside"} +
               dialogs;
}

void TestScreenFit::windowsFitTheScreen()
{
    QFETCH(QString, scale);
    QFETCH(QStringList, seen);
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1600, "height": 1000,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KTV_SCREENFIT_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(errors));
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines, seen);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("KTV_SCREENFIT_CHILD"))
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestScreenFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenfit.moc"
