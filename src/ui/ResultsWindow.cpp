#include "ui/ResultsWindow.h"

#include "protocol/CheckReportJson.h"
#include "store/CheckResults.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"
#include "store/ResultsYield.h"
#include "ui/ResultsCharts.h"
#include "ui/Toolkit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

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

ResultsWindow::ResultsWindow(const QString &storePath, const QString &journalPath, Toolkit &toolkit,
                             QWidget *parent)
    : QDialog(parent), storePath_(storePath), journalPath_(journalPath), toolkit_(toolkit)
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
                  {QStringLiteral("Started"), QStringLiteral("Station"), QStringLiteral("Operator"),
                   QStringLiteral("Model"), QStringLiteral("Axis"), QStringLiteral("Sheet"),
                   QStringLiteral("Match"), QStringLiteral("Verdict"), QStringLiteral("ID")},
                  splitter);
    yields_ = makeTable(QStringLiteral("tblYield"), QStringLiteral("Yield"),
                        {QStringLiteral("Day"), QStringLiteral("Station"), QStringLiteral("Passed"),
                         QStringLiteral("Checks"), QStringLiteral("Yield")},
                        splitter);
    charts_ = new ResultsCharts(toolkit_, splitter);
    connect(charts_, &ResultsCharts::serialEntered, this, &ResultsWindow::refresh);
    splitter->addWidget(results_);
    splitter->addWidget(yields_);
    splitter->addWidget(charts_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 4);
    layout->addWidget(splitter, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
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
        const QDate day = QDate::fromString(since, Qt::ISODate);
        filter.since = day.isValid() ? day.startOfDay() : QDateTime::fromString(since, Qt::ISODate);
        if (!filter.since.isValid()) {
            toolkit_.showMessage(MessageIcon::Exclamation,
                                 QStringLiteral("Since takes a date such as 2026-12-08 or "
                                                "2026-12-08T14:00."));
            since_->setFocus();
            return;
        }
    }

    std::optional<std::vector<CheckReport>> reports;
    std::optional<std::vector<StationYield>> yields;
    QString source;
    const StoredResultsSetting stored = readResultsSetting(storePath_);
    charts_->load(stored.setting, journalPath_, filter); // on a worker thread
    if (!stored.problem.isEmpty())
        source = stored.problem + QStringLiteral(" The checks recorded on this computer follow.");
    if (!stored.setting.isEmpty()) {
        // A server away holds the window for the connect timeout at most.
        toolkit_.showWaitCursor();
        ResultsServer server(stored.setting);
        QString problem;
        reports = server.list(filter, &problem);
        if (reports)
            yields = server.yield(filter, &problem);
        toolkit_.showNormalCursor();
        if (reports && yields)
            source = QStringLiteral("The results database on %1.").arg(server.serverName());
        else
            source = problem + QStringLiteral(" The checks recorded on this computer follow.");
    }
    if (!reports || !yields) {
        QString problem;
        reports = CheckResults(journalPath_).list(filter, &problem);
        yields = stationYields(*reports);
        if (source.isEmpty())
            source = QStringLiteral("The checks recorded on this computer (%1).").arg(journalPath_);
        if (!problem.isEmpty())
            source += QLatin1Char(' ') + problem;
    }
    source_->setText(source);

    results_->setRowCount(int(reports->size()));
    for (int row = 0; row < int(reports->size()); ++row) {
        const CheckReport &report = (*reports)[std::size_t(row)];
        fillRow(results_, row,
                {checkTimeText(report.started).left(19), report.station,
                 report.operatorName.isEmpty() ? QStringLiteral("-") : report.operatorName,
                 report.unit.unitModel, QString::number(report.unit.axis), report.sheetName,
                 QStringLiteral("%1/%2")
                     .arg(report.count(ValueVerdict::Match))
                     .arg(report.values.size()),
                 checkVerdictText(report.verdict), report.id.toString(QUuid::WithoutBraces)});
    }
    results_->resizeColumnsToContents();

    yields_->setRowCount(int(yields->size()));
    for (int row = 0; row < int(yields->size()); ++row) {
        const StationYield &yield = (*yields)[std::size_t(row)];
        const double percent = yield.total > 0 ? 100.0 * yield.passed / yield.total : 0.0;
        fillRow(yields_, row,
                {yield.day.toString(Qt::ISODate), yield.station, QString::number(yield.passed),
                 QString::number(yield.total), QStringLiteral("%1 %").arg(percent, 0, 'f', 1)});
    }
    yields_->resizeColumnsToContents();
}

} // namespace ktv
