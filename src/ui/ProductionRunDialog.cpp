#include "ui/ProductionRunDialog.h"

#include "protocol/SettingsText.h"
#include "session/CheckRun.h"
#include "session/UnitFinder.h"
#include "session/UnitSession.h"
#include "ui/ProgressDialog.h"
#include "ui/Toolkit.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QSysInfo>
#include <QTableView>
#include <QVBoxLayout>

namespace ktv {

namespace {

// No more than one question a second while a unit is awaited or leaving.
constexpr double AskEverySeconds = 1.0;
constexpr double PauseSliceSeconds = 0.1;
const int Rates[] = {9600, 28800, 38400, 115200};

const QStringList ResultColumns = {QStringLiteral("#"),       QStringLiteral("Time"),
                                   QStringLiteral("Unit"),    QStringLiteral("Revision"),
                                   QStringLiteral("Address"), QStringLiteral("Verdict"),
                                   QStringLiteral("Seconds"), QStringLiteral("Problem")};

QString verdictWord(const CheckReport &report)
{
    return report.verdict == CheckVerdict::Pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

QString valueName(const CheckedValue &value)
{
    return value.profile > 0
               ? QStringLiteral("Profile %1, %2").arg(value.profile).arg(value.caption)
               : value.caption;
}

// "Profile 1, Max Speed: sheet 5200, unit 5000 (not kept)"
QString differenceLine(const CheckedValue &value)
{
    return QStringLiteral("%1: sheet %2, unit %3 (%4)")
        .arg(valueName(value), value.sheetValue, value.unitValue.value_or(QStringLiteral("-")),
             valueVerdictText(value.verdict));
}

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
            names << valueName(value);
    }
    return names.join(QStringLiteral("; "));
}

} // namespace

struct ProductionRunDialog::Request
{
    CheckRequest check;
};

ProductionRunDialog::ProductionRunDialog(UnitSession &session, Actions actions, QWidget *parent)
    : QDialog(parent), session_(session), actions_(std::move(actions))
{
    setObjectName(QStringLiteral("ProductionRun"));
    setWindowTitle(QStringLiteral("Production Run"));
    setWindowModality(Qt::WindowModal);

    sheet_ = new QLineEdit(this);
    sheet_->setObjectName(QStringLiteral("txtSheet"));
    browse_ = new QPushButton(QStringLiteral("&Browse..."), this);
    browse_->setObjectName(QStringLiteral("cmdBrowse"));
    browse_->setAutoDefault(false);
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString path = actions_.chooseSheet();
        if (!path.isEmpty())
            sheet_->setText(path);
    });
    operator_ = new QLineEdit(this);
    operator_->setObjectName(QStringLiteral("txtOperator"));
    station_ = new QLineEdit(QSysInfo::machineHostName(), this);
    station_->setObjectName(QStringLiteral("txtStation"));
    baud_ = new QComboBox(this);
    baud_->setObjectName(QStringLiteral("cboBaud"));
    for (int rate : Rates)
        baud_->addItem(QString::number(rate), rate);
    // The rate of the unit connected now is the likely rate of the next ones.
    const int known = session_.state.UnitConnected ? session_.link.baudRateInForce() : 9600;
    baud_->setCurrentIndex(std::max(0, baud_->findData(known)));

    auto *sheetRow = new QHBoxLayout;
    sheetRow->addWidget(sheet_, 1);
    sheetRow->addWidget(browse_);
    auto *form = new QFormLayout;
    auto *sheetLabel = new QLabel(QStringLiteral("&Sheet:"), this);
    sheetLabel->setBuddy(sheet_);
    form->addRow(sheetLabel, sheetRow);
    form->addRow(QStringLiteral("&Operator:"), operator_);
    form->addRow(QStringLiteral("S&tation:"), station_);
    form->addRow(QStringLiteral("&Baud:"), baud_);

    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("lblVerdict"));
    verdict_->setAlignment(Qt::AlignCenter);
    QFont big = verdict_->font();
    big.setPointSize(std::max(36, big.pointSize() * 4));
    big.setBold(true);
    verdict_->setFont(big);
    verdict_->setMinimumHeight(QFontMetrics(big).height() + 8);
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("lblRunState"));
    state_->setAlignment(Qt::AlignCenter);
    QFont bold = state_->font();
    bold.setPointSize(bold.pointSize() + 4);
    bold.setBold(true);
    state_->setFont(bold);
    differences_ = new QListWidget(this);
    differences_->setObjectName(QStringLiteral("lstDifferences"));
    differences_->setAccessibleName(QStringLiteral("Fields that differ"));
    differences_->setMaximumHeight(120);
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("lblCounts"));
    port_ = new QLabel(this);
    port_->setObjectName(QStringLiteral("lblPort"));
    port_->setStyleSheet(QStringLiteral("color: #b00000"));
    port_->setWordWrap(true);

    results_ = new QStandardItemModel(0, int(ResultColumns.size()), this);
    results_->setHorizontalHeaderLabels(ResultColumns);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblResults"));
    table_->setModel(results_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);

    auto *buttons = new QDialogButtonBox(this);
    start_ = buttons->addButton(QStringLiteral("S&tart"), QDialogButtonBox::ActionRole);
    start_->setObjectName(QStringLiteral("cmdStart"));
    stop_ = buttons->addButton(QStringLiteral("St&op"), QDialogButtonBox::ActionRole);
    stop_->setObjectName(QStringLiteral("cmdStop"));
    stop_->setAutoDefault(false);
    hardLimit_ = addHardLimitButton(buttons, actions_.hardLimit);
    reportButtons_ = addReportButtons(
        buttons, actions_.reports, QStringLiteral("production-run"), [this] { return runPage(); },
        [this] { return unitPages(); });
    close_ = buttons->addButton(QDialogButtonBox::Close);
    close_->setObjectName(QStringLiteral("cmdClose"));
    close_->setAutoDefault(false);
    connect(start_, &QPushButton::clicked, this, &ProductionRunDialog::start);
    connect(stop_, &QPushButton::clicked, this, &ProductionRunDialog::stop);
    connect(buttons, &QDialogButtonBox::rejected, this, &ProductionRunDialog::reject);

    auto *column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(verdict_);
    column->addWidget(state_);
    column->addWidget(differences_);
    column->addWidget(port_);
    kept_ = new QLabel(this);
    kept_->setObjectName(QStringLiteral("lblKept"));
    kept_->setWordWrap(true);
    column->addWidget(kept_);
    column->addWidget(counts_);
    column->addWidget(table_, 1);
    column->addWidget(buttons);
    setRunning(false);
    updateCounts();
    resize(760, 640);
    centreOnScreen(this);
}

ProductionRunDialog::~ProductionRunDialog() = default;

bool ProductionRunDialog::ending() const
{
    return session_.isEnding();
}

void ProductionRunDialog::setRunning(bool running)
{
    running_ = running;
    for (QWidget *setup :
         std::initializer_list<QWidget *>{sheet_, browse_, operator_, station_, baud_, start_})
        setup->setEnabled(!running);
    stop_->setEnabled(running);
    reportButtons_.exportCsv->setEnabled(!running);
    reportButtons_.print->setEnabled(!running);
}

void ProductionRunDialog::showState(const QString &text, const QString &colour)
{
    state_->setText(text);
    state_->setStyleSheet(colour.isEmpty() ? QString() : QStringLiteral("color: %1").arg(colour));
    emit stateShown(text);
}

void ProductionRunDialog::start()
{
    if (running_)
        return;
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(sheet_->text(), &problem);
    if (!request) {
        actions_.refused(sheet_->text().isEmpty() ? QStringLiteral("Choose a sheet first.")
                                                  : problem);
        return;
    }
    request->load = true;
    request->operatorName = operator_->text().trimmed();
    request->station = station_->text().trimmed();
    request_ = std::make_unique<Request>(Request{std::move(*request)});
    address_ = session_.state.AxisAddress;

    // The run owns the line: whatever was connected is let go, and the port
    // opens at the chosen rate.
    session_.link.closePort();
    session_.state.UnitConnected = false;
    session_.view().showConnectionStatus(false);
    stopAsked_ = false;
    lastAsked_.invalidate();
    setRunning(true);
    while (!stopAsked_ && !ending()) {
        const std::optional<FoundUnit> unit = waitForUnit();
        if (!unit)
            break;
        check(*unit);
        waitForRemoval();
    }
    if (ending())
        return;
    session_.link.closePort();
    session_.state.UnitConnected = false;
    session_.view().showConnectionStatus(false);
    setRunning(false);
    showState(QStringLiteral("Run stopped"));
}

void ProductionRunDialog::stop()
{
    if (!running_)
        return;
    stopAsked_ = true;
    stop_->setEnabled(false);
    showState(QStringLiteral("Stopping..."));
}

void ProductionRunDialog::reject()
{
    if (running_) {
        stop();
        return;
    }
    QDialog::reject();
}

bool ProductionRunDialog::pause(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!stopAsked_ && !ending()) {
        const double left = seconds - double(clock.elapsed()) / 1000.0;
        if (left <= 0)
            return true;
        session_.link.WaitSeconds(std::min(left, PauseSliceSeconds));
    }
    return false;
}

std::optional<FoundUnit> ProductionRunDialog::ask()
{
    if (lastAsked_.isValid() && !pause(AskEverySeconds - double(lastAsked_.elapsed()) / 1000.0))
        return std::nullopt;
    lastAsked_.start();
    SerialLink &link = session_.link;
    const QString device = link.deviceForPort(session_.state.ComPortNumber);
    // An adapter that went and came back (or another one under its name) is
    // a new device: the port open on the old one hears nothing any more.
    if (link.PortOpen() && QFileInfo(device).canonicalFilePath() != openedDevice_)
        link.closePort();
    if (!link.PortOpen()) {
        link.setCommPort(session_.state.ComPortNumber);
        link.setSettings(settingsTextForBaud(baud_->currentData().toInt()));
        QString reason;
        if (!link.openPort(&reason)) {
            port_->setText(QStringLiteral("COM %1 (%2) does not open: %3")
                               .arg(session_.state.ComPortNumber)
                               .arg(device, reason));
            return std::nullopt;
        }
        openedDevice_ = QFileInfo(device).canonicalFilePath();
        port_->clear();
    }
    return probeAddress(session_, address_.toInt());
}

std::optional<FoundUnit> ProductionRunDialog::waitForUnit()
{
    showState(QStringLiteral("Waiting for a unit"));
    while (!stopAsked_ && !ending()) {
        const std::optional<FoundUnit> found = ask();
        if (found && !found->collision)
            return found;
        if (found)
            showState(QStringLiteral("More than one unit answers at address %1").arg(address_),
                      QStringLiteral("#b00000"));
    }
    return std::nullopt;
}

void ProductionRunDialog::waitForRemoval()
{
    if (stopAsked_ || ending())
        return;
    showState(QStringLiteral("Remove the unit"));
    while (!stopAsked_ && !ending()) {
        if (!ask())
            break;
    }
    session_.state.UnitConnected = false;
    if (!ending())
        session_.view().showConnectionStatus(false);
}

void ProductionRunDialog::check(const FoundUnit &unit)
{
    verdict_->clear();
    differences_->clear();
    showState(QStringLiteral("Checking the %1 at address %2").arg(unit.modelId, address_));
    session_.state.UnitConnected = true;
    session_.state.IdentifiedVELD50 = unit.modelId == QLatin1String("VELD50");
    session_.view().showConnectionStatus(true);
    CheckRun run(session_, checkedUnitOf(session_, {unit.modelId, unit.revision}));
    run.setProgress([this, model = unit.modelId](const QString &value, int done, int total) {
        state_->setText(QStringLiteral("Checking the %1: %2 (%3/%4)")
                            .arg(model, value)
                            .arg(done + 1)
                            .arg(total));
    });
    reports_.push_back(run.run(request_->check));
    if (ending())
        return;
    const CheckReport &report = reports_.back();
    if (actions_.keep) {
        kept_->clear();
        actions_.keep(report, [kept = QPointer<QLabel>(kept_)](const QString &text) {
            if (kept)
                kept->setText(text);
        });
    }
    showVerdict(report);

    const int number = int(reports_.size());
    QList<QStandardItem *> row;
    for (const QString &text :
         {QString::number(number), report.started.toString(QStringLiteral("HH:mm:ss")),
          report.unit.unitModel, report.unit.revision, QString::number(report.unit.axis),
          verdictWord(report), QString::number(secondsOf(report), 'f', 1), problemOf(report)})
        row << new QStandardItem(text);
    results_->appendRow(row);
    table_->resizeColumnsToContents();
    table_->scrollToBottom();
    updateCounts();
}

void ProductionRunDialog::showVerdict(const CheckReport &report)
{
    const bool pass = report.verdict == CheckVerdict::Pass;
    verdict_->setText(verdictWord(report));
    verdict_->setStyleSheet(pass ? QStringLiteral("color: white; background: #1a7f37")
                                 : QStringLiteral("color: white; background: #c62828"));
    differences_->clear();
    if (!report.problem.isEmpty())
        differences_->addItem(report.problem);
    for (const CheckedValue &value : report.values) {
        if (value.verdict != ValueVerdict::Match)
            differences_->addItem(differenceLine(value));
    }
}

void ProductionRunDialog::updateCounts()
{
    int passed = 0;
    double seconds = 0;
    for (const CheckReport &report : reports_) {
        passed += report.verdict == CheckVerdict::Pass ? 1 : 0;
        seconds += secondsOf(report);
    }
    const int total = int(reports_.size());
    QString text = QStringLiteral("Passed %1    Failed %2    Total %3")
                       .arg(passed)
                       .arg(total - passed)
                       .arg(total);
    if (total > 0)
        text += QStringLiteral("    Last unit %1 s    Average %2 s")
                    .arg(secondsOf(reports_.back()), 0, 'f', 1)
                    .arg(seconds / total, 0, 'f', 1);
    counts_->setText(text);
}

ReportPage ProductionRunDialog::runPage() const
{
    ReportPage page;
    page.title = windowTitle();
    int passed = 0;
    for (const CheckReport &report : reports_)
        passed += report.verdict == CheckVerdict::Pass ? 1 : 0;
    const int total = int(reports_.size());
    page.facts = {
        {QStringLiteral("Station"), request_ ? request_->check.station : QString()},
        {QStringLiteral("Operator"), request_ ? request_->check.operatorName : QString()},
        {QStringLiteral("Sheet"), request_ ? request_->check.sheetName : QString()},
        {QStringLiteral("Sheet SHA-256"), request_ ? request_->check.sheetSha256 : QString()},
        {QStringLiteral("Local time"), reportTime(QDateTime::currentDateTime())},
        {QStringLiteral("Passed"), QString::number(passed)},
        {QStringLiteral("Failed"), QString::number(total - passed)},
        {QStringLiteral("Total"), QString::number(total)}};
    page.columns = ResultColumns;
    for (int row = 0; row < results_->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < results_->columnCount(); ++column)
            cells << results_->item(row, column)->text();
        page.rows.push_back(cells);
    }
    return page;
}

std::vector<ReportPage> ProductionRunDialog::unitPages() const
{
    std::vector<ReportPage> pages;
    for (const CheckReport &report : reports_) {
        ReportPage page;
        page.title = QStringLiteral("Production Check - %1").arg(report.unit.unitModel);
        page.verdict = verdictWord(report);
        page.facts = {{QStringLiteral("Unit"), report.unit.unitModel},
                      {QStringLiteral("Revision"), report.unit.revision},
                      {QStringLiteral("Address"), QString::number(report.unit.axis)},
                      {QStringLiteral("Baud"), QString::number(report.unit.baud)},
                      {QStringLiteral("Device"), report.unit.device}};
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
            page.rows.push_back(
                {valueName(value), value.sheetValue, value.unitValue.value_or(QString()), verdict});
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

} // namespace ktv
