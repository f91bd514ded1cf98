#include "ui/ResultsWindow.h"

#include "protocol/CheckReportJson.h"
#include "store/CheckResults.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"
#include "store/ResultsWorker.h"
#include "store/ResultsYield.h"
#include "ui/ResultsCharts.h"
#include "ui/Toolkit.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace ktv {

namespace {

QTableWidget *makeTable(const QString &name, const QString &accessibleName,
                        const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setObjectName(name);
    table->setAccessibleName(accessibleName);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void fillRow(QTableWidget *table, int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

QLineEdit *addFilter(QFormLayout *form, const QString &caption, const QString &name,
                     QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    form->addRow(caption, box);
    return box;
}

} // namespace

ResultsWindow::ResultsWindow(const QString &storePath, const QString &journalPath,
                             ResultsWorker &worker, Toolkit &toolkit, QWidget *parent)
    : QDialog(parent), storePath_(storePath), journalPath_(journalPath), worker_(worker),
      toolkit_(toolkit)
{
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QStringLiteral("Results"));
    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    auto *left = new QFormLayout;
    auto *right = new QFormLayout;
    station_ = addFilter(left, QStringLiteral("&Station:"), QStringLiteral("txtStation"), this);
    unit_ = addFilter(left, QStringLiteral("&Unit model:"), QStringLiteral("txtUnitModel"), this);
    since_ = addFilter(right, QStringLiteral("S&ince:"), QStringLiteral("txtSince"), this);
    since_->setPlaceholderText(QStringLiteral("2026-12-08 or 2026-12-08T14:00"));
    failed_ = new QCheckBox(QStringLiteral("&Failed only"), this);
    failed_->setObjectName(QStringLiteral("chkFailedOnly"));
    right->addRow(failed_);
    show_ = new QPushButton(QStringLiteral("S&how"), this);
    show_->setObjectName(QStringLiteral("cmdShow"));
    show_->setDefault(true);
    connect(show_, &QPushButton::clicked, this, &ResultsWindow::refresh);
    filters->addLayout(left);
    filters->addLayout(right);
    filters->addWidget(show_, 0, Qt::AlignBottom);
    layout->addLayout(filters);

    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("lblSource"));
    source_->setWordWrap(true);
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(source_);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    results_ =
        makeTable(QStringLiteral("tblResults"), QStringLiteral("Results"),
                  {QStringLiteral("Started"), QStringLiteral("Serial"), QStringLiteral("Station"),
                   QStringLiteral("Operator"), QStringLiteral("Model"), QStringLiteral("Axis"),
                   QStringLiteral("Sheet"), QStringLiteral("Match"), QStringLiteral("Verdict"),
                   QStringLiteral("ID"), QStringLiteral("Sent")},
                  splitter);
    // The yield as the charts count it: units, said once above the table.
    auto *yieldBox = new QWidget(splitter);
    auto *yieldLayout = new QVBoxLayout(yieldBox);
    yieldLayout->setContentsMargins(0, 0, 0, 0);
    definition_ = new QLabel(yieldDefinitionText(), yieldBox);
    definition_->setObjectName(QStringLiteral("lblYieldDefinition"));
    definition_->setWordWrap(true);
    yields_ = makeTable(QStringLiteral("tblYield"), QStringLiteral("Yield of units"),
                        {QStringLiteral("Day"), QStringLiteral("Station"), QStringLiteral("Units"),
                         QStringLiteral("First pass"), QStringLiteral("Final"),
                         QStringLiteral("Retests")},
                        yieldBox);
    yields_->setAccessibleDescription(yieldDefinitionText());
    yieldLayout->addWidget(definition_);
    yieldLayout->addWidget(yields_, 1);
    charts_ = new ResultsCharts(toolkit_, splitter);
    connect(charts_, &ResultsCharts::serialEntered, this, &ResultsWindow::refresh);
    splitter->addWidget(results_);
    splitter->addWidget(yieldBox);
    splitter->addWidget(charts_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 4);
    layout->addWidget(splitter, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    more_ = buttons->addButton(QStringLiteral("&More"), QDialogButtonBox::ActionRole);
    more_->setObjectName(QStringLiteral("cmdMore"));
    more_->setEnabled(false);
    connect(more_, &QPushButton::clicked, this, &ResultsWindow::showMore);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(1000, 860);
    centreOnScreen(this); // smaller on a screen without the room
    refresh();
}

void ResultsWindow::refresh()
{
    ResultsFilter filter;
    filter.station = station_->text().trimmed();
    filter.unitModel = unit_->text().trimmed();
    filter.failedOnly = failed_->isChecked();
    filter.serial = charts_->serial();
    const QString since = since_->text().trimmed();
    if (!since.isEmpty()) {
        // Read in this bench's time zone; sent with its offset.
        // A date is ten characters: QDate reads the head of a time too.
        const QDate day = since.size() == 10 ? QDate::fromString(since, Qt::ISODate) : QDate();
        filter.since = day.isValid() ? day.startOfDay() : QDateTime::fromString(since, Qt::ISODate);
        if (!filter.since.isValid()) {
            toolkit_.showMessage(MessageIcon::Exclamation,
                                 QStringLiteral("Since takes a date such as 2026-12-08 or "
                                                "2026-12-08T14:00."));
            since_->setFocus();
            return;
        }
    }
    filter.limit = PageSize;
    filter_ = filter;
    load(false);
}

void ResultsWindow::showMore()
{
    // The next page starts below the oldest shown: read by the index on
    // the start time, however many pages came before.
    filter_.before = oldestShown_;
    load(true);
}

struct ResultsPage
{
    std::vector<CheckReport> reports;                // this page, newest first
    std::vector<CheckReport> waiting;                // the first page: this bench's unsent checks
    std::optional<std::vector<YieldFigures>> yields; // the first page: per station and day
    QSet<QUuid> waitingIds;
    QHash<QUuid, QDateTime> sent; // when a listed check reached the server
    bool fromServer = false;
    bool serverSet = false;
    bool more = false; // another page follows
    QString source;
    QString setting; // the results server's, for the charts
};

namespace {

// On the results worker's thread.
// progress hears what a long schema step on the server is doing.
ResultsPage readPage(ResultsServers &servers, const QString &storePath, const QString &journalPath,
                     const ResultsFilter &filter, bool append,
                     const std::function<void(const QString &)> &progress)
{
    ResultsPage page;
    ResultsFilter next = filter;
    next.limit = filter.limit + 1; // one more tells whether a page follows
    QString source;
    const StoredResultsSetting stored = readResultsSetting(storePath);
    if (!stored.problem.isEmpty())
        source = stored.problem + QStringLiteral(" The checks recorded on this computer follow.");
    std::optional<std::vector<CheckReport>> reports;
    if (ResultsServer *server = servers.server(stored.setting)) {
        QString problem;
        server->setProgress(progress);
        const auto quiet = qScopeGuard([server] { server->setProgress({}); });
        reports = server->list(next, &problem, &page.sent);
        if (reports && !append) {
            if (const auto figures = server->yieldFigures(filter, &problem))
                page.yields = yieldBy(*figures, YieldBy::StationDay, filter);
            else
                reports.reset();
        }
        if (reports) {
            source = QStringLiteral("The results database on %1.").arg(server->serverName());
            page.fromServer = true;
        } else {
            source = problem + QStringLiteral(" The checks recorded on this computer follow.");
        }
    }
    QString journalProblem;
    if (!reports) {
        page.sent.clear();
        reports = CheckResults(journalPath).list(next, &journalProblem, &page.sent);
        if (source.isEmpty())
            source = QStringLiteral("The checks recorded on this computer (%1).").arg(journalPath);
    }
    // Without a results server nothing waits to go anywhere.
    ResultsFilter unsent = filter;
    unsent.limit = 0;
    unsent.offset = 0;
    unsent.before = {};
    unsent.unsentOnly = true;
    const std::vector<CheckReport> waiting =
        stored.setting.isEmpty() ? std::vector<CheckReport>()
                                 : CheckResults(journalPath).list(unsent, &journalProblem);
    for (const CheckReport &report : waiting)
        page.waitingIds.insert(report.id);
    if (!page.yields && !append) // a unit's first check may be on an earlier page
        page.yields = yieldBy(yieldPerStationDay(CheckResults(journalPath).list({})),
                              YieldBy::StationDay, filter);
    if (page.yields) // newest day first, as the table lists the checks
        std::stable_sort(
            page.yields->begin(), page.yields->end(),
            [](const YieldFigures &a, const YieldFigures &b) { return a.day > b.day; });
    if (page.fromServer && !append)
        page.waiting = waiting;
    if (!journalProblem.isEmpty())
        source += QLatin1Char(' ') + journalProblem;
    if (!waiting.empty() && !stored.setting.isEmpty())
        source +=
            waiting.size() == 1
                ? QStringLiteral(" 1 result waits on this bench to be sent.")
                : QStringLiteral(" %1 results wait on this bench to be sent.").arg(waiting.size());
    page.more = int(reports->size()) > filter.limit;
    if (page.more)
        reports->pop_back();
    page.reports = std::move(*reports);
    page.source = source;
    page.setting = stored.setting;
    page.serverSet = !stored.setting.isEmpty();
    return page;
}

} // namespace

void ResultsWindow::load(bool append)
{
    show_->setEnabled(false);
    more_->setEnabled(false);
    if (!append)
        source_->setText(QStringLiteral("Reading the results…"));
    QPointer<ResultsWindow> self(this);
    // A schema step the read starts (the summaries filled from a year of
    // checks) says here what it does and how long it took, while the
    // worker's thread does it.
    auto progress = [self](const QString &text) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, text] {
                if (self)
                    self->source_->setText(text);
            },
            Qt::QueuedConnection);
    };
    worker_.post([self, store = storePath_, journal = journalPath_, filter = filter_, append,
                  progress](ResultsServers &servers) -> ResultsWorker::Reply {
        auto page = std::make_shared<ResultsPage>(
            readPage(servers, store, journal, filter, append, progress));
        return [self, page, append] {
            if (self)
                self->showPage(*page, append);
        };
    });
}

void ResultsWindow::showPage(const ResultsPage &page, bool append)
{
    show_->setEnabled(true);
    more_->setEnabled(page.more);
    source_->setText(page.source);
    if (!page.reports.empty())
        oldestShown_ = page.reports.back().started;
    if (!append)
        results_->setRowCount(0);
    // Sent: when the server took it (its own time, shown in this bench's),
    // "waiting" while it waits here, "no server set" when it goes nowhere.
    auto sentText = [&page](const CheckReport &report, bool waiting) {
        if (waiting)
            return QStringLiteral("waiting");
        if (const auto at = page.sent.constFind(report.id); at != page.sent.constEnd())
            return at->toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        return page.serverSet ? QStringLiteral("-") : QStringLiteral("no server set");
    };
    auto addRow = [&](const CheckReport &report, bool waiting) {
        const int row = results_->rowCount();
        results_->insertRow(row);
        fillRow(results_, row,
                {checkTimeText(report.started).left(19),
                 report.serial.isEmpty() ? QStringLiteral("-") : report.serial, report.station,
                 report.operatorName.isEmpty() ? QStringLiteral("-") : report.operatorName,
                 report.unit.unitModel, QString::number(report.unit.axis), report.sheetName,
                 QStringLiteral("%1/%2")
                     .arg(report.count(ValueVerdict::Match))
                     .arg(report.values.size()),
                 checkVerdictText(report.verdict), report.id.toString(QUuid::WithoutBraces),
                 sentText(report, waiting)});
    };
    // What waits on this bench is not on the server yet: it heads the list.
    for (const CheckReport &report : page.waiting)
        addRow(report, true);
    for (const CheckReport &report : page.reports) {
        const bool waiting = page.waitingIds.contains(report.id);
        if (!(waiting && page.fromServer)) // sent, its mark not yet kept: listed above
            addRow(report, waiting);
    }
    results_->resizeColumnsToContents();

    if (page.yields) {
        const std::vector<YieldFigures> &yields = *page.yields;
        yields_->setRowCount(int(yields.size()));
        for (int row = 0; row < int(yields.size()); ++row) {
            const YieldFigures &yield = yields[std::size_t(row)];
            auto passed = [&yield](int units) {
                return QStringLiteral("%1 (%2)").arg(units).arg(percentText(units, yield.units));
            };
            fillRow(yields_, row,
                    {yield.day.toString(Qt::ISODate), yield.station, QString::number(yield.units),
                     passed(yield.firstPassed), passed(yield.finalPassed),
                     QString::number(yield.retests())});
        }
        yields_->resizeColumnsToContents();
    }
    if (!append) {
        // The charts read on a thread of their own, with the filters shown
        // (every check, not a page).
        ResultsFilter charted = filter_;
        charted.limit = 0;
        charted.offset = 0;
        charted.before = {};
        charts_->load(page.setting, journalPath_, charted);
    }
    emit shown();
}

} // namespace ktv
