// The production station as the operator meets it: units checked one after
// another against a sheet (one passes, one keeps nothing, one is pulled with
// its adapter during the load), the counts, the table and the reports; Stop,
// Esc and the close box between units; and Compare's own Export and Print.

#include "UnitSimProcess.h"
#include "Wire.h"
#include "Workbench.h"
#include "store/CheckResults.h"
#include "store/Journal.h"
#include "store/ResultsSetting.h"
#include "store/SerialSetting.h"
#include "store/StationSetting.h"
#include "store/StoreConnection.h"

#include "ui/ProductionRunDialog.h"
#include "ui/SheetCompareDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

// A KTRA20 sheet at its factory values but profile 1's max speed, 5200.
const QByteArray SheetText = ktv::test::wire::ktra20Sheet(QStringLiteral("5200"));

const QByteArray Probe = StationProbe;
const Lines Writes = ktra20SheetWrites("5200");
const Lines OneCheck = stationCheck("5200");
// Stop All's Hard Limit, the unit at address 0.
const QByteArray HardLimit = "@0H\r";

// Steps that run in order, each once its condition holds, from a timer that
// keeps firing inside the station's waits. A step's action may wait itself.
class Script
{
  public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;
    void then(Condition condition, Action action) { steps_.push_back({condition, action}); }
    void run()
    {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (busy_ || next_ >= steps_.size())
                return;
            // Given up on: whatever modal window is up is closed (a running
            // station takes the first close as Stop).
            if (clock_.elapsed() > 90000) {
                if (QWidget *modal = QApplication::activeModalWidget()) {
                    qWarning("step %d never came", int(next_));
                    modal->close();
                } else {
                    timer_.stop();
                }
                return;
            }
            busy_ = true;
            if (steps_[next_].first())
                steps_[next_++].second();
            busy_ = false;
        });
        timer_.start(20);
    }
    bool finished() const { return next_ == steps_.size(); }

  private:
    std::vector<std::pair<Condition, Action>> steps_;
    std::size_t next_ = 0;
    bool busy_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

ProductionRunDialog *shownStation()
{
    auto *dialog = qobject_cast<ProductionRunDialog *>(QApplication::activeModalWidget());
    return dialog && dialog->isVisible() && dialog->isActiveWindow() ? dialog : nullptr;
}

QStringList listed(QListWidget *list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

// "#|Unit|Revision|Address|Verdict|Problem" of each row; time and seconds vary.
QStringList tableRows(QTableView *table)
{
    QStringList rows;
    const QAbstractItemModel *model = table->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column : {0, 3, 4, 5, 6, 8})
            cells << model->index(row, column).data().toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

QString run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The program with a unit on a line reached through a link that outlives
// the unit behind it, as a COM number keeps its name when the adapter goes.
struct Station
{
    explicit Station(const QStringList &extraArgs = {})
        : line(dir.filePath(QStringLiteral("line"))),
          unit(unitOf(Model::KTRA20, 9600, QStringList{QStringLiteral("--link"), line} + extraArgs))
    {
    }
    bool start()
    {
        if (!unit.start())
            return false;
        bench = std::make_unique<Workbench>(line);
        sheet = bench->dir.filePath(QStringLiteral("unit.json"));
        QFile file(sheet);
        if (!file.open(QIODevice::WriteOnly) || file.write(SheetText) != SheetText.size())
            return false;
        file.close();
        bench->window->setFileChooser([this](SheetFileUse use) {
            return use == SheetFileUse::Export  ? bench->dir.filePath(QStringLiteral("run.csv"))
                   : use == SheetFileUse::Print ? bench->dir.filePath(QStringLiteral("run.pdf"))
                                                : sheet;
        });
        bench->load();
        unit.clearRecord();
        bench->window->show();
        return bench->state.UnitConnected && QTest::qWaitForWindowActive(bench->window.get());
    }
    // Opens the station, fills it in and starts the run; the script goes on
    // from there.
    void open(Script &script)
    {
        script.then([] { return shownStation() != nullptr; },
                    [this] {
                        dialog = shownStation();
                        QTest::keyClicks(dialog->operatorBox(), QStringLiteral("Ana"));
                        dialog->stationBox()->setText(QStringLiteral("Bench 3"));
                        dialog->sheetBox()->setText(sheet);
                        QTimer::singleShot(0, dialog, [this] {
                            QTest::mouseClick(dialog->startButton(), Qt::LeftButton);
                        });
                    });
    }
    bool showing(const QString &state, int reports) const
    {
        return dialog && dialog->stateLabel()->text() == state &&
               int(dialog->reports().size()) == reports;
    }
    void trigger() { bench->find<QAction>(QStringLiteral("mnuProductionRun"))->trigger(); }
    // Opens the station on the lines given at the fast pace; more fills in
    // the rest, then Start (unless told not to).
    void begin(Script &script, const QString &ports, std::function<void()> more = {},
               bool start = true);
    // Esc once the unit is to be removed (Stop All), again once it has stopped (closes).
    void stopAndClose(Script &script);

    QTemporaryDir dir;
    QString line;
    UnitSimProcess unit;
    std::unique_ptr<Workbench> bench;
    QString sheet;
    ProductionRunDialog *dialog = nullptr;
};

void Station::begin(Script &script, const QString &ports, std::function<void()> more, bool start)
{
    script.then([] { return shownStation() != nullptr; },
                [this, ports, more, start] {
                    dialog = shownStation();
                    dialog->operatorBox()->setText(QStringLiteral("Ana"));
                    dialog->sheetBox()->setText(sheet);
                    dialog->portsBox()->setText(ports);
                    dialog->paceBox()->setCurrentIndex(
                        dialog->paceBox()->findData(int(Pace::Reply)));
                    if (more)
                        more();
                    if (start)
                        QTest::mouseClick(dialog->startButton(), Qt::LeftButton);
                });
}

void Station::stopAndClose(Script &script)
{
    script.then([this] { return showing("Remove the unit", 1); },
                [this] { QTest::keyClick(dialog, Qt::Key_Escape); });
    script.then([this] { return !dialog->isRunning(); },
                [this] { QTest::keyClick(dialog, Qt::Key_Escape); });
}

struct Seen
{
    QString verdict;
    QStringList differences;
};

Seen seen(ProductionRunDialog *dialog)
{
    return {dialog->verdictLabel()->text(), listed(dialog->differencesList())};
}

// A second unit on COM 2, behind a link of its own.
struct SecondLine
{
    explicit SecondLine(Station &st)
        : path(st.dir.filePath(QStringLiteral("line2"))),
          unit(unitOf(Model::KTRA20, 9600, {QStringLiteral("--link"), path}))
    {
        QMap<int, QString> map = st.bench->link.portMap();
        map[2] = path;
        st.bench->link.setPortMap(map);
    }
    QString path;
    UnitSimProcess unit;
};

// A check at the pace that ends each wait with the unit's reply.
const Lines FastCheck = stationReplyCheck("5200");

// What reached the unit after its check, the presence questions left out
// (they go once a second, before or after a stop); none when the check is
// not whole first.
std::optional<Lines> afterCheck(const Lines &wire, const Lines &check)
{
    const Lines lines = withProbesCollapsed(wire);
    if (lines.mid(0, check.size()) != check)
        return std::nullopt;
    Lines after;
    for (const QByteArray &line : lines.mid(check.size())) {
        if (line != Probe)
            after << line;
    }
    return after;
}

} // namespace

class TestStation : public QObject
{
    Q_OBJECT
  private slots:
    void threeUnitsInARow();
    void stopsBetweenUnits_data();
    void stopsBetweenUnits();
    void secondStartIsANewRun();
    void twoLinesEachWithItsStop();
    void programEndsDuringALoad();
    void startRefused_data();
    void startRefused();
    void serialNumberBeforeTheCheck();
    void compareExportsAndPrints();
    void reportToAFileThatCannotBeWritten_data();
    void reportToAFileThatCannotBeWritten();
    void scansGoToTheLinesInTheOrderTheyAsked_data();
    void scansGoToTheLinesInTheOrderTheyAsked();
    void hardLimitAtOnceWhileTheJournalIsHeld_data();
    void hardLimitAtOnceWhileTheJournalIsHeld();
    void fitsTheScreenWithFourLines_data();
    void fitsTheScreenWithFourLines();
};

void TestStation::threeUnitsInARow()
{
    Station st;
    QVERIFY(st.start());
    std::unique_ptr<UnitSimProcess> pulled; // the third unit, with its adapter
    QList<Seen> units;
    Lines firstLine;
    QString waitingWithoutPort;

    Script script;
    st.open(script);
    script.then([&] { return st.showing("Remove the unit", 1); },
                [&] {
                    units << seen(st.dialog);
                    QVERIFY(st.unit.control("remove"));
                });
    QString verdictWhileWaiting = "(not seen)";
    script.then([&] { return st.showing("Waiting for a unit", 1); },
                [&] {
                    verdictWhileWaiting = st.dialog->verdictLabel()->text();
                    QVERIFY(st.unit.control("insert KTRA20 0 keep-nothing"));
                });
    script.then([&] { return st.showing("Remove the unit", 2); },
                [&] {
                    units << seen(st.dialog);
                    QVERIFY(st.unit.control("remove"));
                });
    // The adapter goes too; the station waits for the port to come back.
    script.then([&] { return st.showing("Waiting for a unit", 2); },
                [&] {
                    firstLine = st.unit.receivedBytes();
                    st.unit.terminate();
                });
    script.then([&] { return !st.dialog->portLabel()->text().isEmpty(); },
                [&] {
                    waitingWithoutPort = st.dialog->portLabel()->text();
                    // The next unit's adapter vanishes after the question and five writes.
                    pulled = std::make_unique<UnitSimProcess>(
                        unitOf(Model::KTRA20, 9600,
                               {QStringLiteral("--link"), st.line, QStringLiteral("--vanish-after"),
                                QStringLiteral("6")}));
                    QVERIFY(pulled->start());
                });
    // Pulled with its unit: the verdict stays after the unit counts as gone.
    QStringList pulledShows;
    script.then([&] { return int(st.dialog->reports().size()) == 3; },
                [&] {
                    QTest::qWait(3500);
                    pulledShows << st.dialog->verdictSummary()->text()
                                << st.dialog->stateLabel()->text();
                    units << seen(st.dialog);
                    QTest::mouseClick(st.dialog->stopButton(), Qt::LeftButton);
                });
    QString stateAfter;
    QString countsAfter;
    QStringList rowsAfter;
    double firstSeconds = 0;
    script.then(
        [&] { return !st.dialog->isRunning(); },
        [&] {
            stateAfter = st.dialog->stateLabel()->text();
            countsAfter = st.dialog->countsLabel()->text();
            rowsAfter = tableRows(st.dialog->resultsTable());
            firstSeconds = st.dialog->resultsTable()->model()->index(0, 7).data().toDouble();
            QTest::mouseClick(st.dialog->findChild<QPushButton *>("cmdExport"), Qt::LeftButton);
            QTest::mouseClick(st.dialog->findChild<QPushButton *>("cmdPrint"), Qt::LeftButton);
            QTest::keyClick(st.dialog, Qt::Key_Escape);
        });
    script.run();
    st.trigger();
    QVERIFY(script.finished());

    QCOMPARE(units.size(), 3);
    QCOMPARE(units[0].verdict, QStringLiteral("PASS"));
    QCOMPARE(units[0].differences, QStringList());
    QCOMPARE(units[1].verdict, QStringLiteral("FAIL"));
    QCOMPARE(units[1].differences,
             QStringList{"Profile 1, Max Speed: sheet 5200, unit 5000 (not kept)"});
    QCOMPARE(units[2].verdict, QStringLiteral("FAIL"));
    QCOMPARE(pulledShows, (QStringList{"COM 1: FAIL", "Adapter pulled, put it back"}));
    QCOMPARE(units[2].differences.value(0), QStringLiteral("line lost after 5 of 14 values"));
    QCOMPARE(units[2].differences.size(), 15);
    QCOMPARE(stateAfter, QStringLiteral("Run stopped"));
    // The verdict goes with its unit.
    QCOMPARE(verdictWhileWaiting, QString());
    // Each unit's result is kept in the journal, newest first.
    QString problem;
    QStringList kept;
    for (const CheckReport &report : CheckResults(st.bench->journalPath).list({}, &problem))
        kept << checkVerdictText(report.verdict);
    QCOMPARE(kept, (QStringList{"fail", "fail", "pass"}));
    QVERIFY2(countsAfter.startsWith("Passed 1    Failed 2    Total 3    Last unit "),
             qPrintable(countsAfter));
    QCOMPARE(rowsAfter,
             (QStringList{"1|KTRA20|1.07|0|PASS|", "2|KTRA20|1.07|0|FAIL|Profile 1, Max Speed",
                          "3|KTRA20|1.07|0|FAIL|line lost after 5 of 14 values"}));
    // Fourteen writes 0.5 s apart take their time.
    QVERIFY2(firstSeconds >= 7.0, qPrintable(QString::number(firstSeconds)));
    QVERIFY2(
        waitingWithoutPort.startsWith(QStringLiteral("COM 1 (%1) does not open: ").arg(st.line)),
        qPrintable(waitingWithoutPort));

    // The wire: each unit asked for, loaded and read back; the keep-nothing
    // unit, on the line within seconds of the first, read once (it does not
    // hold the sheet), then the same; the pulled one got the question and
    // five values.
    QCOMPARE(withProbesCollapsed(firstLine),
             OneCheck + Lines{Probe} + Ktra20SheetQueries + OneCheck.mid(1) + Lines{Probe});
    QCOMPARE(pulled->receivedBytes(), Lines{Probe} + Writes.mid(0, 5));
    // No more than one question a second.
    const QList<ReceivedLine> lines = st.unit.received();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].bytes == Probe && lines[i - 1].bytes == Probe)
            QVERIFY2(lines[i].t - lines[i - 1].t >= 0.95, qPrintable(QString::number(i)));
    }
    // No box held the run when the adapter went: the line's panel said it.
    QCOMPARE(st.bench->recorder.messages.size(), 0);

    // Export: the run's table under the station, operator and sheet.
    const QList<QByteArray> csv = writtenFile(st.bench->dir.filePath("run.csv")).split('\n');
    const QByteArray sha = QCryptographicHash::hash(SheetText, QCryptographicHash::Sha256).toHex();
    QCOMPARE(csv.mid(0, 4),
             (QList<QByteArray>{"Station,Bench 3\r", "Operator,Ana\r", "Sheet,unit.json\r",
                                "Sheet SHA-256," + sha + "\r"}));
    QCOMPARE(
        csv.mid(5, 5),
        (QList<QByteArray>{"Passed,1\r", "Failed,2\r", "Total,3\r", "\r",
                           "#,Time,Serial,Unit,Revision,Address,Verdict,Seconds,Problem,Line\r"}));
    QCOMPARE(csv.size(), 14); // three rows and the empty piece after the last line end
    QVERIFY2(QRegularExpression("^3,\\d\\d:\\d\\d:\\d\\d,,KTRA20,1\\.07,0,FAIL,\\d+\\.\\d,"
                                "line lost after 5 of 14 values,COM 1\r$")
                 .match(QString::fromUtf8(csv[12]))
                 .hasMatch(),
             csv[12].constData());

    // Print: a page per unit, each with its verdict and values.
    const QString pdf = st.bench->dir.filePath("run.pdf");
    QVERIFY(!writtenFile(pdf).isEmpty());
    QVERIFY(run("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+3\\n")));
    const QString text = run("pdftotext", {"-layout", pdf, "-"});
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), 3);
    QVERIFY(pages[0].contains("PASS") && !pages[0].contains("FAIL"));
    QVERIFY2(
        pages[1].contains(QRegularExpression("Profile 1, Max Speed\\s+5200\\s+5000\\s+not kept")),
        qPrintable(pages[1]));
    QVERIFY(pages[2].contains("line lost after 5 of 14 values"));
    QVERIFY(pages[2].contains(sha));
    QVERIFY(pages[2].contains("Bench 3") && pages[2].contains("Ana"));
}

void TestStation::stopsBetweenUnits_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("duringCheck");
    QTest::newRow("Stop while the unit is to be removed") << "Stop" << false;
    QTest::newRow("Esc while the unit is to be removed") << "Esc" << false;
    QTest::newRow("close box while the unit is to be removed") << "close" << false;
    QTest::newRow("Stop during the load lets the check end first") << "Stop" << true;
}

void TestStation::stopsBetweenUnits()
{
    QFETCH(QString, how);
    QFETCH(bool, duringCheck);
    Station st;
    QVERIFY(st.start());
    qsizetype linesAtStop = -1;
    QString stateAfter;
    QStringList rowsAfter;
    int writesAtStop = 0;

    Script script;
    st.open(script);
    script.then(
        [&] {
            return duringCheck ? st.unit.receivedBytes().contains(Writes[2])
                               : st.showing("Remove the unit", 1);
        },
        [&] {
            writesAtStop = int(st.unit.receivedBytes().size());
            if (how == "Stop")
                QTest::mouseClick(st.dialog->stopButton(), Qt::LeftButton);
            else if (how == "Esc")
                QTest::keyClick(st.dialog, Qt::Key_Escape);
            else
                st.dialog->close();
        });
    script.then([&] { return !st.dialog->isRunning(); },
                [&] {
                    linesAtStop = st.unit.receivedBytes().size();
                    stateAfter =
                        st.dialog->stateLabel()->text() + "|" + st.dialog->verdictSummary()->text();
                    rowsAfter = tableRows(st.dialog->resultsTable());
                    // A while later nothing more has gone out, and the dialog
                    // is still up with the run's result; a second Esc closes it.
                    QVERIFY(!st.unit.waitForLineCount(int(linesAtStop) + 1, 1500));
                    QVERIFY(st.dialog->isVisible());
                    QTest::keyClick(st.dialog, Qt::Key_Escape);
                });
    script.run();
    st.trigger();
    QVERIFY(script.finished());

    QVERIFY(writesAtStop > 0);
    // The unit's verdict stays while it is on the line.
    QCOMPARE(stateAfter, QStringLiteral("Run stopped|COM 1: PASS"));
    QCOMPARE(st.unit.receivedBytes().size(), linesAtStop);
    const Lines wire = withProbesCollapsed(st.unit.receivedBytes());
    // Hard Limit at once, then the check under way to its end.
    Lines expected = OneCheck + Lines{Probe, HardLimit};
    if (duringCheck) {
        expected = OneCheck;
        expected.insert(expected.indexOf(Writes[2]) + 1, HardLimit);
    }
    QCOMPARE(wire, expected);
    QCOMPARE(rowsAfter, QStringList{"1|KTRA20|1.07|0|PASS|"});
    QCOMPARE(st.bench->recorder.messages.size(), 0);
    QVERIFY(!QFile::exists(st.bench->dir.filePath("run.csv")));
}

void TestStation::secondStartIsANewRun()
{
    Station st;
    QVERIFY(st.start());
    QList<QStringList> rows;
    Script script;
    st.open(script);
    script.then([&] { return st.showing("Remove the unit", 1); },
                [&] { QTest::mouseClick(st.dialog->stopButton(), Qt::LeftButton); });
    // The next run is another operator's; its first unit is of another
    // model, refused: neither passed nor failed.
    QString verdict;
    QString counts;
    script.then([&] { return !st.dialog->isRunning(); },
                [&] {
                    rows << tableRows(st.dialog->resultsTable());
                    QVERIFY(st.unit.control("insert VELD30 0"));
                    st.dialog->operatorBox()->setText(QStringLiteral("Ben"));
                    QTest::mouseClick(st.dialog->startButton(), Qt::LeftButton);
                });
    script.then([&] { return st.showing("Remove the unit", 1); },
                [&] {
                    verdict = st.dialog->verdictLabel()->text();
                    counts = st.dialog->countsLabel()->text();
                    QTest::keyClick(st.dialog, Qt::Key_Escape);
                });
    script.then([&] { return !st.dialog->isRunning(); },
                [&] {
                    rows << tableRows(st.dialog->resultsTable());
                    QTest::mouseClick(st.dialog->findChild<QPushButton *>("cmdExport"),
                                      Qt::LeftButton);
                    QTest::keyClick(st.dialog, Qt::Key_Escape);
                });
    script.run();
    st.trigger();
    QVERIFY(script.finished());

    QCOMPARE(verdict, QStringLiteral("REFUSED"));
    QCOMPARE(counts, QStringLiteral("Passed 0    Failed 0    Refused 1    Total 0"));
    QCOMPARE(rows.value(0), QStringList{"1|KTRA20|1.07|0|PASS|"});
    QCOMPARE(rows.value(1).size(), 1);
    QVERIFY2(rows.value(1).value(0).startsWith("1|VELD30|1.07|0|REFUSED|"),
             qPrintable(rows.value(1).join('\n')));
    const QList<QByteArray> csv = writtenFile(st.bench->dir.filePath("run.csv")).split('\n');
    QCOMPARE(csv.value(1), QByteArray("Operator,Ben\r"));
    QCOMPARE(csv.mid(5, 4),
             (QList<QByteArray>{"Passed,0\r", "Failed,0\r", "Refused,1\r", "Total,0\r"}));
    QCOMPARE(csv.size(), 13); // one row
    QString problem;
    QStringList operators;
    for (const CheckReport &report : CheckResults(st.bench->journalPath).list({}, &problem))
        operators << report.operatorName;
    QCOMPARE(operators, QStringList{"Ana"}); // a refused unit is not kept
    QCOMPARE(afterCheck(st.unit.receivedBytes(), OneCheck), (Lines{HardLimit, HardLimit}));
    QCOMPARE(st.bench->recorder.messages.size(), 0);
}

void TestStation::twoLinesEachWithItsStop()
{
    Station st;
    QVERIFY(st.start());
    SecondLine line2(st);
    UnitSimProcess &second = line2.unit;
    QVERIFY(second.start());
    // A results server that refuses: each line's result is kept on the
    // bench, and each line's panel says so.
    QString problem;
    QVERIFY(writeResultsSetting(st.bench->storePath,
                                QStringLiteral("host=127.0.0.1 port=1 dbname=plant user=ktv"),
                                &problem));
    QStringList kept;
    QStringList statesAfterFirstStop;
    QStringList rows;
    auto bothShow = [&](const char *first, const char *other) {
        return st.dialog && st.dialog->lineCount() == 2 &&
               st.dialog->stateLabel(0)->text() == first &&
               st.dialog->stateLabel(1)->text() == other;
    };
    Script script;
    script.then([] { return shownStation() != nullptr; },
                [&] {
                    st.dialog = shownStation();
                    st.dialog->operatorBox()->setText(QStringLiteral("Ana"));
                    st.dialog->sheetBox()->setText(st.sheet);
                    st.dialog->portsBox()->setText(QStringLiteral("1, 2"));
                    // Before Start too Hard Limit reaches every line shown.
                    QTest::mouseClick(st.dialog->hardLimitButton(), Qt::LeftButton);
                    QVERIFY(st.unit.waitForLineCount(1) && second.waitForLineCount(1));
                    QTest::mouseClick(st.dialog->startButton(), Qt::LeftButton);
                });
    script.then([&] { return bothShow("Remove the unit", "Remove the unit"); },
                [&] { QTest::mouseClick(st.dialog->lineStopButton(0), Qt::LeftButton); });
    // COM 1 has stopped; COM 2 goes on to its next unit.
    script.then([&] { return bothShow("Run stopped", "Remove the unit"); },
                [&] {
                    statesAfterFirstStop << QString::number(st.dialog->isRunning());
                    QVERIFY(second.control("remove"));
                });
    script.then([&] { return bothShow("Run stopped", "Waiting for a unit"); },
                [&] { QTest::mouseClick(st.dialog->stopButton(), Qt::LeftButton); });
    script.then(
        [&] {
            return !st.dialog->isRunning() && !st.dialog->keptLabel(0)->text().isEmpty() &&
                   !st.dialog->keptLabel(1)->text().isEmpty();
        },
        [&] {
            rows = tableRows(st.dialog->resultsTable());
            kept = {st.dialog->keptLabel(0)->text(), st.dialog->keptLabel(1)->text()};
            QTest::keyClick(st.dialog, Qt::Key_Escape);
        });
    script.run();
    st.trigger();
    QVERIFY(script.finished());

    QCOMPARE(statesAfterFirstStop, QStringList{"1"});
    const QRegularExpression keptHere(
        "^[12] results? kept on this bench until 127\\.0\\.0\\.1:1 answers\\. The results "
        "database on 127\\.0\\.0\\.1:1 cannot be reached: ");
    for (const QString &text : kept)
        QVERIFY2(keptHere.match(text).hasMatch(), qPrintable(text));
    QCOMPARE(CheckResults(st.bench->journalPath).waiting(&problem).size(), std::size_t(2));
    rows.sort();
    QCOMPARE(rows, (QStringList{"1|KTRA20|1.07|0|PASS|", "2|KTRA20|1.07|0|PASS|"}));
    // Stop All's Hard Limit reaches both lines, the one stopped before too.
    for (const Lines &wire : {st.unit.receivedBytes(), second.receivedBytes()}) {
        QCOMPARE(wire.value(0), HardLimit);
        QCOMPARE(afterCheck(wire.mid(1), OneCheck), Lines{HardLimit});
    }
    QCOMPARE(st.bench->recorder.messages.size(), 0);
}

// Closing the main window ends the program at once, the station's lines
// too: nothing more goes out, nothing is kept and no box shows.
void TestStation::programEndsDuringALoad()
{
    Station st;
    QVERIFY(st.start());
    QElapsedTimer closed;
    Script script;
    st.open(script);
    script.then([&] { return st.unit.receivedBytes().contains(Writes[2]); },
                [&] {
                    closed.start();
                    st.bench->window->close();
                });
    script.run();
    st.trigger();
    QVERIFY(script.finished());
    QVERIFY(closed.isValid());
    QVERIFY2(closed.elapsed() < 1000, qPrintable(QString::number(closed.elapsed())));
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    QTest::qWait(600);
    const QList<ReceivedLine> heard = st.unit.received();
    const double closedAt = double(closed.msecsSinceReference()) / 1000.0;
    // Nothing after the close: a load's next line would come 0.5 s later; the
    // unit's own clock may note a line a little after it was written.
    for (const ReceivedLine &line : heard)
        QVERIFY2(line.t < closedAt + 0.25, line.bytes.constData());
    QVERIFY(heard.size() < 8);
    QString problem;
    QCOMPARE(CheckResults(st.bench->journalPath).list({}, &problem).size(), std::size_t(0));
    QCOMPARE(st.bench->recorder.messages.size(), 0);
}

void TestStation::startRefused_data()
{
    QTest::addColumn<QString>("operatorName");
    QTest::addColumn<QString>("ports"); // COM 1 is the unit's line, COM 2 a port that is not there
    QTest::addColumn<QString>("pattern");  // serial numbers asked when set
    QTest::addColumn<QByteArray>("sheet"); // empty: one the unit holds
    // {dir}: the test's folder. A message that ends in a line break goes on
    // with the ports this system has and what to do.
    QTest::addColumn<QString>("message");
    QTest::newRow("empty operator")
        << "  "
        << "1" << QString() << QByteArray() << "Enter the operator's name first.";
    QTest::newRow("a COM port that is no number")
        << "Ana"
        << "1, x" << QString() << QByteArray()
        << "Give each line's COM port as a number, for example 1, 2.";
    QTest::newRow("a serial number pattern that is no regular expression")
        << "Ana"
        << "1"
        << "^SN-(" << QByteArray()
        << "The serial number pattern ^SN-( is not a regular expression: missing closing "
           "parenthesis";
    QTest::newRow("a sheet its model refuses")
        << "Ana"
        << "1" << QString() << ktra20Sheet(QStringLiteral("60000"))
        << "Profile 1, Max Speed: Waring: The Max Speed upper limit is 50,000";
    QTest::newRow("a port that does not open")
        << "Ana"
        << "1, 2" << QString() << QByteArray()
        << "COM 2 ({dir}/none) does not open: No such file or directory\n"
           "Cause: no such device. {dir}/none is not there: the adapter is unplugged, or there "
           "never was a port by that name.\n";
}

void TestStation::startRefused()
{
    QFETCH(QString, operatorName);
    QFETCH(QString, ports);
    QFETCH(QString, pattern);
    QFETCH(QByteArray, sheet);
    QFETCH(QString, message);
    Station st;
    QVERIFY(st.start());
    const QString none = st.dir.filePath(QStringLiteral("none"));
    QMap<int, QString> map = st.bench->link.portMap();
    map[2] = none;
    st.bench->link.setPortMap(map);
    if (!sheet.isEmpty()) {
        QFile file(st.sheet);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(sheet), sheet.size());
    }
    bool runningAfter = true;
    Script script;
    script.then([] { return shownStation() != nullptr; },
                [&] {
                    st.dialog = shownStation();
                    st.dialog->sheetBox()->setText(st.sheet);
                    st.dialog->operatorBox()->setText(operatorName);
                    st.dialog->portsBox()->setText(ports);
                    st.dialog->askSerialBox()->setChecked(!pattern.isEmpty());
                    st.dialog->serialPatternBox()->setText(pattern);
                    QTest::mouseClick(st.dialog->startButton(), Qt::LeftButton);
                    runningAfter = st.dialog->isRunning();
                    QTest::keyClick(st.dialog, Qt::Key_Escape);
                });
    script.run();
    st.trigger();
    QVERIFY(script.finished());
    QVERIFY(!runningAfter);
    message.replace(QStringLiteral("{dir}"), st.dir.path());
    const QStringList said = st.bench->recorder.texts();
    if (message.endsWith(QLatin1Char('\n'))) {
        QCOMPARE(said.size(), 1);
        QCOMPARE(said.first().left(message.size()), message);
    } else {
        QCOMPARE(said, QStringList{message});
    }
    // Nothing reached the unit, the journal or the store, and the window
    // keeps its unit.
    QVERIFY(!st.unit.waitForLineCount(1, 1500));
    QVERIFY(st.bench->state.UnitConnected);
    QVERIFY(!readStationSetting(st.bench->storePath));
    QString problem;
    QCOMPARE(CheckResults(st.bench->journalPath).list({}, &problem).size(), std::size_t(0));
    QCOMPARE(problem, QString());
}

// The station's setting asks each unit's number: one that does not fit is
// refused on the line's panel and nothing is written; one that fits goes
// with the unit's result into the table, the CSV and the journal.
void TestStation::serialNumberBeforeTheCheck()
{
    Station st;
    QVERIFY(st.start());
    QString problem;
    // The station's setting as the store had it; the pattern changed at Start.
    QVERIFY2(writeSerialSetting(st.bench->storePath, {true, "SN-.*"}, &problem),
             qPrintable(problem));
    QString settingShown;
    bool boxFocused = false;
    QString refusal;
    QString stateAfterRefusal;
    Lines wireBeforeFit;
    qsizetype questionsAtRefusal = 0;
    Script script;
    script.then([] { return shownStation() != nullptr; },
                [&] {
                    settingShown = QStringLiteral("%1 %2").arg(
                        shownStation()->askSerialBox()->isChecked() ? "ask" : "no",
                        shownStation()->serialPatternBox()->text());
                    shownStation()->serialPatternBox()->setText(R"(^SN-\d{4}$)");
                    shownStation()->serialExampleBox()->setText("SN-0001");
                });
    st.open(script);
    auto scan = [&](const QString &serial) {
        QTest::keyClicks(st.dialog->scanBox(), serial);
        QTest::keyClick(st.dialog->scanBox(), Qt::Key_Return);
    };
    script.then(
        [&] {
            return st.dialog->stateLabel()->text() == "Scan the serial number for COM 1" &&
                   st.dialog->scanLabel()->text() == "The next scan goes to COM 1.";
        },
        [&] {
            boxFocused = st.dialog->scanBox()->hasFocus();
            scan("SN-7");
        });
    script.then([&] { return !st.dialog->serialLabel()->text().isEmpty(); },
                [&] {
                    refusal = st.dialog->serialLabel()->text();
                    stateAfterRefusal = st.dialog->stateLabel()->text();
                    questionsAtRefusal = st.unit.receivedBytes().size();
                });
    // Still asked after it a second later, and nothing else.
    script.then([&] { return st.unit.receivedBytes().size() > questionsAtRefusal; },
                [&] {
                    wireBeforeFit = st.unit.receivedBytes();
                    scan("SN-0008");
                });
    script.then([&] { return st.showing("Remove the unit", 1); },
                [&] { QTest::mouseClick(st.dialog->stopButton(), Qt::LeftButton); });
    QStringList serials;
    script.then([&] { return !st.dialog->isRunning(); },
                [&] {
                    serials << st.dialog->resultsTable()->model()->index(0, 2).data().toString();
                    QTest::mouseClick(st.dialog->findChild<QPushButton *>("cmdExport"),
                                      Qt::LeftButton);
                    QTest::keyClick(st.dialog, Qt::Key_Escape);
                });
    script.run();
    st.trigger();
    QVERIFY(script.finished());

    QCOMPARE(settingShown, QStringLiteral("ask SN-.*"));
    const StoredSerialSetting kept = readSerialSetting(st.bench->storePath);
    QCOMPARE(kept.ask, true);
    QCOMPARE(kept.pattern, QStringLiteral(R"(^SN-\d{4}$)"));
    QVERIFY(boxFocused);
    QCOMPARE(refusal, QStringLiteral(R"(The serial number "SN-7" does not fit: a number here )"
                                     "looks like SN-0001. Nothing was checked."));
    QCOMPARE(stateAfterRefusal, QStringLiteral("Scan the serial number for COM 1"));
    QVERIFY(wireBeforeFit.size() >= 2);
    QCOMPARE(wireBeforeFit, Lines(wireBeforeFit.size(), Probe));
    // After the number that fits: the whole check, then its removal asked
    // until Stop All.
    QCOMPARE(withProbesCollapsed(st.unit.receivedBytes()), (OneCheck + Lines{Probe, HardLimit}));
    const QList<QByteArray> csv = writtenFile(st.bench->dir.filePath("run.csv")).split('\n');
    serials << QString::fromUtf8(csv.value(10).split(',').value(2));
    // The journal is written on its writer's thread: it holds the record soon.
    std::vector<CheckReport> records;
    QTRY_VERIFY_WITH_TIMEOUT(
        (records = CheckResults(st.bench->journalPath).list({}, &problem)).size() == 1, 10000);
    serials << records.front().serial;
    QCOMPARE(serials, (QStringList{"SN-0008", "SN-0008", "SN-0008"}));
    QCOMPARE(st.bench->recorder.messages.size(), 0);
}

void TestStation::compareExportsAndPrints()
{
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    const QString sheet = bench.dir.filePath("unit.json");
    QFile file(sheet);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(SheetText) == SheetText.size());
    file.close();
    const QString csvPath = bench.dir.filePath("compare.csv");
    const QString pdfPath = bench.dir.filePath("compare.pdf");
    bench.window->setFileChooser([&](SheetFileUse use) {
        return use == SheetFileUse::Export ? csvPath : use == SheetFileUse::Print ? pdfPath : sheet;
    });
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    Script script;
    script.then(
        [] {
            auto *dialog = qobject_cast<SheetCompareDialog *>(QApplication::activeModalWidget());
            return dialog && dialog->isVisible() && dialog->isActiveWindow();
        },
        [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QTest::mouseClick(dialog->findChild<QPushButton *>("cmdExport"), Qt::LeftButton);
            QTest::mouseClick(dialog->findChild<QPushButton *>("cmdPrint"), Qt::LeftButton);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
    script.run();
    bench.find<QAction>(QStringLiteral("mnuCompareSettings"))->trigger();
    QVERIFY(script.finished());
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    QList<QByteArray> csv = writtenFile(csvPath).split('\n');
    const QByteArray time = csv.value(4).mid(11).chopped(1);
    const QDateTime shown = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
    QVERIFY2(csv.value(4).startsWith("Local time,") && shown >= before && shown <= after,
             csv.value(4).constData());
    csv[4] = "Local time,(checked)\r";
    QCOMPARE(csv, (QList<QByteArray>{"Unit,KTRA20\r",
                                     "Revision,1.07\r",
                                     "Address,0\r",
                                     "Sheet,unit.json\r",
                                     "Local time,(checked)\r",
                                     "Result,1 value differs\r",
                                     "\r",
                                     "Field,Sheet,Unit,Verdict\r",
                                     "\"Profile 1, Accel/Decel\",10,10,match\r",
                                     "\"Profile 1, Base Speed\",500,500,match\r",
                                     "\"Profile 1, Max Speed\",5200,5000,differs\r",
                                     "\"Profile 1, Lower Analog Speed\",1000,1000,match\r",
                                     "\"Profile 1, Upper Analog Speed\",20000,20000,match\r",
                                     "\"Profile 2, Accel/Decel\",110,110,match\r",
                                     "\"Profile 2, Base Speed\",600,600,match\r",
                                     "\"Profile 2, Max Speed\",5100,5100,match\r",
                                     "\"Profile 2, Lower Analog Speed\",1100,1100,match\r",
                                     "\"Profile 2, Upper Analog Speed\",20100,20100,match\r",
                                     "Reduced Current,off,off,match\r",
                                     "Microstep Resolution,8,8,match\r",
                                     "Ramp Down,no,no,match\r",
                                     "Analog Speed,off,off,match\r",
                                     ""}));
    QVERIFY(!writtenFile(pdfPath).isEmpty());
    QVERIFY(run("pdfinfo", {pdfPath}).contains(QRegularExpression("Pages:\\s+1\\n")));
    const QString text = run("pdftotext", {"-layout", pdfPath, "-"});
    QVERIFY2(text.contains(QRegularExpression("Profile 1, Max Speed\\s+5200\\s+5000\\s+differs")) &&
                 text.contains("unit.json") && text.contains("1 value differs"),
             qPrintable(text));
    // Reports put nothing on the line: the comparison's queries were all.
    QCOMPARE(rig.unit.receivedBytes(), Ktra20SheetQueries);
    QCOMPARE(bench.recorder.messages.size(), 0);
}

void TestStation::reportToAFileThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Export (CSV) into a folder that is not there") << "cmdExport";
    QTest::newRow("Print (PDF) into a folder that is not there") << "cmdPrint";
}

void TestStation::reportToAFileThatCannotBeWritten()
{
    QFETCH(QString, button);
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(bench.connect());
    const QString target = bench.dir.filePath("gone/history.file");
    bench.window->setFileChooser([&](SheetFileUse) { return target; });
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    const QByteArray journal = fileBytes(bench.journalPath);

    Script script;
    script.then(
        [] {
            QWidget *dialog = QApplication::activeModalWidget();
            return dialog && dialog->objectName() == "ChangeHistory" && dialog->isActiveWindow();
        },
        [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
    script.run();
    bench.find<QAction>(QStringLiteral("mnuChangeHistory"))->trigger();
    QVERIFY(script.finished());

    // The report is written on its own thread; its failure is said after.
    QVERIFY(waitUntil([&] { return !bench.recorder.messages.isEmpty(); }, 10000));
    QCOMPARE(bench.recorder.messages.size(), 1);
    QCOMPARE(bench.recorder.messages[0].icon, MessageIcon::Critical);
    QVERIFY2(bench.recorder.texts()[0].startsWith(target + " could not be written"),
             qPrintable(bench.recorder.texts()[0]));
    QVERIFY(!QFileInfo::exists(bench.dir.filePath("gone")));
    QCOMPARE(fileBytes(bench.journalPath), journal);
    QCOMPARE(rig.unit.receivedBytes(), Lines());
}

// Two lines ask for their units' numbers; each scan goes to the line that
// asked first and the screen names it; a scan while no line asks is
// refused, said, and reaches no unit. The set-up is there at the next open.
void TestStation::scansGoToTheLinesInTheOrderTheyAsked_data()
{
    QTest::addColumn<int>("first"); // the line whose unit comes first
    QTest::newRow("COM 1's unit first") << 0;
    QTest::newRow("COM 2's unit first") << 1;
}

void TestStation::scansGoToTheLinesInTheOrderTheyAsked()
{
    QFETCH(int, first);
    Station st;
    QVERIFY(st.start());
    SecondLine second(st);
    QVERIFY(second.unit.start());
    UnitSimProcess *units[] = {&st.unit, &second.unit};
    QVERIFY(units[1 - first]->control("remove")); // put on once the first one asks
    const QString firstCom = QStringLiteral("COM %1").arg(first + 1);
    const QString laterCom = QStringLiteral("COM %1").arg(2 - first);
    QStringList shown;
    auto scan = [&](const QString &serial) {
        QTest::keyClicks(st.dialog->scanBox(), serial);
        QTest::keyClick(st.dialog->scanBox(), Qt::Key_Return);
        shown << st.dialog->scanLabel()->text();
    };
    Script script;
    st.begin(script, "1, 2", [&] {
        st.dialog->stationBox()->setText(QStringLiteral("Bench 3"));
        st.dialog->askSerialBox()->setChecked(true);
        st.dialog->serialPatternBox()->setText(R"(^SN-\d{4}$)");
        st.dialog->serialExampleBox()->setText(QStringLiteral("SN-0001"));
    });
    script.then([&] { return st.dialog->scanLabel()->text().contains(firstCom); },
                [&] { QVERIFY(units[1 - first]->control("insert KTRA20 0")); });
    script.then(
        [&] {
            return st.dialog->stateLabel(1 - first)->text() ==
                   "Scan the serial number for " + laterCom;
        },
        [&] {
            shown << st.dialog->scanLabel()->text();
            scan(QStringLiteral("SN-0301"));
            shown << QString::number(st.dialog->scanBox()->hasFocus());
            scan(QStringLiteral("SN-0302"));
            scan(QStringLiteral("SN-0999"));
        });
    script.then(
        [&] {
            return st.dialog->stateLabel(0)->text() == "Remove the unit" &&
                   st.dialog->stateLabel(1)->text() == "Remove the unit";
        },
        [&] { QTest::mouseClick(st.dialog->stopButton(), Qt::LeftButton); });
    QStringList rows;
    script.then([&] { return !st.dialog->isRunning(); },
                [&] {
                    const QAbstractItemModel *model = st.dialog->resultsTable()->model();
                    for (int row = 0; row < model->rowCount(); ++row)
                        rows << model->index(row, 2).data().toString() + "|" +
                                    model->index(row, 9).data().toString();
                    QTest::keyClick(st.dialog, Qt::Key_Escape);
                });
    QStringList reopened;
    script.then([] { return shownStation() != nullptr; },
                [&] {
                    ProductionRunDialog *again = shownStation();
                    reopened = QStringList{
                        again->sheetBox()->text(),        again->stationBox()->text(),
                        again->portsBox()->text(),        again->paceBox()->currentText(),
                        again->paceHint()->text(),        again->serialPatternBox()->text(),
                        again->serialExampleBox()->text()};
                    QTest::keyClick(again, Qt::Key_Escape);
                });
    script.run();
    st.trigger();
    st.trigger();
    QVERIFY(script.finished());

    QCOMPARE(shown, (QStringList{"The next scan goes to " + firstCom + ".",
                                 "The next scan goes to " + laterCom + ".", "1",
                                 "No line asks for a serial number.",
                                 "No line asks for a serial number: SN-0999 was not used. Scan "
                                 "it again when its unit's line asks."}));
    rows.sort();
    QCOMPARE(rows, (QStringList{"SN-0301|" + firstCom, "SN-0302|" + laterCom}));
    QString problem;
    QVERIFY(waitUntil(
        [&] { return CheckResults(st.bench->journalPath).list({}, &problem).size() == 2; }));
    QStringList kept;
    for (const CheckReport &report : CheckResults(st.bench->journalPath).list({}, &problem))
        kept << report.serial + "|" + report.unit.device;
    kept.sort();
    const QString paths[] = {st.line, second.path};
    QCOMPARE(kept, (QStringList{"SN-0301|" + paths[first], "SN-0302|" + paths[1 - first]}));
    for (UnitSimProcess *unit : units)
        QCOMPARE(afterCheck(unit->receivedBytes(), FastCheck), Lines{HardLimit});
    QCOMPARE(reopened,
             (QStringList{st.sheet, "Bench 3", "1, 2", "Go on when the unit answers (fast)",
                          "Each wait ends with the unit's reply; a value it missed is "
                          "written again with the full wait: about 0.6 s a unit.",
                          R"(^SN-\d{4}$)", "SN-0001"}));
    QCOMPARE(st.bench->recorder.messages.size(), 0);
}

// Another program holds the journal as the check ends: the result waits for
// it on the journal's own thread, and Hard Limit goes out at once by mouse
// and by key; once the journal is free the result is in it.
void TestStation::hardLimitAtOnceWhileTheJournalIsHeld_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click") << "click";
    QTest::newRow("Space on the button") << "Space";
    QTest::newRow("Alt+H") << "Alt+H";
}

void TestStation::hardLimitAtOnceWhileTheJournalIsHeld()
{
    QFETCH(QString, how);
    Station st;
    QVERIFY(st.start());
    QString problem;
    QVERIFY(Journal::openForWriting(st.bench->journalPath, &problem));
    StoreConnection other(st.bench->journalPath, StoreConnection::Mode::ReadWrite);
    QSqlQuery hold(other.db());
    QVERIFY(hold.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    double pressed = 0;
    qsizetype clickedAtOnce = -1;
    std::size_t keptWhileHeld = 99;
    Script script;
    st.begin(script, "1");
    // The check's last line is out: its result is being kept.
    script.then([&] { return st.unit.receivedBytes().size() >= FastCheck.size(); },
                [&] {
                    QTest::qWait(300);
                    QPushButton *button = st.dialog->hardLimitButton();
                    QSignalSpy clicked(button, &QPushButton::clicked);
                    QElapsedTimer now; // the unit's clock is monotonic too
                    now.start();
                    pressed = double(now.msecsSinceReference()) / 1000.0;
                    if (how == "click")
                        QTest::mouseClick(button, Qt::LeftButton);
                    else if (how == "Space")
                        QTest::keyClick(button, Qt::Key_Space);
                    else
                        QTest::keyClick(st.dialog, Qt::Key_H, Qt::AltModifier);
                    clickedAtOnce = clicked.count();
                });
    script.then([&] { return st.unit.receivedBytes().contains(HardLimit); },
                [&] {
                    keptWhileHeld = CheckResults(st.bench->journalPath).list({}, &problem).size();
                    QVERIFY(hold.exec(QStringLiteral("COMMIT")));
                });
    st.stopAndClose(script);
    script.run();
    st.trigger();
    QVERIFY(script.finished());

    QCOMPARE(clickedAtOnce, 1);
    const QList<ReceivedLine> heard = st.unit.received();
    const auto stop = std::find_if(heard.begin(), heard.end(), [](const ReceivedLine &line) {
        return line.bytes == HardLimit;
    });
    QVERIFY(stop != heard.end());
    QVERIFY2(stop->t > pressed && stop->t - pressed < 0.25,
             qPrintable(QString::number(stop->t - pressed)));
    QCOMPARE(keptWhileHeld, std::size_t(0));
    QVERIFY(waitUntil(
        [&] { return CheckResults(st.bench->journalPath).list({}, &problem).size() == 1; }));
    QCOMPARE(afterCheck(st.unit.receivedBytes(), FastCheck), (Lines{HardLimit, HardLimit}));
    QCOMPARE(st.bench->recorder.messages.size(), 0);
}

// Four lines on a small screen and on a large one at twice the scale: the
// dialog lies within the screen, Hard Limit, Stop All and the four verdicts
// are in reach, and the panels scroll into view. Each screen is a child
// process of its own: the scale is fixed when the application starts.
void TestStation::fitsTheScreenWithFourLines_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("scale");
    QTest::newRow("1024x768") << "1024"
                              << "768"
                              << "1";
    QTest::newRow("2560x1440 at twice the scale") << "2560"
                                                  << "1440"
                                                  << "2";
}

void TestStation::fitsTheScreenWithFourLines()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, scale);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("screen.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"screens": [{"name": "s", "x": 0, "y": 0, "width": %1,
                   "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(width, height)
                   .toUtf8());
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KTV_STATION_SCREEN_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), "offscreen:configfile=" + file.fileName());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             (QStringList{"dialog inside the screen", "Hard Limit in reach", "Stop All in reach",
                          "COM 1: - in reach", "COM 2: - in reach", "COM 3: - in reach",
                          "COM 4: - in reach", "panel 4 scrolled into reach"}));
}

namespace {

// The child of fitsTheScreenWithFourLines: the dialog with four lines whose
// ports open and where no unit answers, started, on the screen it was given.
int screenChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    Workbench bench(dir.filePath(QStringLiteral("none1")));
    QMap<int, QString> map;
    std::vector<int> masters;
    for (int port = 1; port <= 4; ++port) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return 4;
        masters.push_back(master);
        map[port] = QString::fromLocal8Bit(::ptsname(master));
    }
    bench.link.setPortMap(map);
    const QString sheet = dir.filePath(QStringLiteral("unit.json"));
    QFile file(sheet);
    if (!file.open(QIODevice::WriteOnly) || file.write(SheetText) != SheetText.size())
        return 2;
    file.close();
    ProductionRunDialog dialog(bench.session,
                               {[] { return QString(); },
                                [] {},
                                [&](const QString &problem) { out << problem << '\n'; },
                                {},
                                {}},
                               bench.window.get());
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        return 3;
    dialog.operatorBox()->setText(QStringLiteral("Ana"));
    dialog.sheetBox()->setText(sheet);
    dialog.portsBox()->setText(QStringLiteral("1, 2, 3, 4"));
    dialog.start();
    const QRect area = dialog.screen()->availableGeometry();
    auto inReach = [&](QWidget *widget) {
        const QRect at(widget->mapTo(&dialog, QPoint(0, 0)), widget->size());
        return widget->isVisible() && dialog.rect().contains(at) ? "in reach" : "cut off";
    };
    // The dialog grows to its four panels within the screen, and lays out
    // the stops and the verdicts below them.
    waitUntil(
        [&] {
            QList<QWidget *> below{dialog.hardLimitButton(), dialog.stopButton()};
            for (int line = 0; line < dialog.lineCount(); ++line)
                below << dialog.verdictSummary(line);
            return area.contains(dialog.frameGeometry()) &&
                   std::all_of(below.begin(), below.end(), [&](QWidget *widget) {
                       return qstrcmp(inReach(widget), "in reach") == 0;
                   });
        },
        1000);
    out << (area.contains(dialog.frameGeometry()) ? "dialog inside the screen"
                                                  : "dialog outside the screen")
        << '\n';
    out << "Hard Limit " << inReach(dialog.hardLimitButton()) << '\n';
    out << "Stop All " << inReach(dialog.stopButton()) << '\n';
    for (int line = 0; line < dialog.lineCount(); ++line)
        out << dialog.verdictSummary(line)->text() << ' ' << inReach(dialog.verdictSummary(line))
            << '\n';
    dialog.panelsArea()->ensureWidgetVisible(dialog.linePanel(3));
    QWidget *viewport = dialog.panelsArea()->viewport();
    auto lastPanel = [&] {
        return QRect(dialog.linePanel(3)->mapTo(viewport, QPoint(0, 0)),
                     dialog.linePanel(3)->size());
    };
    waitUntil([&] { return viewport->rect().contains(lastPanel()); }, 1000);
    const QRect last = lastPanel();
    out << "panel 4 " << (viewport->rect().contains(last) ? "scrolled into reach" : "out of reach")
        << '\n';
    dialog.programEnds();
    for (int master : masters)
        ::close(master);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("KTV_STATION_SCREEN_CHILD"))
        return screenChild(argc, argv);
    QApplication app(argc, argv);
    TestStation test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_station.moc"
