// Hard Limit at every moment: the real window on a simulated KTRA20, the
// button clicked in each of these states, five times each, and the time
// from the click (a mouse press and release posted to the window's queue)
// to the unit's receipt of the line's last byte (the unit's clock is
// CLOCK_MONOTONIC, as QElapsedTimer's): with nothing running, while
// a send round waits on a results server that takes the connection and
// never answers, during a Verify read-back, during Connect's scan, and
// during Find Units' sweep of every address; then the Production Run's
// Hard Limit, clicked and pressed (Alt+H) every 0.7 s while four lines check
// their units, once with the journal held by another program and once with
// a results server that takes the connection and never answers, the worst
// line's time for each press. Goal: under 100 ms for every click. Prints
// figures; it asserts nothing.

#include "SilentServer.h"
#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"

#include "store/Journal.h"
#include "store/ResultsOutbox.h"
#include "store/ResultsSetting.h"
#include "store/ResultsWorker.h"
#include "store/StoreConnection.h"
#include "ui/FindUnitsDialog.h"
#include "ui/ProductionRunDialog.h"
#include "ui/ResultsSender.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

using namespace ktv;
using namespace ktv::test;

namespace {

QTextStream out(stdout);
constexpr int Clicks = 5;
constexpr int StationPresses = 16;

double monotonicNow()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference() / 1000.0;
}

// Clicks the button as an operator's mouse does, every 200 ms while
// running() holds, up to `Clicks` times: a press and a release posted to
// the window's queue, so that each waits for whatever the window is busy
// with. The time runs from the posting to the unit's receipt of the line.
class Clicker
{
  public:
    Clicker(UnitOnLine &rig, std::function<QPushButton *()> button, std::function<bool()> running)
        : rig_(rig), button_(std::move(button)), running_(std::move(running)),
          before_(int(rig.unit.received().size()))
    {
        timer_.setInterval(200);
        QObject::connect(&timer_, &QTimer::timeout, [this] { click(); });
        timer_.start();
    }

    std::vector<double> times()
    {
        timer_.stop();
        rig_.unit.waitForLineCount(before_ + int(posted_.size()), 3000);
        std::vector<double> times;
        std::size_t next = 0;
        for (const ReceivedLine &line : rig_.unit.received().mid(before_))
            if (line.bytes.endsWith("H\r") && next < posted_.size())
                times.push_back((line.t - posted_[next++]) * 1000.0);
        return times;
    }

  private:
    void click()
    {
        QPushButton *stop = button_();
        if (!stop || !running_() || int(posted_.size()) >= Clicks)
            return;
        const QPoint centre = stop->rect().center();
        const QPoint global = stop->mapToGlobal(centre);
        posted_.push_back(monotonicNow());
        QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                          Qt::LeftButton, Qt::LeftButton,
                                                          Qt::NoModifier));
        QCoreApplication::postEvent(stop,
                                    new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    UnitOnLine &rig_;
    std::function<QPushButton *()> button_;
    std::function<bool()> running_;
    int before_ = 0;
    QTimer timer_;
    std::vector<double> posted_;
};

void waitWhile(const std::function<bool()> &busy, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (busy() && clock.elapsed() < limitMs)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

void report(const QString &state, std::vector<double> times)
{
    if (times.empty()) {
        out << state << ": no click measured\n";
        out.flush();
        return;
    }
    std::sort(times.begin(), times.end());
    out << QStringLiteral("Hard Limit %1: click to last byte median %2 ms, max %3 ms over %4 "
                          "clicks (goal < 100 ms)\n")
               .arg(state)
               .arg(times[times.size() / 2], 0, 'f', 1)
               .arg(times.back(), 0, 'f', 1)
               .arg(times.size());
    out.flush();
}

CheckReport waitingReport()
{
    CheckReport report;
    report.id = QUuid::createUuid();
    report.unit = {QStringLiteral("KTRA20"),
                   QStringLiteral("1.07"),
                   0,
                   9600,
                   QStringLiteral("/dev/ttyUSB0"),
                   {},
                   {}};
    report.station = QStringLiteral("Bench");
    report.started = QDateTime::currentDateTime();
    report.ended = report.started;
    report.verdict = CheckVerdict::Pass;
    return report;
}

// The Production Run on four lines, each a KTRA20 behind a link of its own,
// checking its unit (the window's fixed waits: the
// load and read-back take 8.5 s); Hard Limit pressed 0.7 s apart by mouse
// or Alt+H from the start until past the checks' ends, when the results are
// kept. Each press's time is the latest of its four lines.
std::vector<double> stationPresses(bool byKey, bool holdJournal, const QString &resultsSetting)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<UnitSimProcess>> units;
    QMap<int, QString> map;
    for (int port = 1; port <= 4; ++port) {
        map[port] = dir.filePath(QStringLiteral("line%1").arg(port));
        units.push_back(std::make_unique<UnitSimProcess>(
            unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), map[port]})));
        if (!units.back()->start())
            return {};
    }
    Workbench bench(map[1]);
    bench.link.setPortMap(map);
    QString problem;
    writeResultsSetting(bench.storePath, resultsSetting, &problem);
    const QString sheet = dir.filePath(QStringLiteral("unit.json"));
    QFile file(sheet);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(ktv::test::wire::ktra20Sheet(QStringLiteral("5200")));
    file.close();
    bench.window->setFileChooser([&](SheetFileUse) { return sheet; });
    std::unique_ptr<StoreConnection> other;
    std::unique_ptr<QSqlQuery> hold;
    if (holdJournal) {
        Journal::openForWriting(bench.journalPath, &problem);
        other =
            std::make_unique<StoreConnection>(bench.journalPath, StoreConnection::Mode::ReadWrite);
        hold = std::make_unique<QSqlQuery>(other->db());
        hold->exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    bench.window->show();
    std::vector<double> posted;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<ProductionRunDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!dialog->isRunning() && posted.empty()) {
            dialog->operatorBox()->setText(QStringLiteral("Bench"));
            dialog->sheetBox()->setText(sheet);
            dialog->portsBox()->setText(QStringLiteral("1, 2, 3, 4"));
            dialog->start();
            posted.push_back(-1); // started
            return;
        }
        if (int(posted.size()) > StationPresses) {
            dialog->stop();
            if (!dialog->isRunning())
                dialog->close();
            return;
        }
        posted.push_back(monotonicNow());
        QPushButton *stop = dialog->hardLimitButton();
        if (byKey) {
            QCoreApplication::postEvent(
                dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_H, Qt::AltModifier, "h"));
            QCoreApplication::postEvent(
                dialog, new QKeyEvent(QEvent::KeyRelease, Qt::Key_H, Qt::AltModifier, "h"));
            return;
        }
        const QPoint centre = stop->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                stop,
                new QMouseEvent(type, centre, stop->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
    });
    driver.start(700);
    bench.find<QAction>(QStringLiteral("mnuProductionRun"))->trigger();
    driver.stop();
    if (hold)
        hold->exec(QStringLiteral("COMMIT"));
    std::vector<double> times(std::max<std::size_t>(posted.size(), 1) - 1, 0.0);
    for (const auto &unit : units) {
        std::size_t next = 1;
        for (const ReceivedLine &line : unit->received()) {
            if (line.bytes != "@0H\r" || next >= posted.size() || line.t < posted[next])
                continue;
            times[next - 1] = std::max(times[next - 1], (line.t - posted[next]) * 1000.0);
            ++next;
        }
    }
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    { // Nothing running, then a send round waiting on a silent server.
        SilentServer silent;
        UnitOnLine rig(Model::KTRA20);
        Workbench bench(rig);
        QString problem;
        writeResultsSetting(bench.storePath, silent.setting(), &problem);
        bench.load();
        auto *sender = bench.window->findChild<ResultsSender *>(QStringLiteral("resultsSender"));
        auto *worker = bench.window->findChild<ResultsWorker *>(QStringLiteral("resultsWorker"));
        bench.window->show();
        auto button = [&] { return bench.panel(Model::KTRA20).motion[2]; };
        // The start-up round found nothing waiting: the line alone.
        waitWhile([&] { return worker->pending() > 0; }, 10000);
        {
            Clicker clicker(rig, button, [] { return true; });
            waitWhile([] { return true; }, 1300);
            report(QStringLiteral("with nothing running"), clicker.times());
        }
        ResultsOutbox(bench.journalPath).keep(waitingReport(), &problem);
        sender->sendWaiting();
        Clicker clicker(rig, button, [&] { return worker->pending() > 0; });
        waitWhile([&] { return worker->pending() > 0; }, 10000);
        report(QStringLiteral("while a send round waits on a silent server"), clicker.times());
    }

    { // Verify read-backs in their waits.
        UnitOnLine rig(Model::KTRA20);
        Workbench bench(rig);
        bench.load();
        bench.window->show();
        bool verifying = false;
        Clicker clicker(
            rig, [&] { return bench.panel(Model::KTRA20).motion[2]; }, [&] { return verifying; });
        for (int run = 0; run < 6; ++run) {
            verifying = true;
            bench.panel(Model::KTRA20).verify->click();
            verifying = false;
        }
        report(QStringLiteral("during Verify"), clicker.times());
    }

    { // Connect's scan of the line, the unit answering at 9600.
        UnitOnLine rig(Model::KTRA20);
        Workbench bench(rig);
        bench.load();
        bench.window->show();
        bool scanning = false;
        Clicker clicker(
            rig, [&] { return bench.panel(Model::KTRA20).motion[2]; }, [&] { return scanning; });
        auto *connectButton = bench.window->findChild<QPushButton *>(QStringLiteral("cmdConnect"));
        for (int run = 0; run < 3 && connectButton; ++run) {
            scanning = true;
            connectButton->click();
            scanning = false;
        }
        report(QStringLiteral("during Connect's scan"), clicker.times());
    }

    { // Find Units asking every address (two units answer the first question).
        UnitOnLine rig(Model::VELD30, 9600,
                       {QStringLiteral("--also-address"), QStringLiteral("7")});
        Workbench bench(rig);
        bench.load();
        bench.window->show();
        auto dialog = [&] {
            return bench.window->findChild<FindUnitsDialog *>(QStringLiteral("frmFindUnits"));
        };
        Clicker clicker(
            rig,
            [&] {
                return dialog() ? dialog()->findChild<QPushButton *>(QStringLiteral("cmdHardLimit"))
                                : nullptr;
            },
            [&] { return dialog() && dialog()->isVisible(); });
        QTimer::singleShot(2500, [&] {
            if (dialog())
                dialog()->reject();
        });
        bench.window->openFindUnits();
        report(QStringLiteral("during Find Units' sweep"), clicker.times());
    }

    for (bool byKey : {false, true}) {
        const QString how = byKey ? QStringLiteral("Alt+H") : QStringLiteral("click");
        report(QStringLiteral("in the Production Run, %1 during four lines' checks with the "
                              "journal held (worst line)")
                   .arg(how),
               stationPresses(byKey, true, QString()));
        SilentServer silent;
        report(QStringLiteral("in the Production Run, %1 during four lines' checks with a "
                              "silent results server (worst line)")
                   .arg(how),
               stationPresses(byKey, false, silent.setting()));
    }
    return 0;
}
