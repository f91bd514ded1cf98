// Production Run's results: the table of the run's units (its last few
// hundred rows on screen), the counts, and the pages Export and Print make.
#include "session/CheckRun.h"
#include "session/StationRun.h"
#include "ui/ProductionLinePanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>

namespace ktv {

namespace {

const QStringList ResultColumns = {QStringLiteral("#"),        QStringLiteral("Time"),
                                   QStringLiteral("Serial"),   QStringLiteral("Unit"),
                                   QStringLiteral("Revision"), QStringLiteral("Address"),
                                   QStringLiteral("Verdict"),  QStringLiteral("Seconds"),
                                   QStringLiteral("Problem"),  QStringLiteral("Line")};

// The rows of the table on screen; a shift's others are in the journal.
constexpr int TableRows = 300;

double secondsOf(const CheckReport &report)
{
    return double(report.started.msecsTo(report.ended)) / 1000.0;
}

// What went wrong, in one cell: the report's problem, else the fields that differ.
QString problemOf(const CheckReport &report)
{
    if (!report.problem.isEmpty())
        return report.problem;
    QStringList names;
    for (const CheckedValue &value : report.values) {
        if (value.verdict != ValueVerdict::Match)
            names << checkedValueName(value);
    }
    return names.join(QStringLiteral("; "));
}

} // namespace

QTableView *ProductionRunDialog::makeResultsTable(QWidget *parent)
{
    results_ = new QStandardItemModel(0, int(ResultColumns.size()), this);
    results_->setHorizontalHeaderLabels(ResultColumns);
    table_ = new QTableView(parent);
    table_->setObjectName(QStringLiteral("tblResults"));
    table_->setAccessibleName(QStringLiteral("Results of this run"));
    table_->setModel(results_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumHeight(140);
    return table_;
}

void ProductionRunDialog::addResult(const LinePanel &line, const CheckReport &report,
                                    const QString &keptProblem)
{
    reports_.push_back(report);
    // Where a result went arrives later, through keep's told (start()).
    if (report.verdict != CheckVerdict::Refused && !keptProblem.isEmpty())
        line.kept->setText(keptProblem);
    const int number = int(reports_.size());
    const QStringList cells = {QString::number(number),
                               report.started.toString(QStringLiteral("HH:mm:ss")),
                               report.serial,
                               report.unit.unitModel,
                               report.unit.revision,
                               QString::number(report.unit.axis),
                               stationVerdictWord(report),
                               QString::number(secondsOf(report), 'f', 1),
                               problemOf(report),
                               QStringLiteral("COM %1").arg(line.comPort)};
    rows_.push_back(cells);
    QList<QStandardItem *> row;
    for (const QString &text : cells)
        row << new QStandardItem(text);
    results_->appendRow(row);
    // Over a shift: the last rows on screen, every one in the journal and
    // in Export and Print.
    if (results_->rowCount() > TableRows)
        results_->removeRows(0, results_->rowCount() - TableRows);
    if (number <= 20 || number % 50 == 0)
        table_->resizeColumnsToContents();
    table_->scrollToBottom();
    updateCounts();
}

// A refused unit was not checked: it is neither passed nor failed, and its
// time is left out of the average.
void ProductionRunDialog::updateCounts()
{
    int passed = 0;
    int failed = 0;
    double seconds = 0;
    const CheckReport *last = nullptr;
    for (const CheckReport &report : reports_) {
        if (report.verdict == CheckVerdict::Refused)
            continue;
        (report.verdict == CheckVerdict::Pass ? passed : failed) += 1;
        seconds += secondsOf(report);
        last = &report;
    }
    const int refused = int(reports_.size()) - passed - failed;
    const int total = passed + failed;
    QString text = QStringLiteral("Passed %1    Failed %2").arg(passed).arg(failed);
    if (refused > 0)
        text += QStringLiteral("    Refused %1").arg(refused);
    text += QStringLiteral("    Total %1").arg(total);
    if (last)
        text += QStringLiteral("    Last unit %1 s    Average %2 s")
                    .arg(secondsOf(*last), 0, 'f', 1)
                    .arg(seconds / total, 0, 'f', 1);
    counts_->setText(text);
}

ReportPage ProductionRunDialog::runPage() const
{
    ReportPage page;
    page.title = windowTitle();
    int passed = 0;
    int refused = 0;
    for (const CheckReport &report : reports_) {
        passed += report.verdict == CheckVerdict::Pass ? 1 : 0;
        refused += report.verdict == CheckVerdict::Refused ? 1 : 0;
    }
    const int total = int(reports_.size()) - refused;
    page.facts = {{QStringLiteral("Station"), request_ ? request_->station : QString()},
                  {QStringLiteral("Operator"), request_ ? request_->operatorName : QString()},
                  {QStringLiteral("Sheet"), request_ ? request_->sheetName : QString()},
                  {QStringLiteral("Sheet SHA-256"), request_ ? request_->sheetSha256 : QString()},
                  {QStringLiteral("Local time"), reportTime(QDateTime::currentDateTime())},
                  {QStringLiteral("Passed"), QString::number(passed)},
                  {QStringLiteral("Failed"), QString::number(total - passed)}};
    if (refused > 0)
        page.facts.emplace_back(QStringLiteral("Refused"), QString::number(refused));
    page.facts.emplace_back(QStringLiteral("Total"), QString::number(total));
    page.columns = ResultColumns;
    for (const QStringList &cells : rows_)
        page.rows.push_back(cells);
    return page;
}

std::vector<ReportPage> ProductionRunDialog::unitPages() const
{
    std::vector<ReportPage> pages;
    for (const CheckReport &report : reports_) {
        ReportPage page;
        page.title = QStringLiteral("Production Check - %1").arg(report.unit.unitModel);
        page.verdict = stationVerdictWord(report);
        page.facts = {{QStringLiteral("Unit"), report.unit.unitModel}};
        if (!report.serial.isEmpty())
            page.facts.emplace_back(QStringLiteral("Serial number"), report.serial);
        const std::pair<QString, QString> identity[] = {
            {QStringLiteral("Revision"), report.unit.revision},
            {QStringLiteral("Address"), QString::number(report.unit.axis)},
            {QStringLiteral("Baud"), QString::number(report.unit.baud)},
            {QStringLiteral("Device"), report.unit.device}};
        for (const auto &fact : identity)
            page.facts.push_back(fact);
        if (!report.unit.byId.isEmpty())
            page.facts.emplace_back(QStringLiteral("Adapter"), report.unit.byId);
        if (!report.unit.serialNumber.isEmpty())
            page.facts.emplace_back(QStringLiteral("Adapter serial number"),
                                    report.unit.serialNumber);
        const std::pair<QString, QString> more[] = {
            {QStringLiteral("Station"), report.station},
            {QStringLiteral("Operator"), report.operatorName},
            {QStringLiteral("Sheet"), report.sheetName},
            {QStringLiteral("Sheet SHA-256"), report.sheetSha256},
            {QStringLiteral("Loaded"),
             report.loaded ? QStringLiteral("yes") : QStringLiteral("no")},
            {QStringLiteral("Started"), reportTime(report.started)},
            {QStringLiteral("Ended"), reportTime(report.ended)},
            {QStringLiteral("Check"), report.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("Verdict"), checkVerdictText(report.verdict)}};
        for (const auto &fact : more)
            page.facts.push_back(fact);
        if (!report.problem.isEmpty())
            page.facts.emplace_back(QStringLiteral("Problem"), report.problem);
        page.columns = QStringList{QStringLiteral("Value"), QStringLiteral("Sheet"),
                                   QStringLiteral("Unit"), QStringLiteral("Verdict")};
        for (const CheckedValue &value : report.values) {
            QString verdict = valueVerdictText(value.verdict);
            if (!value.problem.isEmpty())
                verdict += QStringLiteral(": ") + value.problem;
            page.rows.push_back({checkedValueName(value), value.sheetValue,
                                 value.unitValue.value_or(QString()), verdict});
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace ktv
