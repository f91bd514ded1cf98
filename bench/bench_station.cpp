// The production station (Tools > Production Run) on a line whose unit comes
// and goes: how soon a new unit is noticed, from its first answer to the
// station showing that it checks it (goal: within 1.5 s), over three units;
// and the program's CPU while the station waits with no unit on the line,
// over 10 s (goal: under 1 % of one core); and four lines with a KTRA20
// each against one line with one (goal: the four checked in at most 1.2
// times the time of the one). Prints figures and their goals; it asserts
// nothing.

#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "session/StationLine.h"
#include "ui/ProductionRunDialog.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <vector>

using namespace ktv;
using namespace ktv::test;

namespace {

QTextStream out(stdout);

// A KTRA20 sheet at its factory values but profile 1's max speed, 5200.
const QByteArray SheetText = ktv::test::wire::ktra20Sheet(QStringLiteral("5200"));

const int Rounds = 3;
const int IdleMs = 10000;

// CLOCK_MONOTONIC seconds, the clock of the simulated unit's record.
double monotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// User and system CPU seconds of this process so far.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Drives the station from its own signals: each "Waiting for a unit" puts
// the next unit on the line, each "Checking" is timed against the unit's
// first answer, each "Remove the unit" takes the unit off; after the last
// round the station waits with no unit while the CPU is measured.
class Driver
{
  public:
    Driver(UnitSimProcess &unit, const QString &sheet) : unit_(unit), sheet_(sheet) {}

    void watch()
    {
        QObject::connect(&find_, &QTimer::timeout, [this] {
            auto *dialog = qobject_cast<ProductionRunDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            find_.stop();
            dialog_ = dialog;
            dialog_->operatorBox()->setText(QStringLiteral("Bench"));
            dialog_->stationBox()->setText(QStringLiteral("Bench 1"));
            dialog_->sheetBox()->setText(sheet_);
            QObject::connect(dialog_, &ProductionRunDialog::stateShown, dialog_,
                             [this](const QString &text) { shown(text); });
            QTimer::singleShot(0, dialog_, [this] { dialog_->startButton()->click(); });
        });
        find_.start(20);
        // Given up on: the run is stopped and the dialog closed.
        QTimer::singleShot(120000, [this] {
            if (!dialog_)
                return;
            failed_ = true;
            out << "  gave up: the station never got to where it was expected\n";
            finish();
        });
    }

    std::vector<double> noticed;
    double cpuPercent = -1;
    bool failed() const { return failed_; }

  private:
    void shown(const QString &text)
    {
        if (text.startsWith(QLatin1String("Checking"))) {
            checkingAt_ = monotonicSeconds();
            return;
        }
        // Each step runs after the signal, outside the station's own call.
        if (text == QLatin1String("Waiting for a unit"))
            QTimer::singleShot(0, dialog_, [this] { waiting(); });
        else if (text == QLatin1String("Remove the unit"))
            QTimer::singleShot(0, dialog_, [this] { checked(); });
    }

    void waiting()
    {
        if (int(noticed.size()) < Rounds) {
            linesBefore_ = unit_.received().size();
            checkingAt_ = -1;
            if (!unit_.control("insert KTRA20 0")) {
                failed_ = true;
                out << "  the simulated unit did not take the insert\n";
                finish();
            }
            return;
        }
        if (cpuPercent >= 0 || measuring_)
            return;
        measuring_ = true;
        const double cpu = cpuSeconds();
        const double wall = monotonicSeconds();
        QTimer::singleShot(IdleMs, dialog_, [this, cpu, wall] {
            cpuPercent = 100.0 * (cpuSeconds() - cpu) / (monotonicSeconds() - wall);
            finish();
        });
    }

    void checked()
    {
        const QList<ReceivedLine> lines = unit_.received();
        double firstAnswer = -1;
        for (qsizetype i = linesBefore_; i < lines.size(); ++i) {
            if (lines[i].answered) {
                firstAnswer = lines[i].t;
                break;
            }
        }
        if (firstAnswer < 0 || checkingAt_ < 0) {
            failed_ = true;
            out << "  round " << noticed.size() + 1 << ": no answer or no \"Checking\" seen\n";
            finish();
            return;
        }
        noticed.push_back(checkingAt_ - firstAnswer);
        out << QStringLiteral("  unit %1: %2 s from its first answer to \"Checking\"\n")
                   .arg(noticed.size())
                   .arg(noticed.back(), 0, 'f', 3);
        out.flush();
        if (!unit_.control("remove")) {
            failed_ = true;
            out << "  the simulated unit did not take the remove\n";
            finish();
        }
    }

    void finish()
    {
        ProductionRunDialog *dialog = dialog_;
        if (!dialog)
            return;
        dialog_ = nullptr;
        QObject::disconnect(dialog, &ProductionRunDialog::stateShown, nullptr, nullptr);
        dialog->stop();
        // Once the run has ended the dialog closes.
        auto *closer = new QTimer(dialog);
        QObject::connect(closer, &QTimer::timeout, dialog, [dialog, closer] {
            if (dialog->isRunning())
                return;
            closer->stop();
            dialog->close();
        });
        closer->start(50);
    }

    UnitSimProcess &unit_;
    QString sheet_;
    QTimer find_;
    ProductionRunDialog *dialog_ = nullptr;
    qsizetype linesBefore_ = 0;
    double checkingAt_ = -1;
    bool measuring_ = false;
    bool failed_ = false;
};

// Counts the results of a line run without a window.
struct Results : StationView
{
    void showStationState(const QString &) override {}
    void showCheckProgress(const QString &) override {}
    void showLineProblem(const QString &) override {}
    void showResult(const CheckReport &report, const QString &) override
    {
        passed += report.verdict == CheckVerdict::Pass ? 1 : 0;
        ++count;
    }
    void askSerialNumber(const QString &) override {}
    void showUnitGone() override {}
    void showRunEnded() override {}
    int count = 0;
    int passed = 0;
};

// Seconds from the start of `lines` station lines, a KTRA20 waiting on
// each, to every unit's result; -1 when one did not come.
double checkOnLines(int lines, const QString &sheet)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<UnitSimProcess>> units;
    std::vector<std::unique_ptr<Results>> results;
    std::vector<std::unique_ptr<StationLine>> stations;
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(sheet, &problem);
    if (!request)
        return -1;
    request->load = true;
    request->operatorName = QStringLiteral("Bench");
    for (int i = 0; i < lines; ++i) {
        const QString link = dir.filePath(QStringLiteral("line%1").arg(i + 1));
        units.push_back(std::make_unique<UnitSimProcess>(
            unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), link})));
        if (!units.back()->start())
            return -1;
        StationLineSetup setup;
        setup.comPort = i + 1;
        setup.device = link;
        setup.request = *request;
        results.push_back(std::make_unique<Results>());
        stations.push_back(std::make_unique<StationLine>(dir.filePath(QStringLiteral("config.qdr")),
                                                         setup, *results.back()));
    }
    QElapsedTimer clock;
    clock.start();
    for (const auto &station : stations)
        station->start();
    auto allIn = [&] {
        return std::all_of(results.begin(), results.end(),
                           [](const auto &r) { return r->count > 0; });
    };
    while (!allIn() && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = double(clock.elapsed()) / 1000.0;
    for (const auto &station : stations)
        station->stop();
    return allIn() ? seconds : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString line = dir.filePath(QStringLiteral("line"));
    UnitSimProcess unit(unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), line}));
    if (!unit.start()) {
        out << "The simulated unit did not start.\n";
        return 1;
    }
    Workbench bench(line);
    const QString sheet = bench.dir.filePath(QStringLiteral("unit.json"));
    QFile file(sheet);
    if (!file.open(QIODevice::WriteOnly) || file.write(SheetText) != SheetText.size())
        return 1;
    file.close();
    bench.window->setFileChooser([&](SheetFileUse) { return sheet; });
    bench.load();
    bench.window->show();
    // The station starts with nobody on the line.
    if (!unit.control("remove")) {
        out << "The simulated unit did not take the remove.\n";
        return 1;
    }

    out << "Production station, KTRA20 at address 0 put on the line while it waits:\n";
    out.flush();
    Driver driver(unit, sheet);
    driver.watch();
    bench.find<QAction>(QStringLiteral("mnuProductionRun"))->trigger();

    if (driver.failed() || driver.noticed.size() < std::size_t(Rounds) || driver.cpuPercent < 0)
        return 1;
    out << "Station lines side by side, a KTRA20 on each, loaded and checked:\n";
    out.flush();
    const double one = checkOnLines(1, sheet);
    const double four = checkOnLines(4, sheet);
    if (one < 0 || four < 0) {
        out << "  a line did not check its unit\n";
        return 1;
    }
    out << QStringLiteral("  one line %1 s, four lines %2 s: %3 times (goal at most 1.2)\n")
               .arg(one, 0, 'f', 1)
               .arg(four, 0, 'f', 1)
               .arg(four / one, 0, 'f', 2);
    out << QStringLiteral("  median %1 s (goal within 1.5 s)\n")
               .arg(median(driver.noticed), 0, 'f', 3);
    out << QStringLiteral("Station waiting with no unit, CPU over %1 s: %2 % of one core "
                          "(goal under 1 %)\n")
               .arg(IdleMs / 1000)
               .arg(driver.cpuPercent, 0, 'f', 2);
    return 0;
}
