// Saves pictures of the program as an operator sees it, connected to the
// simulated unit (ktraveld-unitsim beside this tool): each panel with its
// unit, the Line Monitor after a scan, a Send and a read-back, the title
// window, the dialogs, and a sheet comparison after two values changed. The
// documents' pictures (docs/) are main-window.png, line-monitor.png, compare-table.png,
// production-run.png and results-charts.png: <folder>/<name>.png.

#include "session/ChangeTracker.h"
#include "session/UnitSession.h"
#include "store/CheckResults.h"
#include "store/ConfigStore.h"
#include "store/Journal.h"
#include "store/ResultsWorker.h"
#include "store/StoreLocation.h"
#include "ui/AxisDialogs.h"
#include "ui/CommSettingsDialog.h"
#include "ui/LineMonitorDock.h"
#include "ui/MainWindow.h"
#include "ui/OpeningWindow.h"
#include "ui/ProductionRunDialog.h"
#include "ui/ResultsCharts.h"
#include "ui/ResultsWindow.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

QString folder;

void save(QWidget *widget, const QString &name)
{
    QApplication::processEvents();
    widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// A simulated unit of one model at 9600 baud, the first rate the scan tries.
struct SimulatedUnit
{
    explicit SimulatedUnit(const QString &model)
    {
        process.start(
            QDir(QCoreApplication::applicationDirPath())
                .filePath(QStringLiteral("ktraveld-unitsim")),
            {QStringLiteral("--model"), model, QStringLiteral("--baud"), QStringLiteral("9600")});
        if (process.waitForReadyRead(10000))
            device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~SimulatedUnit()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    QProcess process;
    QString device;
};

// The program connected to a unit of the model, as after its start-up: a
// store in a folder of its own whose COM 1 opens the simulated unit.
struct Connected
{
    explicit Connected(const QString &model) : unit(model)
    {
        const QString store = dir.filePath(QStringLiteral("config.qdr"));
        QString problem;
        if (unit.device.isEmpty() || !ktv::createFreshStore(store, &problem) ||
            !ktv::writePortMapEntry(store, 1, unit.device, &problem)) {
            std::fprintf(stderr, "no simulated %s: %s\n", qPrintable(model), qPrintable(problem));
            return;
        }
        session = std::make_unique<ktv::UnitSession>(store);
        window = std::make_unique<ktv::MainWindow>(*session);
        const QString journalPath = dir.filePath(QStringLiteral("journal.sqlite"));
        journal = std::make_unique<ktv::Journal>(journalPath);
        tracker = std::make_unique<ktv::ChangeTracker>(*session, journal.get());
        window->setChangeTracking(tracker.get(), journalPath);
        QObject::connect(tracker.get(), &ktv::ChangeTracker::notHeld, window.get(),
                         &ktv::MainWindow::showRunStatus);
        // Sheets are kept in the same folder.
        window->setFileChooser(
            [this](ktv::SheetFileUse) { return dir.filePath(QStringLiteral("ktra20.json")); });
    }
    bool start()
    {
        if (!window)
            return false;
        ktv::OpeningWindow opening(*window);
        opening.start();
        return session->state.UnitConnected;
    }
    QTemporaryDir dir;
    SimulatedUnit unit;
    std::unique_ptr<ktv::UnitSession> session;
    std::unique_ptr<ktv::MainWindow> window;
    std::unique_ptr<ktv::Journal> journal;
    std::unique_ptr<ktv::ChangeTracker> tracker;
};

// Runs act on the next modal dialog once it shows, then closes it.
void whenShown(const QString &name, const std::function<void(QDialog *)> &act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, name, act] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != name || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(dialog);
        dialog->reject();
    });
    poll->start(50);
}

// Three days of a line in a journal: units checked at Bench 1 and Bench 2,
// those that failed checked again at Rework. The same figures every time.
void recordLineDays(const QString &journalPath)
{
    unsigned seed = 7;
    auto next = [&seed](int below) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % unsigned(below));
    };
    const char *const captions[] = {"Max Speed", "Accel/Decel", "Base Speed", "Resolution",
                                    "Ramp Down"};
    const char *const keys[] = {"max-speed", "accel", "base-speed", "resolution", "ramp-down"};
    const int weights[] = {9, 5, 3, 2, 1}; // how often each fails, of 20
    ktv::CheckResults results(journalPath);
    int serial = 1000;
    auto check = [&](const QString &unit, const QString &station, const QDateTime &at, bool pass) {
        ktv::CheckReport report;
        report.id = QUuid::createUuid();
        report.serial = unit;
        report.station = station;
        report.operatorName =
            station == QLatin1String("Rework") ? QStringLiteral("Bo") : QStringLiteral("Ana");
        report.unit = {QStringLiteral("KTRA20"),
                       QStringLiteral("1.07"),
                       0,
                       9600,
                       QStringLiteral("/dev/ttyUSB0"),
                       {},
                       {}};
        report.sheetName = QStringLiteral("ktra20.json");
        report.sheetSha256 = QStringLiteral("9f86d081");
        report.loaded = true;
        report.started = at;
        report.ended = at.addSecs(10);
        int failing = -1;
        if (!pass) {
            int pick = next(20);
            for (failing = 0; pick >= weights[failing]; ++failing)
                pick -= weights[failing];
        }
        for (int i = 0; i < 5; ++i)
            report.values.push_back(
                {i < 3 ? 1 : 0,
                 QString::fromLatin1(keys[i]),
                 QString::fromLatin1(captions[i]),
                 QStringLiteral("400"),
                 i == failing ? QStringLiteral("380") : QStringLiteral("400"),
                 i == failing ? ktv::ValueVerdict::Differs : ktv::ValueVerdict::Match,
                 {}});
        report.verdict = pass ? ktv::CheckVerdict::Pass : ktv::CheckVerdict::Fail;
        QString problem;
        results.record(report, &problem);
    };
    for (int day = 6; day <= 8; ++day) {
        for (int n = 0; n < 36; ++n) {
            const QString unit = QStringLiteral("SN-%1").arg(++serial);
            const QString station = n % 2 ? QStringLiteral("Bench 2") : QStringLiteral("Bench 1");
            const QDateTime at(QDate(2026, 12, day), QTime(7 + n / 4, (n % 4) * 14 + next(10)),
                               Qt::OffsetFromUTC, 3600);
            const bool pass = next(100) >= (station == QLatin1String("Bench 2") ? 22 : 10);
            check(unit, station, at, pass);
            if (!pass)
                check(unit, QStringLiteral("Rework"), at.addSecs(3600), next(100) < 75);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(folder);

    // Each panel with a unit of its model on the line.
    const std::pair<ktv::Model, const char *> units[] = {
        {ktv::Model::KTRA10, "KTRA10"}, {ktv::Model::KTRA20, "KTRA20"},
        {ktv::Model::KTRA30, "KTRA30"}, {ktv::Model::VELD10, "VELD10"},
        {ktv::Model::VELD20, "VELD20"}, {ktv::Model::VELD30, "VELD30"}};
    for (const auto &[model, name] : units) {
        Connected program(QString::fromLatin1(name));
        if (!program.start())
            return 1;
        save(program.window.get(), QStringLiteral("panel-%1").arg(ktv::modelId(model)));
        if (model == ktv::Model::VELD10)
            save(program.window.get(), QStringLiteral("main-window"));
        if (model == ktv::Model::VELD30) {
            for (QDialog *dialog : program.window->findChildren<QDialog *>()) {
                if (!qobject_cast<ktv::AxisDialog *>(dialog))
                    continue;
                dialog->adjustSize();
                dialog->show();
                save(dialog, dialog->objectName());
                dialog->hide();
            }
        }
    }

    // A KTRA20: the Line Monitor open from the start, so it holds the scan,
    // the identification and the read-back; then a new Max Speed sent.
    Connected program(QStringLiteral("KTRA20"));
    if (!program.window)
        return 1;
    ktv::MainWindow &window = *program.window;
    window.lineMonitorDock()->show();
    if (!program.start())
        return 1;
    // The title window.
    {
        ktv::OpeningWindow opening(window);
        opening.show();
        opening.adjustSize();
        save(&opening, QStringLiteral("opening"));
    }
    window.activateWindow();
    window.saveUnitSettings(); // the sheet the comparison below is made against
    window.panel(ktv::Model::KTRA20).boxes.at(ktv::ParamKey::Max)->setText(QStringLiteral("5200"));
    window.pressSend(ktv::Model::KTRA20, ktv::ParamKey::Max);
    window.selectOption(ktv::Model::KTRA20, ktv::Option::RampDownYes);
    save(&window, QStringLiteral("line-monitor"));
    window.lineMonitorDock()->hide();

    whenShown(QStringLiteral("SheetCompare"),
              [](QDialog *dialog) { save(dialog, QStringLiteral("compare-table")); });
    window.compareWithUnitSettings();
    whenShown(QStringLiteral("frmCommSettings"),
              [](QDialog *dialog) { save(dialog, QStringLiteral("comm-settings")); });
    window.openCommSettings();
    whenShown(QStringLiteral("ChangeHistory"),
              [](QDialog *dialog) { save(dialog, QStringLiteral("change-history")); });
    window.openChangeHistory();

    // The production station on two lines once a unit has passed on each,
    // against the sheet saved above: COM 1's unit, and a second on COM 2.
    {
        SimulatedUnit second(QStringLiteral("KTRA20"));
        QMap<int, QString> map = program.session->link.portMap();
        map[2] = second.device;
        program.session->link.setPortMap(map);
        ktv::ProductionRunDialog station(
            *program.session,
            {[] { return QString(); }, [] {}, [](const QString &) {}, window.reportFiles(),
             [](const ktv::CheckReport &, const std::function<void(const QString &)> &) {}},
            &window);
        station.sheetBox()->setText(program.dir.filePath(QStringLiteral("ktra20.json")));
        station.operatorBox()->setText(QStringLiteral("Ana"));
        station.stationBox()->setText(QStringLiteral("Bench 3"));
        station.portsBox()->setText(QStringLiteral("1, 2"));
        station.resize(900, 720);
        int removals = 0;
        QObject::connect(&station, &ktv::ProductionRunDialog::stateShown, &station,
                         [&station, &removals](const QString &text) {
                             if (text != QLatin1String("Remove the unit") || ++removals != 2)
                                 return;
                             save(&station, QStringLiteral("production-run"));
                             station.stop();
                         });
        QEventLoop ended;
        QObject::connect(&station, &ktv::ProductionRunDialog::runEnded, &ended, &QEventLoop::quit);
        QTimer::singleShot(120000, &ended, &QEventLoop::quit);
        station.show();
        station.start();
        ended.exec();
    }

    // Tools > Results with three days of a line and the charts drawn.
    {
        const QString journalPath = program.dir.filePath(QStringLiteral("line.sqlite"));
        recordLineDays(journalPath);
        ktv::ResultsWorker worker;
        ktv::ResultsWindow results(program.dir.filePath(QStringLiteral("config.qdr")), journalPath,
                                   worker, window.toolkit(), &window);
        results.show();
        QEventLoop loop;
        QObject::connect(results.charts(), &ktv::ResultsCharts::loaded, &loop, &QEventLoop::quit);
        loop.exec();
        save(&results, QStringLiteral("results-charts"));
        results.charts()->findChild<QTabWidget *>()->setCurrentIndex(1);
        save(&results, QStringLiteral("results-pareto"));
    }
    return 0;
}
