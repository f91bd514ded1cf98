#include "ui/ResultsCharts.h"

#include "protocol/CheckReportJson.h"
#include "protocol/Threads.h"
#include "store/ResultsYield.h"
#include "store/WholeFile.h"
#include "ui/NamedComboBox.h"
#include "ui/ReportPrinter.h"
#include "ui/Toolkit.h"

#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
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
#include <QPen>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QHorizontalStackedBarSeries>
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
// The rows of a check that did not pass, in the history and its export.
const QColor FailedCheck(255, 222, 222);

QChartView *makeChartView(const QString &name, const QString &accessibleName, QWidget *parent)
{
    auto *view = new QChartView(new QChart, parent);
    view->setObjectName(name);
    view->setAccessibleName(accessibleName);
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
    view->setAccessibleDescription(title);
    return chart;
}

// Without ligatures, as the reports: a "fi" copied out of an exported PDF,
// or searched for in it, stays the two letters "f" and "i".
QFont plain(QFont font)
{
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

void plainFonts(QChart *chart)
{
    chart->setTitleFont(plain(chart->titleFont()));
    chart->legend()->setFont(plain(chart->legend()->font()));
    for (QAbstractAxis *axis : chart->axes()) {
        axis->setLabelsFont(plain(axis->labelsFont()));
        axis->setTitleFont(plain(axis->titleFont()));
    }
}

// A count: whole numbers only, ticks a whole step apart from 0 (1, 2, 5,
// 10, 20, 50 ...), at most about ten of them.
QValueAxis *countAxis(const QString &title, int most)
{
    int step = 1;
    for (int scale = 1; most / step > 10; scale *= 10) {
        for (const int factor : {1, 2, 5}) {
            step = factor * scale;
            if (most / step <= 10)
                break;
        }
    }
    auto *axis = new QValueAxis;
    axis->setRange(0, std::max(step, (most + step - 1) / step * step));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setMinorTickCount(0);
    axis->setLabelFormat(QStringLiteral("%d"));
    axis->setTitleText(title);
    return axis;
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
    // The axes move their labels to the new size when the scene is next
    // drawn and take the old ones away on a later call: drawn once aside and
    // those calls taken, so that no label of the earlier size is in the
    // picture.
    {
        QImage aside(8, 8, QImage::Format_ARGB32);
        QPainter first(&aside);
        chart->scene()->render(&first, QRectF(0, 0, 8, 8), QRectF(chart->pos(), size));
    }
    // Only the chart's own: a reading that ends meanwhile is drawn after.
    QCoreApplication::sendPostedEvents(chart->scene());
    QCoreApplication::sendPostedEvents(chart);
    for (QObject *part : chart->findChildren<QObject *>())
        QCoreApplication::sendPostedEvents(part);
    for (QGraphicsItem *item : chart->scene()->items())
        if (QGraphicsObject *object = item->toGraphicsObject())
            QCoreApplication::sendPostedEvents(object);
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
        const auto listed = fields ? server.checksPerHour(checks, &problem) : std::nullopt;
        const auto unit =
            listed && !filter.serial.isEmpty() ? server.list(history, &problem) : std::nullopt;
        if (listed && (unit || filter.serial.isEmpty())) {
            figures.stationDays = *stationDays;
            figures.fields = *fields;
            figures.hours = *listed;
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
    std::map<std::pair<QDate, int>, HourCount> hours;
    for (const CheckReport &report : results.list(checks, &problem)) {
        const QDate day = report.started.date();
        const int hour = report.started.time().hour();
        HourCount &count = hours[{day, hour}];
        count.day = day;
        count.hour = hour;
        (report.verdict == CheckVerdict::Pass ? count.passed : count.other) += 1;
    }
    for (const auto &[at, count] : hours)
        figures.hours.push_back(count);
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

QString yieldDefinitionText()
{
    return QStringLiteral("Yield counts units, not checks: a unit is its serial number (a check "
                          "without one is a unit of its own), counted once, at the station and "
                          "day of its first check. First pass: its first check passed; final: "
                          "its last check passed.");
}

QString filterText(const ResultsFilter &filter)
{
    QStringList terms;
    if (!filter.station.isEmpty())
        terms << QStringLiteral("station ") + filter.station;
    if (!filter.unitModel.isEmpty())
        terms << QStringLiteral("unit model ") + filter.unitModel;
    if (filter.since.isValid())
        terms << QStringLiteral("since ") + reportTime(filter.since);
    if (filter.failedOnly)
        terms << QStringLiteral("failed only");
    if (!filter.serial.isEmpty())
        terms << QStringLiteral("serial number ") + filter.serial;
    return QStringLiteral("Filters: ") +
           (terms.isEmpty() ? QStringLiteral("none") : terms.join(QStringLiteral(", ")));
}

ResultsCharts::ResultsCharts(Toolkit &toolkit, QWidget *parent) : QWidget(parent), toolkit_(toolkit)
{
    setObjectName(QStringLiteral("ResultsCharts"));
    readComboBoxesByName(); // "Day", not the date it shows
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
    auto *pdf = new QPushButton(QStringLiteral("Export &PDF..."), this);
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
    yield_ = makeChartView(QStringLiteral("chtYield"), QStringLiteral("Yield chart"), tabs_);
    yield_->setToolTip(yieldDefinitionText());
    pareto_ = makeChartView(QStringLiteral("chtFailingFields"),
                            QStringLiteral("Failing fields chart"), tabs_);
    hours_ = makeChartView(QStringLiteral("chtChecksPerHour"),
                           QStringLiteral("Checks per hour chart"), tabs_);
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
    connect(day_, &QComboBox::currentIndexChanged, this, [this] {
        drawHours();
        plainFonts(hours_->chart());
    });
    connect(png, &QPushButton::clicked, this, [this] { exportTo(false); });
    connect(pdf, &QPushButton::clicked, this, [this] { exportTo(true); });
}

// A read under way when the charts go ends by the connect timeout at most,
// on its own thread; its figures go nowhere.
ResultsCharts::~ResultsCharts() = default;

QString ResultsCharts::serial() const
{
    return serial_->text().trimmed();
}

void ResultsCharts::load(const QString &setting, const QString &journalPath,
                         const ResultsFilter &filter)
{
    const int generation = ++generation_;
    source_->setText(QStringLiteral("Reading the figures..."));
    threads::run(
        QStringLiteral("charts"), this,
        [setting, journalPath, filter] { return readChartFigures(setting, journalPath, filter); },
        [this, filter, generation](const ChartFigures &figures) {
            if (generation == generation_)
                draw(figures, filter);
        });
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
    for (const HourCount &hour : figures_.hours)
        days.insert(hour.day);
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
    for (QChartView *view : {yield_, pareto_, hours_})
        plainFonts(view->chart());
    emit loaded();
}

void ResultsCharts::drawYield()
{
    QChart *chart = cleared(yield_, QStringLiteral("Yield of Units per Station and Day"));
    // Horizontal bars, the first group on top: each group's whole name,
    // and the units it counts, beside its bars.
    const std::vector<YieldFigures> groups =
        yieldBy(figures_.stationDays, YieldBy::StationDay, filter_);
    auto *first = new QBarSet(QStringLiteral("First pass"));
    auto *final = new QBarSet(QStringLiteral("Final"));
    auto *categories = new QBarCategoryAxis;
    for (auto it = groups.rbegin(); it != groups.rend(); ++it) {
        first->append(share(it->firstPassed, it->units));
        final->append(share(it->finalPassed, it->units));
        categories->append(
            QStringLiteral("%1, %2: %3 %4")
                .arg(it->station, it->day.toString(Qt::ISODate))
                .arg(it->units)
                .arg(it->units == 1 ? QStringLiteral("unit") : QStringLiteral("units")));
    }
    auto *series = new QHorizontalBarSeries;
    series->setName(QStringLiteral("Yield"));
    series->append(first);
    series->append(final);
    chart->addSeries(series);
    chart->addAxis(categories, Qt::AlignLeft);
    series->attachAxis(categories);
    QValueAxis *percent = percentAxis(QStringLiteral("Units passed (%)"));
    chart->addAxis(percent, Qt::AlignBottom);
    series->attachAxis(percent);
}

void ResultsCharts::drawPareto()
{
    QChart *chart = cleared(pareto_, QStringLiteral("Failing Fields"));
    const std::vector<RankedField> ranked = rankFields(figures_.fields, filter_);
    // Horizontal bars, the most frequent on top, whole names beside them. A
    // check that could not finish is a bar of its own cause, in a colour of
    // its own.
    auto *fields = new QBarSet(QStringLiteral("Fields"));
    auto *unfinished = new QBarSet(QStringLiteral("Checks that could not finish"));
    auto *bars = new QHorizontalStackedBarSeries;
    bars->setName(QStringLiteral("Failures"));
    auto *cumulative = new QLineSeries;
    cumulative->setName(QStringLiteral("Cumulative %"));
    auto *categories = new QBarCategoryAxis;
    int most = 0;
    const int count = int(ranked.size());
    for (int i = count - 1; i >= 0; --i) {
        const RankedField &field = ranked[std::size_t(i)];
        fields->append(field.unfinished ? 0 : field.failures);
        unfinished->append(field.unfinished ? field.failures : 0);
        categories->append(field.name);
        most = std::max(most, field.failures);
    }
    for (int i = 0; i < count; ++i)
        cumulative->append(ranked[std::size_t(i)].cumulativePercent, double(count - 1 - i));
    // Colours of their own: the causes apart from the fields, the share
    // apart from both.
    unfinished->setColor(QColor(230, 126, 34));
    cumulative->setPen(QPen(QColor(64, 64, 64), 2));
    bars->append(fields);
    bars->append(unfinished);
    chart->addSeries(bars);
    chart->addSeries(cumulative);
    chart->addAxis(categories, Qt::AlignLeft);
    bars->attachAxis(categories);
    cumulative->attachAxis(categories);
    QValueAxis *checks = countAxis(QStringLiteral("Checks"), most);
    chart->addAxis(checks, Qt::AlignBottom);
    bars->attachAxis(checks);
    QValueAxis *percent = percentAxis(QStringLiteral("Cumulative (%)"));
    chart->addAxis(percent, Qt::AlignTop);
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
    for (const HourCount &count : figures_.hours) {
        if (count.day != day || count.hour < 0 || count.hour > 23)
            continue;
        passed[count.hour] += count.passed;
        other[count.hour] += count.other;
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
    QValueAxis *count = countAxis(QStringLiteral("Checks"), most);
    chart->addAxis(count, Qt::AlignLeft);
    series->attachAxis(count);
}

void ResultsCharts::drawHistory()
{
    history_->setRowCount(0);
    for (const CheckReport &report : figures_.history) {
        QStringList check{checkTimeText(report.started).left(19), report.station,
                          report.operatorName, checkVerdictText(report.verdict)};
        // A check that did not pass is marked on each of its rows, the
        // values that did not match in bold, its problem in the tooltip.
        const bool failed = report.verdict != CheckVerdict::Pass;
        auto add = [&](const QStringList &cells, bool differs) {
            const int row = history_->rowCount();
            history_->insertRow(row);
            for (int column = 0; column < cells.size(); ++column) {
                auto *item = new QTableWidgetItem(cells[column]);
                if (failed) {
                    item->setBackground(FailedCheck);
                    item->setToolTip(report.problem.isEmpty()
                                         ? QStringLiteral("This check did not pass.")
                                         : QStringLiteral("This check did not pass: ") +
                                               report.problem);
                }
                if (differs) {
                    QFont font = item->font();
                    font.setBold(true);
                    item->setFont(font);
                }
                history_->setItem(row, column, item);
            }
        };
        if (report.values.empty())
            add(check + QStringList{QString(), QString(), QString(), report.problem}, false);
        for (const CheckedValue &value : report.values) {
            const QString name = checkedValueName(value);
            add(check + QStringList{name, value.sheetValue,
                                    value.unitValue.value_or(QStringLiteral("-")),
                                    valueVerdictText(value.verdict)},
                value.verdict != ValueVerdict::Match);
        }
    }
    history_->resizeColumnsToContents();
}

QString ResultsCharts::pageTitle(QWidget *shown) const
{
    if (shown == history_)
        return filter_.serial.isEmpty() ? QStringLiteral("Unit History")
                                        : QStringLiteral("Unit History, %1").arg(filter_.serial);
    return qobject_cast<QChartView *>(shown)->chart()->title();
}

QStringList ResultsCharts::headerLines(const QString &title, const QDateTime &made) const
{
    return {title, QStringLiteral("Source: ") + figures_.source, filterText(filter_),
            QStringLiteral("Made: ") + reportTime(made)};
}

QString ResultsCharts::historyHtml() const
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                                  "width=\"100%\"><tr>");
    for (int column = 0; column < history_->columnCount(); ++column)
        html += QStringLiteral("<th>%1</th>")
                    .arg(history_->horizontalHeaderItem(column)->text().toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (int row = 0; row < history_->rowCount(); ++row) {
        const QTableWidgetItem *first = history_->item(row, 0);
        const bool failed = first && first->background().color() == FailedCheck;
        html += failed
                    ? QStringLiteral("<tr style=\"background-color: %1\">").arg(FailedCheck.name())
                    : QStringLiteral("<tr>");
        for (int column = 0; column < history_->columnCount(); ++column) {
            const QTableWidgetItem *item = history_->item(row, column);
            const QString text = item ? item->text().toHtmlEscaped() : QString();
            html += item && item->font().bold() ? QStringLiteral("<td><b>%1</b></td>").arg(text)
                                                : QStringLiteral("<td>%1</td>").arg(text);
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

// The header's lines on top (the first larger), then the chart or the
// history below, both scaled to the area as on a 1200 pixel wide screen.
void ResultsCharts::drawPage(QPainter *painter, const QRectF &area, QWidget *shown,
                             const QDateTime &made) const
{
    const double scale = area.width() / 1200.0;
    const bool history = shown == history_;
    auto *view = qobject_cast<QChartView *>(shown);
    painter->save();
    painter->translate(area.topLeft());
    painter->scale(scale, scale);
    const QStringList lines = headerLines(pageTitle(shown), made);
    double y = 12;
    for (int i = 0; i < lines.size(); ++i) {
        QFont font = plain(painter->font());
        font.setPixelSize(i == 0 ? 22 : 15);
        font.setBold(i == 0);
        painter->setFont(font);
        const QRectF box(16, y, 1168, 200);
        QRectF used;
        painter->drawText(box, Qt::TextWordWrap, lines[i], &used);
        y += used.height() + 4;
    }
    const QRectF below(0, y + 8, 1200, area.height() / scale - y - 8);
    if (history) {
        QTextDocument document;
        QFont font = document.defaultFont();
        font.setPixelSize(13);
        document.setDefaultFont(plain(font));
        document.setHtml(historyHtml());
        document.setTextWidth(below.width() - 32);
        painter->translate(16, below.top());
        document.drawContents(painter, QRectF(0, 0, below.width() - 32, below.height()));
    } else {
        painter->restore();
        painter->save();
        renderChart(view->chart(), painter,
                    QRectF(area.left(), area.top() + below.top() * scale, area.width(),
                           below.height() * scale),
                    below.size());
    }
    painter->restore();
}

QByteArray ResultsCharts::pngBytes() const
{
    QWidget *shown = tabs_->currentWidget();
    const QDateTime made = QDateTime::currentDateTime();
    // Drawn at a size of its own, also for a window never shown; a long
    // history makes a taller picture.
    int height = 820;
    if (shown == history_) {
        QTextDocument document;
        QFont font = document.defaultFont();
        font.setPixelSize(13);
        document.setDefaultFont(plain(font));
        document.setHtml(historyHtml());
        document.setTextWidth(1168);
        height = std::max(height, 160 + int(document.size().height()));
    }
    QImage image(QSize(1200, height), QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawPage(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())), shown, made);
    }
    const QStringList lines = headerLines(pageTitle(shown), made);
    image.setText(QStringLiteral("Title"), lines[0]);
    image.setText(QStringLiteral("Source"), figures_.source);
    image.setText(QStringLiteral("Filters"), lines[2]);
    image.setText(QStringLiteral("Made"), reportTime(made));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? buffer.data() : QByteArray();
}

QByteArray ResultsCharts::pdfBytes() const
{
    const QDateTime made = QDateTime::currentDateTime();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Results"));
        writer.setCreator(QStringLiteral("KTRA-VELD Software"));
        QPainter painter;
        if (!painter.begin(&writer))
            return {};
        std::vector<QWidget *> pages{yield_, pareto_, hours_};
        if (history_->rowCount() > 0)
            pages.push_back(history_);
        bool first = true;
        for (QWidget *page : pages) {
            if (!first)
                writer.newPage();
            first = false;
            drawPage(&painter, QRectF(QPointF(0, 0), QSizeF(writer.width(), writer.height())), page,
                     made);
        }
        if (!painter.end())
            return {};
    }
    return buffer.data();
}

namespace {

bool writeChartFile(const QString &path, const QByteArray &bytes, QString *problem)
{
    if (const QString refused = reportTargetProblem(path); !refused.isEmpty()) {
        if (problem)
            *problem = refused;
        return false;
    }
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
