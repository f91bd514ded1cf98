// The charts of Tools > Results, drawn offscreen: the yield per station and
// day, the failing fields ranked with their cumulative share, the checks per
// hour of a chosen day and one unit's history, from this bench's journal and
// from a results server's views (the same figures), the window's filters
// driving them; and the PNG and PDF exports read back.

#include "PgServer.h"
#include "Workbench.h"
#include "YieldSeed.h"

#include "store/CheckResults.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"
#include "store/ResultsWorker.h"
#include "ui/ResultsCharts.h"
#include "ui/ResultsWindow.h"
#include "ui/Toolkit.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QAbstractBarSeries>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <sys/stat.h>

using namespace ktv;
using namespace ktv::test;

namespace {

// "series name: set label=v,v,... ; ..." for the bar series of a chart,
// "series name: y,y,..." for a line.
QStringList seriesOf(const QChartView *view)
{
    QStringList out;
    for (QAbstractSeries *series : view->chart()->series()) {
        if (auto *bars = qobject_cast<QAbstractBarSeries *>(series)) {
            for (QBarSet *set : bars->barSets()) {
                QStringList values;
                for (int i = 0; i < set->count(); ++i)
                    values << QString::number(set->at(i), 'f', 1);
                out << series->name() + ": " + set->label() + "=" + values.join(',');
            }
        } else if (auto *line = qobject_cast<QLineSeries *>(series)) {
            QStringList values; // beside horizontal bars: the share is x
            for (const QPointF &point : line->points())
                values << QString::number(point.x(), 'f', 1);
            out << series->name() + ": " + values.join(',');
        }
    }
    return out;
}

QStringList categoriesOf(const QChartView *view)
{
    for (QAbstractAxis *axis : view->chart()->axes())
        if (auto *categories = qobject_cast<QBarCategoryAxis *>(axis))
            return categories->categories();
    return {};
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << (table->item(row, column) ? table->item(row, column)->text() : QString());
        rows << cells.join(QLatin1String(" | "));
    }
    return rows;
}

QString output(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool loadAndWait(ResultsCharts &charts, const QString &setting, const QString &journal,
                 const ResultsFilter &filter)
{
    QSignalSpy loaded(&charts, &ResultsCharts::loaded);
    charts.load(setting, journal, filter);
    return loaded.wait(20000);
}

// Horizontal bars: the first category is the lowest bar.
const QStringList AllYield = {"Yield: First pass=50.0,0.0,50.0", "Yield: Final=50.0,0.0,100.0"};
const QStringList AllFields = {"Failures: Fields=1.0,1.0,3.0",
                               "Failures: Checks that could not finish=0.0,0.0,0.0",
                               "Cumulative %: 60.0,80.0,100.0"};

} // namespace

class tst_ResultsCharts : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString journal;

  private slots:
    void initTestCase()
    {
        journal = dir.filePath("journal.sqlite");
        QString problem;
        for (const CheckReport &report : yieldSeed())
            QVERIFY2(CheckResults(journal).record(report, &problem), qPrintable(problem));
    }

    void chartsOfTheJournal()
    {
        Toolkit toolkit;
        QStringList messages;
        toolkit.setMessageSink([&](MessageIcon, const QString &text) { messages << text; });
        ResultsCharts charts(toolkit, nullptr);
        QVERIFY(loadAndWait(charts, {}, journal, {}));

        QCOMPARE(charts.source()->text(),
                 "The checks recorded on this computer (" + journal + ").");
        QCOMPARE(charts.yieldChart()->chart()->title(), "Yield of Units per Station and Day");
        QCOMPARE(seriesOf(charts.yieldChart()), AllYield);
        QCOMPARE(categoriesOf(charts.yieldChart()),
                 (QStringList{"bench-2, 2026-12-08: 2 units", "bench-2, 2026-12-07: 1 unit",
                              "bench-1, 2026-12-07: 2 units"}));
        QCOMPARE(charts.paretoChart()->chart()->title(), "Failing Fields");
        QCOMPARE(seriesOf(charts.paretoChart()), AllFields);
        QCOMPARE(categoriesOf(charts.paretoChart()),
                 (QStringList{"Resolution", "Profile 1, Accel/Decel", "Profile 1, Max Speed"}));

        // The newest day first; its hours, passed and not, stacked.
        QCOMPARE(charts.dayBox()->count(), 2);
        QCOMPARE(charts.dayBox()->currentText(), "2026-12-08");
        QCOMPARE(charts.hourChart()->chart()->title(), "Checks per Hour, 2026-12-08");
        const QStringList hours = categoriesOf(charts.hourChart());
        QCOMPARE(hours.size(), 24);
        QCOMPARE(hours.first(), "00");
        QCOMPARE(hours.last(), "23");
        auto hourValues = [&](int hour) {
            QStringList values;
            for (const QString &series : seriesOf(charts.hourChart()))
                values << series.section('=', 0, 0) + "=" +
                              series.section('=', 1).split(',').at(hour);
            return values;
        };
        QCOMPARE(hourValues(9), (QStringList{"Checks: Passed=1.0", "Checks: Not passed=0.0"}));
        QCOMPARE(hourValues(11), (QStringList{"Checks: Passed=0.0", "Checks: Not passed=1.0"}));
        charts.dayBox()->setCurrentIndex(1);
        QCOMPARE(charts.hourChart()->chart()->title(), "Checks per Hour, 2026-12-07");
        QCOMPARE(hourValues(9), (QStringList{"Checks: Passed=0.0", "Checks: Not passed=1.0"}));
        QCOMPARE(hourValues(10), (QStringList{"Checks: Passed=1.0", "Checks: Not passed=0.0"}));

        // One station: its units only; the failing fields of its checks.
        QVERIFY(loadAndWait(charts, {}, journal, {"bench-2", {}, {}, false, {}}));
        QCOMPARE(seriesOf(charts.yieldChart()),
                 (QStringList{"Yield: First pass=50.0,0.0", "Yield: Final=50.0,0.0"}));
        QCOMPARE(seriesOf(charts.paretoChart()),
                 (QStringList{"Failures: Fields=1.0,1.0,2.0",
                              "Failures: Checks that could not finish=0.0,0.0,0.0",
                              "Cumulative %: 50.0,75.0,100.0"}));
        QCOMPARE(charts.dayBox()->currentText(), "2026-12-07"); // the day shown stays

        // A unit's history: every check at every station, in order, with its values.
        QVERIFY(loadAndWait(charts, {}, journal, {{}, {}, {}, false, "SN-A"}));
        QCOMPARE(
            tableRows(charts.history()),
            (QStringList{
                "2026-12-07T09:00:00 | bench-1 |  | fail | Profile 1, Max Speed | 5 | 5 | "
                "differs",
                "2026-12-07T09:00:00 | bench-1 |  | fail | Profile 1, Accel/Decel | 5 | 5 | "
                "match",
                "2026-12-07T09:00:00 | bench-1 |  | fail | Resolution | 5 | 5 | match",
                "2026-12-08T09:00:00 | bench-2 |  | pass | Profile 1, Max Speed | 5 | 5 | match",
                "2026-12-08T09:00:00 | bench-2 |  | pass | Profile 1, Accel/Decel | 5 | 5 | "
                "match",
                "2026-12-08T09:00:00 | bench-2 |  | pass | Resolution | 5 | 5 | match"}));
        QCOMPARE(seriesOf(charts.yieldChart()), AllYield); // the charts stay of every unit
        // The check that failed is marked on each of its rows, what differed in bold.
        QStringList marks;
        for (int row = 0; row < charts.history()->rowCount(); ++row)
            marks << QStringLiteral("%1%2").arg(
                charts.history()->item(row, 0)->background().color() == QColor(255, 222, 222)
                    ? "failed"
                    : "passed",
                charts.history()->item(row, 7)->font().bold() ? " bold" : "");
        QCOMPARE(marks,
                 (QStringList{"failed bold", "failed", "failed", "passed", "passed", "passed"}));

        // Exports, read back by real readers: what is shown, with where the
        // figures came from, the filters and when.
        auto *tabs = charts.findChild<QTabWidget *>("tabCharts");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QString problem;
        for (QWidget *shown : {static_cast<QWidget *>(charts.paretoChart()),
                               static_cast<QWidget *>(charts.history())}) {
            tabs->setCurrentWidget(shown);
            const QString png = dir.filePath("chart.png");
            QVERIFY2(charts.exportPng(png, &problem), qPrintable(problem));
            const QImage image(png);
            QCOMPARE(image.width(), 1200);
            QVERIFY(image.height() >= 820);
            QVERIFY(image.pixelColor(5, 5) == QColor(Qt::white));
            QCOMPARE(image.text("Title"),
                     shown == charts.history() ? "Unit History, SN-A" : "Failing Fields");
            QCOMPARE(image.text("Source"),
                     "The checks recorded on this computer (" + journal + ").");
            QCOMPARE(image.text("Filters"), "Filters: serial number SN-A");
            const QDateTime made = QDateTime::fromString(image.text("Made"), Qt::ISODate);
            QVERIFY2(made >= before && made <= QDateTime::currentDateTime().addSecs(1),
                     qPrintable(image.text("Made")));
        }
        const QString pdf = dir.filePath("charts.pdf");
        QVERIFY2(charts.exportPdf(pdf, &problem), qPrintable(problem));
        QVERIFY(output("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+4\\n")));
        const QStringList pages =
            output("pdftotext", {"-layout", pdf, "-"}).split('\f', Qt::SkipEmptyParts);
        QCOMPARE(pages.size(), 4);
        const QStringList looked[] = {
            {"Yield of Units per Station and Day", "bench-1, 2026-12-07: 2 units"},
            {"Failing Fields", "Profile 1, Accel/Decel", "Profile 1, Max Speed"},
            {"Checks per Hour, 2026-12-07"},
            {"Unit History, SN-A", "Profile 1, Accel/Decel", "differs"}};
        for (int page = 0; page < 4; ++page) {
            for (const QString &text :
                 looked[page] + QStringList{"Source: The checks recorded on "
                                            "this computer",
                                            "Filters: serial number SN-A", "Made: 20"})
                QVERIFY2(pages[page].contains(text), qPrintable(text + " in " + pages[page]));
            // No name cut short, nor one left over from the screen's size.
            QVERIFY2(!pages[page].contains("...") && !pages[page].contains(u'\u2026'),
                     qPrintable(pages[page]));
        }
        const QString nowhere = dir.filePath("missing/chart.png");
        QVERIFY(!charts.exportPng(nowhere, &problem));
        QCOMPARE(problem, nowhere + " cannot be written.");
        QVERIFY(!QFile::exists(nowhere));
        // A named pipe is refused, not written into nor replaced.
        const QString pipe = dir.filePath("pipe.pdf");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(!charts.exportPdf(pipe, &problem));
        QCOMPARE(problem, pipe + " is not a plain file: a report is written only to a file.");
        QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
        QCOMPARE(QDir(dir.path()).entryList({"*.png", "*.pdf"}, QDir::AllEntries | QDir::System),
                 (QStringList{"chart.png", "charts.pdf", "pipe.pdf"}));
        QCOMPARE(messages, QStringList{});
    }

    // A check that could not finish is one bar of its cause, not a failure
    // of each field, whether the journal's arithmetic or the server's view
    // counts it; on screen every name is whole, every count a whole number.
    void checksThatCouldNotFinish_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("this computer's journal") << false;
        QTest::newRow("the results server's view") << true;
    }
    void checksThatCouldNotFinish()
    {
        QFETCH(bool, server);
        QTemporaryDir here;
        const QString journal = here.filePath("journal.sqlite");
        std::unique_ptr<PgServer> pg;
        QString setting;
        QString db;
        QString problem;
        if (server) {
            pg = std::make_unique<PgServer>();
            QVERIFY2(pg->ok(), qPrintable(pg->problem()));
            setting = pg->setting(db = pg->createDatabase());
        }
        for (const CheckReport &report : unfinishedSeed())
            QVERIFY(server ? ResultsServer(setting).send(report, &problem) == SendOutcome::Stored
                           : CheckResults(journal).record(report, &problem));
        Toolkit toolkit;
        QStringList messages;
        toolkit.setMessageSink([&](MessageIcon, const QString &text) { messages << text; });
        QWidget window;
        auto *charts = new ResultsCharts(toolkit, &window);
        charts->resize(1000, 600);
        window.resize(1000, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(loadAndWait(*charts, setting, journal, {}));

        QCOMPARE(charts->source()->text(),
                 server ? QStringLiteral("The results database on 127.0.0.1:%1.").arg(pg->port())
                        : "The checks recorded on this computer (" + journal + ").");
        QCOMPARE(
            categoriesOf(charts->paretoChart()),
            (QStringList{"stopped", "refused", "no answer", "Profile 1, Max Speed", "line lost"}));
        QCOMPARE(seriesOf(charts->paretoChart()),
                 (QStringList{"Failures: Fields=0.0,0.0,0.0,1.0,0.0",
                              "Failures: Checks that could not finish=1.0,1.0,1.0,0.0,2.0",
                              "Cumulative %: 33.3,50.0,66.7,83.3,100.0"}));
        QCOMPARE(categoriesOf(charts->yieldChart()), QStringList{"bench-3, 2026-12-09: 5 units"});

        // Each chart as shown: no label cut short; counts step by whole numbers.
        QStringList axes;
        for (QChartView *view :
             {charts->yieldChart(), charts->paretoChart(), charts->hourChart()}) {
            charts->findChild<QTabWidget *>("tabCharts")->setCurrentWidget(view);
            QTest::qWait(50);
            for (QAbstractAxis *axis : view->chart()->axes()) {
                if (axis->labelsTruncated())
                    axes << view->chart()->title() + ": labels cut";
                if (auto *count = qobject_cast<QValueAxis *>(axis);
                    count && count->titleText() == "Checks")
                    axes << QStringLiteral("%1: %2..%3 by %4")
                                .arg(view->chart()->title())
                                .arg(count->min())
                                .arg(count->max())
                                .arg(count->tickType() == QValueAxis::TicksDynamic
                                         ? count->tickInterval()
                                         : 0.0);
            }
        }
        QCOMPARE(axes, (QStringList{"Failing Fields: 0..2 by 1",
                                    "Checks per Hour, 2026-12-09: 0..5 by 1"}));
        QCOMPARE(messages, QStringList{});
        if (server)
            QCOMPARE(pg->rows(db, "SELECT count(*) FROM checks"), QStringList{"5"});
        else
            QCOMPARE(CheckResults(journal).list({}).size(), std::size_t(5));
    }

    // From a results server the charts draw its views' figures: the same as
    // the journal's arithmetic for the same checks. The window's filters and
    // serial number drive them with the table.
    void serverFiguresAndTheWindow()
    {
        PgServer pg;
        QVERIFY2(pg.ok(), qPrintable(pg.problem()));
        const QString db = pg.createDatabase();
        {
            ResultsServer server(pg.setting(db));
            QString problem;
            for (const CheckReport &report : yieldSeed())
                QCOMPARE(server.send(report, &problem), SendOutcome::Stored);
        }
        Workbench bench;
        QString problem;
        QVERIFY(writeResultsSetting(bench.storePath, pg.setting(db), &problem));
        ResultsWorker worker;
        ResultsWindow window(bench.storePath, bench.journalPath, worker, bench.window->toolkit(),
                             bench.window.get());
        ResultsCharts *charts = window.charts();
        QSignalSpy loaded(charts, &ResultsCharts::loaded);
        QVERIFY(loaded.wait(20000));
        QCOMPARE(charts->source()->text(),
                 QStringLiteral("The results database on 127.0.0.1:%1.").arg(pg.port()));
        QCOMPARE(seriesOf(charts->yieldChart()), AllYield);
        QCOMPARE(seriesOf(charts->paretoChart()), AllFields);

        window.stationFilter()->setText("bench-1");
        window.refresh();
        QVERIFY(loaded.wait(20000));
        QCOMPARE(seriesOf(charts->yieldChart()),
                 (QStringList{"Yield: First pass=50.0", "Yield: Final=100.0"}));
        QCOMPARE(categoriesOf(charts->yieldChart()), QStringList{"bench-1, 2026-12-07: 2 units"});

        // A scanned serial number: Enter shows the unit's checks in the
        // table and its history below.
        window.stationFilter()->clear();
        charts->serialBox()->setText("SN-C");
        QTest::keyClick(charts->serialBox(), Qt::Key_Return);
        QVERIFY(loaded.wait(20000));
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(charts->history()->rowCount(), 6);
        QCOMPARE(charts->history()->item(0, 0)->text(), "2026-12-07T11:00:00");
        QCOMPARE(charts->history()->item(3, 0)->text(), "2026-12-08T10:00:00");
        QCOMPARE(bench.recorder.messages.size(), 0);
        QCOMPARE(pg.rows(db, "SELECT count(*) FROM checks"), QStringList{"7"});
    }
};

QTEST_MAIN(tst_ResultsCharts)
#include "tst_resultscharts.moc"
