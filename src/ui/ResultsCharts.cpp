#include "ui/ResultsCharts.h"

#include "protocol/CheckReportJson.h"
#include "store/ResultsYield.h"
#include "store/WholeFile.h"
#include "ui/ReportPrinter.h"
#include "ui/Toolkit.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace ktv {

namespace {

const QString Journal = QStringLiteral(" The checks recorded on this computer follow.");

QChartView *makeChartView(const QString &name, QWidget *parent)
{
    auto *view = new QChartView(new QChart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->chart()->legend()->setAlignment(Qt::AlignBottom);
    return view;
}

// A chart emptied for new series (its axes go with them).
QChart *cleared(QChartView *view, const QString &title)
{
    QChart *chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    chart->setTitle(title);
    return chart;
}

QValueAxis *percentAxis(const QString &title)
{
    auto *axis = new QValueAxis;
    axis->setRange(0, 100);
    axis->setLabelFormat(QStringLiteral("%d"));
    axis->setTitleText(title);
    return axis;
}

// The chart laid out at size and drawn into target, whether or not its
// view is on screen (a hidden view is never laid out), then as it was.
void renderChart(QChart *chart, QPainter *painter, const QRectF &target, const QSizeF &size)
{
    const QSizeF was = chart->size();
    chart->resize(size);
    if (chart->layout())
        chart->layout()->activate();
    chart->scene()->render(painter, target, QRectF(chart->pos(), size));
    chart->resize(was);
    if (chart->layout())
        chart->layout()->activate();
}

double share(int part, int whole)
{
    return whole > 0 ? 100.0 * part / whole : 0.0;
}

} // namespace

ChartFigures readChartFigures(const QString &setting, const QString &journalPath,
                              const ResultsFilter &filter)
{
    ChartFigures figures;
    ResultsFilter history;
    history.serial = filter.serial;
    ResultsFilter checks = filter;
    checks.serial.clear(); // the charts are of every unit; the history of one
    if (!setting.isEmpty()) {
        // Each read stops at the first that fails; then all come from the journal.
        ResultsServer server(setting);
        QString problem;
        const auto stationDays = server.yieldFigures(checks, &problem);
        const auto fields = stationDays ? server.fieldFailures(checks, &problem) : std::nullopt;
        const auto listed = fields ? server.list(checks, &problem) : std::nullopt;
        const auto unit =
            listed && !filter.serial.isEmpty() ? server.list(history, &problem) : std::nullopt;
        if (listed && (unit || filter.serial.isEmpty())) {
            figures.stationDays = *stationDays;
            figures.fields = *fields;
            figures.checks = *listed;
            if (unit)
                figures.history.assign(unit->rbegin(), unit->rend()); // oldest first
            figures.source = QStringLiteral("The results database on %1.").arg(server.serverName());
            return figures;
        }
        figures.source = problem + Journal;
    }
    const CheckResults results(journalPath);
    QString problem;
    const std::vector<CheckReport> all = results.list({}, &problem);
    figures.stationDays = yieldPerStationDay(all);
    figures.fields = failingFields(all);
    figures.checks = results.list(checks, &problem);
    if (!filter.serial.isEmpty()) {
        figures.history = results.list(history, &problem);
        std::reverse(figures.history.begin(), figures.history.end());
    }
    if (figures.source.isEmpty())
        figures.source =
            QStringLiteral("The checks recorded on this computer (%1).").arg(journalPath);
    if (!problem.isEmpty())
        figures.source += QLatin1Char(' ') + problem;
    return figures;
}

ResultsCharts::ResultsCharts(Toolkit &toolkit, QWidget *parent) : QWidget(parent), toolkit_(toolkit)
{
    setObjectName(QStringLiteral("ResultsCharts"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *row = new QHBoxLayout;
    auto *form = new QFormLayout;
    serial_ = new QLineEdit(this);
    serial_->setObjectName(QStringLiteral("txtSerial"));
    serial_->setAccessibleName(QStringLiteral("Serial number"));
    serial_->setPlaceholderText(QStringLiteral("Scan or type, then Enter"));
    form->addRow(QStringLiteral("Se&rial number:"), serial_);
    row->addLayout(form, 1);
    auto *dayForm = new QFormLayout;
    day_ = new QComboBox(this);
    day_->setObjectName(QStringLiteral("cboDay"));
    day_->setAccessibleName(QStringLiteral("Day"));
    day_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    day_->setMinimumContentsLength(10); // "2026-12-08"
    dayForm->addRow(QStringLiteral("&Day:"), day_);
    row->addLayout(dayForm);
    auto *png = new QPushButton(QStringLiteral("Export P&NG..."), this);
    png->setObjectName(QStringLiteral("cmdExportPng"));
    png->setAutoDefault(false);
    auto *pdf = new QPushButton(QStringLiteral("Export P&DF..."), this);
    pdf->setObjectName(QStringLiteral("cmdExportPdf"));
    pdf->setAutoDefault(false);
    row->addWidget(png);
    row->addWidget(pdf);
    layout->addLayout(row);

    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("lblChartSource"));
    source_->setWordWrap(true);
    layout->addWidget(source_);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabCharts"));
    yield_ = makeChartView(QStringLiteral("chtYield"), tabs_);
    pareto_ = makeChartView(QStringLiteral("chtFailingFields"), tabs_);
    hours_ = makeChartView(QStringLiteral("chtChecksPerHour"), tabs_);
    history_ = new QTableWidget(0, 8, tabs_);
    history_->setObjectName(QStringLiteral("tblHistory"));
    history_->setAccessibleName(QStringLiteral("Unit History"));
    history_->setHorizontalHeaderLabels({QStringLiteral("Started"), QStringLiteral("Station"),
                                         QStringLiteral("Operator"), QStringLiteral("Check"),
                                         QStringLiteral("Value"), QStringLiteral("Sheet"),
                                         QStringLiteral("Unit"), QStringLiteral("Verdict")});
    history_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    history_->verticalHeader()->hide();
    history_->horizontalHeader()->setStretchLastSection(true);
    tabs_->addTab(yield_, QStringLiteral("Yield"));
    tabs_->addTab(pareto_, QStringLiteral("Failing Fields"));
    tabs_->addTab(hours_, QStringLiteral("Checks per Hour"));
    tabs_->addTab(history_, QStringLiteral("Unit History"));
    layout->addWidget(tabs_, 1);

    connect(serial_, &QLineEdit::returnPressed, this, [this] {
        if (!serial().isEmpty())
            tabs_->setCurrentWidget(history_);
        emit serialEntered();
    });
    connect(day_, &QComboBox::currentIndexChanged, this, &ResultsCharts::drawHours);
    connect(png, &QPushButton::clicked, this, [this] { exportTo(false); });
    connect(pdf, &QPushButton::clicked, this, [this] { exportTo(true); });
}

ResultsCharts::~ResultsCharts()
{
    // A read under way ends by the connect timeout at most; its figures go
    // nowhere.
    for (QThread *worker : workers_) {
        worker->wait();
        delete worker;
    }
}

QString ResultsCharts::serial() const
{
    return serial_->text().trimmed();
}

void ResultsCharts::load(const QString &setting, const QString &journalPath,
                         const ResultsFilter &filter)
{
    const int generation = ++generation_;
    auto figures = std::make_shared<ChartFigures>();
    QThread *worker = QThread::create([figures, setting, journalPath, filter] {
        *figures = readChartFigures(setting, journalPath, filter);
    });
    workers_.push_back(worker);
    connect(worker, &QThread::finished, this, [this, worker, figures, filter, generation] {
        workers_.erase(std::remove(workers_.begin(), workers_.end(), worker), workers_.end());
        worker->deleteLater();
        if (generation == generation_)
            draw(*figures, filter);
    });
    source_->setText(QStringLiteral("Reading the figures..."));
    worker->start();
}

void ResultsCharts::draw(const ChartFigures &figures, const ResultsFilter &filter)
{
    figures_ = figures;
    filter_ = filter;
    source_->setText(figures.source);
    drawYield();
    drawPareto();

    // The days with checks, newest first; the shown one kept when it stays.
    std::set<QDate> days;
    for (const CheckReport &report : figures_.checks)
        days.insert(report.started.date());
    const QString shown = day_->currentText();
    {
        const QSignalBlocker blocker(day_);
        day_->clear();
        for (auto it = days.rbegin(); it != days.rend(); ++it)
            day_->addItem(it->toString(Qt::ISODate));
        const int at = day_->findText(shown);
        day_->setCurrentIndex(at >= 0 ? at : 0);
    }
    drawHours();
    drawHistory();
    emit loaded();
}

void ResultsCharts::drawYield()
{
    QChart *chart = cleared(yield_, QStringLiteral("Yield per Station and Day"));
    const std::vector<YieldFigures> groups =
        yieldBy(figures_.stationDays, YieldBy::StationDay, filter_);
    std::set<QDate> daySet;
    std::set<QString> stations;
    for (const YieldFigures &group : groups) {
        daySet.insert(group.day);
        stations.insert(group.station);
    }
    const std::vector<QDate> days(daySet.begin(), daySet.end());
    auto *series = new QBarSeries;
    for (const QString &station : stations) {
        auto *first = new QBarSet(station + QStringLiteral(" first pass"));
        auto *final = new QBarSet(station + QStringLiteral(" final"));
        for (const QDate &day : days) {
            const auto found = std::find_if(groups.begin(), groups.end(), [&](const auto &g) {
                return g.station == station && g.day == day;
            });
            first->append(found == groups.end() ? 0.0 : share(found->firstPassed, found->units));
            final->append(found == groups.end() ? 0.0 : share(found->finalPassed, found->units));
        }
        series->append(first);
        series->append(final);
    }
    series->setName(QStringLiteral("Yield"));
    chart->addSeries(series);
    auto *categories = new QBarCategoryAxis;
    for (const QDate &day : days)
        categories->append(day.toString(Qt::ISODate));
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    QValueAxis *percent = percentAxis(QStringLiteral("Units passed (%)"));
    chart->addAxis(percent, Qt::AlignLeft);
    series->attachAxis(percent);
}

void ResultsCharts::drawPareto()
{
    QChart *chart = cleared(pareto_, QStringLiteral("Failing Fields"));
    const std::vector<RankedField> ranked = rankFields(figures_.fields, filter_);
    auto *failures = new QBarSet(QStringLiteral("Failures"));
    auto *bars = new QBarSeries;
    bars->setName(QStringLiteral("Failures"));
    auto *cumulative = new QLineSeries;
    cumulative->setName(QStringLiteral("Cumulative %"));
    auto *categories = new QBarCategoryAxis;
    int most = 0;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        failures->append(ranked[i].failures);
        cumulative->append(double(i), ranked[i].cumulativePercent);
        categories->append(ranked[i].name);
        most = std::max(most, ranked[i].failures);
    }
    bars->append(failures);
    chart->addSeries(bars);
    chart->addSeries(cumulative);
    chart->addAxis(categories, Qt::AlignBottom);
    bars->attachAxis(categories);
    cumulative->attachAxis(categories);
    auto *count = new QValueAxis;
    count->setRange(0, std::max(1, most));
    count->setLabelFormat(QStringLiteral("%d"));
    count->setTitleText(QStringLiteral("Checks failed"));
    chart->addAxis(count, Qt::AlignLeft);
    bars->attachAxis(count);
    QValueAxis *percent = percentAxis(QStringLiteral("Cumulative (%)"));
    chart->addAxis(percent, Qt::AlignRight);
    cumulative->attachAxis(percent);
}

void ResultsCharts::drawHours()
{
    const QDate day = QDate::fromString(day_->currentText(), Qt::ISODate);
    QChart *chart = cleared(
        hours_, day.isValid() ? QStringLiteral("Checks per Hour, %1").arg(day.toString(Qt::ISODate))
                              : QStringLiteral("Checks per Hour"));
    int passed[24] = {};
    int other[24] = {};
    for (const CheckReport &report : figures_.checks) {
        if (report.started.date() != day)
            continue;
        const int hour = report.started.time().hour();
        (report.verdict == CheckVerdict::Pass ? passed : other)[hour] += 1;
    }
    auto *pass = new QBarSet(QStringLiteral("Passed"));
    auto *fail = new QBarSet(QStringLiteral("Not passed"));
    auto *categories = new QBarCategoryAxis;
    int most = 0;
    for (int hour = 0; hour < 24; ++hour) {
        pass->append(passed[hour]);
        fail->append(other[hour]);
        categories->append(QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')));
        most = std::max(most, passed[hour] + other[hour]);
    }
    auto *series = new QStackedBarSeries;
    series->setName(QStringLiteral("Checks"));
    series->append(pass);
    series->append(fail);
    chart->addSeries(series);
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    auto *count = new QValueAxis;
    count->setRange(0, std::max(1, most));
    count->setLabelFormat(QStringLiteral("%d"));
    count->setTitleText(QStringLiteral("Checks"));
    chart->addAxis(count, Qt::AlignLeft);
    series->attachAxis(count);
}

void ResultsCharts::drawHistory()
{
    history_->setRowCount(0);
    for (const CheckReport &report : figures_.history) {
        QStringList check{checkTimeText(report.started).left(19), report.station,
                          report.operatorName, checkVerdictText(report.verdict)};
        auto add = [&](const QStringList &cells) {
            const int row = history_->rowCount();
            history_->insertRow(row);
            for (int column = 0; column < cells.size(); ++column)
                history_->setItem(row, column, new QTableWidgetItem(cells[column]));
        };
        if (report.values.empty())
            add(check + QStringList{QString(), QString(), QString(), report.problem});
        for (const CheckedValue &value : report.values) {
            const QString name = checkedValueName(value);
            add(check + QStringList{name, value.sheetValue,
                                    value.unitValue.value_or(QStringLiteral("-")),
                                    valueVerdictText(value.verdict)});
        }
    }
    history_->resizeColumnsToContents();
}

QByteArray ResultsCharts::pngBytes() const
{
    auto *view = qobject_cast<QChartView *>(tabs_->currentWidget());
    if (!view)
        view = yield_;
    // Drawn at a size of its own, also for a window never shown.
    QImage image(QSize(1200, 700), QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderChart(view->chart(), &painter, QRectF(QPointF(0, 0), QSizeF(image.size())),
                    QSizeF(image.size()));
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? buffer.data() : QByteArray();
}

QByteArray ResultsCharts::pdfBytes() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Results"));
        QPainter painter;
        if (!painter.begin(&writer))
            return {};
        bool first = true;
        for (QChartView *view : {yield_, pareto_, hours_}) {
            if (!first)
                writer.newPage();
            first = false;
            // Laid out as on a screen, then scaled to the page.
            renderChart(view->chart(), &painter,
                        QRectF(QPointF(0, 0), QSizeF(writer.width(), writer.height())),
                        QSizeF(1200, 800));
        }
        if (!painter.end())
            return {};
    }
    return buffer.data();
}

namespace {

bool writeChartFile(const QString &path, const QByteArray &bytes, QString *problem)
{
    const Outcome<void> written = bytes.isEmpty()
                                      ? Outcome<void>::failure(QStringLiteral("nothing was drawn"))
                                      : writeWholeFile(path, bytes);
    if (written)
        return true;
    if (problem)
        *problem = QStringLiteral("%1 cannot be written.").arg(QDir::toNativeSeparators(path));
    return false;
}

} // namespace

bool ResultsCharts::exportPng(const QString &path, QString *problem) const
{
    return writeChartFile(path, pngBytes(), problem);
}

bool ResultsCharts::exportPdf(const QString &path, QString *problem) const
{
    return writeChartFile(path, pdfBytes(), problem);
}

void ResultsCharts::exportTo(bool pdf)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getSaveFileName(
        this, pdf ? QStringLiteral("Export the Charts (PDF)") : QStringLiteral("Export the Chart"),
        QDir(folder).filePath(pdf ? QStringLiteral("results.pdf") : QStringLiteral("results.png")),
        pdf ? QStringLiteral("PDF files (*.pdf)") : QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty())
        return;
    // Drawn here, from the charts on the screen; written on a thread of its own.
    writeInBackground([path, bytes = pdf ? pdfBytes() : pngBytes()](
                          QString *problem) { return writeChartFile(path, bytes, problem); },
                      [toolkit = &toolkit_](const QString &problem) {
                          toolkit->showMessage(MessageIcon::Exclamation, problem);
                      });
}

} // namespace ktv
