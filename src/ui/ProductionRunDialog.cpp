#include "ui/ProductionRunDialog.h"

#include "protocol/UnitCatalogue.h"
#include "session/CheckRun.h"
#include "session/StationLine.h"
#include "session/UnitSession.h"
#include "store/SerialSetting.h"
#include "ui/ProgressDialog.h"
#include "ui/Toolkit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QSysInfo>
#include <QTableView>
#include <QVBoxLayout>

namespace ktv {

namespace {

const QStringList ResultColumns = {QStringLiteral("#"),        QStringLiteral("Time"),
                                   QStringLiteral("Serial"),   QStringLiteral("Unit"),
                                   QStringLiteral("Revision"), QStringLiteral("Address"),
                                   QStringLiteral("Verdict"),  QStringLiteral("Seconds"),
                                   QStringLiteral("Problem"),  QStringLiteral("Line")};

QString verdictWord(const CheckReport &report)
{
    return stationVerdictWord(report);
}

// "1, 2 3" -> {1, 2, 3}; none when a word is not a COM number or one repeats.
std::optional<QList<int>> comPortsOf(const QString &text)
{
    QList<int> ports;
    for (const QString &word :
         text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int port = word.toInt(&ok);
        if (!ok || port < 1 || port > 255 || ports.contains(port))
            return std::nullopt;
        ports << port;
    }
    if (ports.isEmpty())
        return std::nullopt;
    return ports;
}

// "Profile 1, Max Speed: sheet 5200, unit 5000 (not kept)"
QString differenceLine(const CheckedValue &value)
{
    return QStringLiteral("%1: sheet %2, unit %3 (%4)")
        .arg(checkedValueName(value), value.sheetValue,
             value.unitValue.value_or(QStringLiteral("-")), valueVerdictText(value.verdict));
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
            names << checkedValueName(value);
    }
    return names.join(QStringLiteral("; "));
}

} // namespace

// One line's panel, and the view its StationLine reports to.
class ProductionRunDialog::LinePanel : public StationView
{
  public:
    LinePanel(ProductionRunDialog &dialog, int comPort, const QString &device)
        : dialog_(dialog), comPort(comPort), device(device)
    {
        box = new QGroupBox(stationLineName(comPort, device), &dialog);
        box->setObjectName(QStringLiteral("fraLine%1").arg(comPort));
        verdict = new QLabel(box);
        verdict->setObjectName(QStringLiteral("lblVerdict"));
        verdict->setAlignment(Qt::AlignCenter);
        QFont big = verdict->font();
        big.setPointSize(std::max(36, big.pointSize() * 4));
        big.setBold(true);
        verdict->setFont(big);
        verdict->setMinimumHeight(QFontMetrics(big).height() + 8);
        state = new QLabel(box);
        state->setObjectName(QStringLiteral("lblRunState"));
        state->setAlignment(Qt::AlignCenter);
        state->setWordWrap(true);
        QFont bold = state->font();
        bold.setPointSize(bold.pointSize() + 4);
        bold.setBold(true);
        state->setFont(bold);
        differences = new QListWidget(box);
        differences->setObjectName(QStringLiteral("lstDifferences"));
        differences->setAccessibleName(QStringLiteral("Fields that differ"));
        differences->setMaximumHeight(120);
        serial = new QLineEdit(box);
        serial->setObjectName(QStringLiteral("txtSerial%1").arg(comPort));
        serial->setAccessibleName(QStringLiteral("Serial number COM %1").arg(comPort));
        serial->setPlaceholderText(QStringLiteral("Serial number"));
        serial->setEnabled(false);
        // A scanner types the number and presses Enter, as a keyboard does.
        QObject::connect(serial, &QLineEdit::returnPressed, &dialog, [this] {
            if (!serials)
                return;
            serials->give(serial->text());
            serial->clear();
        });
        serialProblem = new QLabel(box);
        serialProblem->setObjectName(QStringLiteral("lblSerial"));
        serialProblem->setStyleSheet(QStringLiteral("color: #b00000"));
        serialProblem->setWordWrap(true);
        port = new QLabel(box);
        port->setObjectName(QStringLiteral("lblPort"));
        port->setStyleSheet(QStringLiteral("color: #b00000"));
        port->setWordWrap(true);
        kept = new QLabel(box);
        kept->setObjectName(QStringLiteral("lblKept"));
        kept->setWordWrap(true);
        stop = new QPushButton(QStringLiteral("Stop"), box);
        stop->setObjectName(QStringLiteral("cmdStopLine%1").arg(comPort));
        stop->setAccessibleName(QStringLiteral("Stop COM %1").arg(comPort));
        stop->setAutoDefault(false);
        stop->setEnabled(false);
        QObject::connect(stop, &QPushButton::clicked, &dialog, [this] {
            if (line && line->isRunning()) {
                line->stop();
                stop->setEnabled(false);
                showState(QStringLiteral("Stopping..."));
            }
        });
        auto *column = new QVBoxLayout(box);
        column->addWidget(verdict);
        column->addWidget(state);
        column->addWidget(differences);
        column->addWidget(serial);
        column->addWidget(serialProblem);
        column->addWidget(port);
        column->addWidget(kept);
        column->addWidget(stop, 0, Qt::AlignRight);
    }
    ~LinePanel() override
    {
        // The line first: nothing of it may reach this view any more.
        line.reset();
        delete box;
    }

    void showState(const QString &text, const QString &colour = QString())
    {
        state->setText(text);
        state->setStyleSheet(colour.isEmpty() ? QString()
                                              : QStringLiteral("color: %1").arg(colour));
        emit dialog_.stateShown(text);
    }

    void showStationState(const QString &text) override
    {
        // Whatever the line does now, it no longer waits for a number.
        serial->setEnabled(false);
        serialProblem->clear();
        if (text == QLatin1String("Run stopped"))
            stop->setEnabled(false);
        showState(text);
    }
    void showCheckProgress(const QString &text) override { state->setText(text); }
    void showLineProblem(const QString &text) override { port->setText(text); }
    void showResult(const CheckReport &report, const QString &keptProblem) override
    {
        const QString word = verdictWord(report);
        verdict->setText(word);
        verdict->setStyleSheet(
            word == QLatin1String("PASS")   ? QStringLiteral("color: white; background: #1a7f37")
            : word == QLatin1String("FAIL") ? QStringLiteral("color: white; background: #c62828")
                                            : QStringLiteral("color: white; background: #8a6d00"));
        differences->clear();
        if (!report.problem.isEmpty())
            differences->addItem(report.problem);
        for (const CheckedValue &value : report.values) {
            if (value.verdict != ValueVerdict::Match)
                differences->addItem(differenceLine(value));
        }
        dialog_.addResult(*this, report, keptProblem);
    }
    void askSerialNumber(const QString &refusal) override
    {
        serialProblem->setText(refusal);
        serial->setEnabled(true);
        // Into this line's box, unless the operator is typing in another's.
        const auto *typing = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        if (!typing || typing == serial || !typing->objectName().startsWith(u"txtSerial") ||
            typing->text().isEmpty())
            serial->setFocus();
    }
    void showUnitGone() override
    {
        verdict->clear();
        verdict->setStyleSheet(QString());
        differences->clear();
    }
    void showRunEnded() override {}

    ProductionRunDialog &dialog_;
    const int comPort;
    const QString device;
    QGroupBox *box = nullptr;
    QLabel *verdict = nullptr;
    QLabel *state = nullptr;
    QListWidget *differences = nullptr;
    QLineEdit *serial = nullptr;
    QLabel *serialProblem = nullptr;
    QLabel *port = nullptr;
    QLabel *kept = nullptr; // where this line's last result went, when it did not simply go
    QPushButton *stop = nullptr;
    std::shared_ptr<GivenSerialNumbers> serials;
    std::unique_ptr<StationLine> line;
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
    ports_ = new QLineEdit(QString::number(std::max(1, session_.state.ComPortNumber)), this);
    ports_->setObjectName(QStringLiteral("txtComPorts"));
    ports_->setToolTip(QStringLiteral("One COM port per line, for example 1, 2, 3"));
    baud_ = new QComboBox(this);
    baud_->setObjectName(QStringLiteral("cboBaud"));
    for (int rate : ScanRates)
        baud_->addItem(QString::number(rate), rate);
    // The rate of the unit connected now is the likely rate of the next ones.
    const int known = session_.state.UnitConnected ? session_.link.baudRateInForce() : 9600;
    baud_->setCurrentIndex(std::max(0, baud_->findData(known)));
    // The window's fixed waits, or each wait ended by the unit's reply (a
    // value the unit missed is then written again with the fixed waits).
    pace_ = new QComboBox(this);
    pace_->setObjectName(QStringLiteral("cboPace"));
    pace_->addItem(QStringLiteral("Fixed waits"), int(Pace::Fixed));
    pace_->addItem(QStringLiteral("Follow the unit's replies"), int(Pace::Reply));
    askSerial_ = new QCheckBox(QStringLiteral("&Ask each unit's serial number"), this);
    askSerial_->setObjectName(QStringLiteral("chkAskSerial"));
    serialPattern_ = new QLineEdit(this);
    serialPattern_->setObjectName(QStringLiteral("txtSerialPattern"));
    serialPattern_->setPlaceholderText(QStringLiteral("for example ^SN-\\d{4}$"));
    serialPattern_->setToolTip(
        QStringLiteral("A regular expression the whole serial number must fit; empty: any"));
    const StoredSerialSetting serialSetting = readSerialSetting(session_.storePath);
    askSerial_->setChecked(serialSetting.ask);
    serialPattern_->setText(serialSetting.pattern);

    auto *sheetRow = new QHBoxLayout;
    sheetRow->addWidget(sheet_, 1);
    sheetRow->addWidget(browse_);
    auto *form = new QFormLayout;
    auto *sheetLabel = new QLabel(QStringLiteral("&Sheet:"), this);
    sheetLabel->setBuddy(sheet_);
    form->addRow(sheetLabel, sheetRow);
    form->addRow(QStringLiteral("&Operator:"), operator_);
    form->addRow(QStringLiteral("S&tation:"), station_);
    form->addRow(QStringLiteral("CO&M ports:"), ports_);
    form->addRow(QStringLiteral("Bau&d:"), baud_);
    form->addRow(QStringLiteral("Pa&ce:"), pace_);
    form->addRow(askSerial_);
    auto *patternLabel = new QLabel(QStringLiteral("Serial &number pattern:"), this);
    patternLabel->setBuddy(serialPattern_);
    serialPattern_->setAccessibleName(QStringLiteral("Serial number pattern:"));
    form->addRow(patternLabel, serialPattern_);

    panels_ = new QGridLayout;
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("lblCounts"));

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
    start_ = buttons->addButton(QStringLiteral("Sta&rt"), QDialogButtonBox::ActionRole);
    start_->setObjectName(QStringLiteral("cmdStart"));
    stop_ = buttons->addButton(QStringLiteral("Stop A&ll"), QDialogButtonBox::ActionRole);
    stop_->setObjectName(QStringLiteral("cmdStop"));
    stop_->setAutoDefault(false);
    // While the lines run, Hard Limit reaches each of them on its own thread.
    hardLimit_ = addHardLimitButton(buttons, [this] {
        if (!isRunning()) {
            if (actions_.hardLimit)
                actions_.hardLimit();
            return;
        }
        for (const auto &line : lines_)
            line->line->hardLimit();
    });
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
    column->addLayout(panels_);
    column->addWidget(counts_);
    column->addWidget(table_, 1);
    column->addWidget(buttons);
    makePanels({std::max(1, session_.state.ComPortNumber)});
    setRunning(false);
    updateCounts();
    resize(760, 640);
    centreOnScreen(this);
}

// The lines end with their panels, as the program ends when the dialog goes
// with a run under way.
ProductionRunDialog::~ProductionRunDialog() = default;

QLabel *ProductionRunDialog::verdictLabel(int line) const
{
    return lines_.at(std::size_t(line))->verdict;
}

QLabel *ProductionRunDialog::stateLabel(int line) const
{
    return lines_.at(std::size_t(line))->state;
}

QListWidget *ProductionRunDialog::differencesList(int line) const
{
    return lines_.at(std::size_t(line))->differences;
}

QLabel *ProductionRunDialog::portLabel(int line) const
{
    return lines_.at(std::size_t(line))->port;
}

QLabel *ProductionRunDialog::keptLabel(int line) const
{
    return lines_.at(std::size_t(line))->kept;
}

QPushButton *ProductionRunDialog::lineStopButton(int line) const
{
    return lines_.at(std::size_t(line))->stop;
}

QLineEdit *ProductionRunDialog::serialBox(int line) const
{
    return lines_.at(std::size_t(line))->serial;
}

QLabel *ProductionRunDialog::serialLabel(int line) const
{
    return lines_.at(std::size_t(line))->serialProblem;
}

bool ProductionRunDialog::isRunning() const
{
    return running_;
}

void ProductionRunDialog::makePanels(const QList<int> &ports)
{
    lines_.clear();
    // Side by side, two to a row.
    for (int port : ports) {
        const int index = int(lines_.size());
        lines_.push_back(
            std::make_unique<LinePanel>(*this, port, session_.link.deviceForPort(port)));
        panels_->addWidget(lines_.back()->box, index / 2, index % 2);
    }
}

void ProductionRunDialog::setRunning(bool running)
{
    running_ = running;
    for (QWidget *setup :
         std::initializer_list<QWidget *>{sheet_, browse_, operator_, station_, ports_, baud_,
                                          pace_, askSerial_, serialPattern_, start_})
        setup->setEnabled(!running);
    stop_->setEnabled(running);
    for (const auto &line : lines_)
        line->stop->setEnabled(running);
    reportButtons_.exportCsv->setEnabled(!running);
    reportButtons_.print->setEnabled(!running);
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
    // Every result names who checked it.
    if (operator_->text().trimmed().isEmpty()) {
        actions_.refused(QStringLiteral("Enter the operator's name first."));
        return;
    }
    const std::optional<QList<int>> ports = comPortsOf(ports_->text());
    if (!ports) {
        actions_.refused(
            QStringLiteral("Give each line's COM port as a number, for example 1, 2."));
        return;
    }
    // The pattern is the station's: refused here, not unit by unit.
    const bool askSerial = askSerial_->isChecked();
    const QString pattern = serialPattern_->text().trimmed();
    if (askSerial) {
        const QString patternProblem = serialPatternProblem(pattern);
        if (!patternProblem.isEmpty()) {
            actions_.refused(patternProblem);
            return;
        }
    }
    QString settingProblem;
    // Said on each line's panel once the lines are made: the run goes on
    // with the setting given, only the store did not keep it.
    (void)writeSerialSetting(session_.storePath, {askSerial, pattern}, &settingProblem);
    request->load = true;
    request->operatorName = operator_->text().trimmed();
    request->station = station_->text().trimmed();
    if (request->station.isEmpty())
        request->station = QSysInfo::machineHostName();
    request_ = std::make_unique<CheckRequest>(std::move(*request));

    // A new run: nothing of the last one counts in it.
    reports_.clear();
    results_->removeRows(0, results_->rowCount());
    updateCounts();

    // The lines are the station's: whatever was connected is let go, and
    // each line opens its own port at the chosen rate.
    session_.handOverLine();
    makePanels(*ports);
    setRunning(true);
    for (const auto &panel : lines_) {
        StationLineSetup setup;
        setup.comPort = panel->comPort;
        setup.device = panel->device;
        setup.baud = baud_->currentData().toInt();
        setup.pace = Pace(pace_->currentData().toInt());
        setup.address =
            session_.state.AxisAddress.isEmpty() ? QStringLiteral("0") : session_.state.AxisAddress;
        setup.request = *request_;
        if (actions_.keep) {
            // On the line's thread: the journal is written there and the send
            // enqueued; told comes later, to this line's own panel. The panel
            // outlives its line, so told may also come from the line's thread.
            setup.keep = [keep = actions_.keep,
                          kept = QPointer<QLabel>(panel->kept)](const CheckReport &report) {
                keep(report, [kept](const QString &text) {
                    if (kept)
                        QMetaObject::invokeMethod(
                            kept.data(),
                            [kept, text] {
                                if (kept)
                                    kept->setText(text);
                            },
                            Qt::AutoConnection);
                });
                return QString();
            };
        }
        panel->kept->setText(settingProblem);
        if (askSerial) {
            panel->serials = std::make_shared<GivenSerialNumbers>();
            setup.serialNumbers = panel->serials;
            setup.serialPattern = pattern;
        }
        panel->line = std::make_unique<StationLine>(session_.storePath, setup, *panel);
        connect(panel->line.get(), &StationLine::finished, this, &ProductionRunDialog::lineEnded);
        panel->line->start();
    }
}

void ProductionRunDialog::lineEnded()
{
    for (const auto &panel : lines_) {
        if (panel->line && panel->line->isRunning())
            return;
    }
    setRunning(false);
    emit runEnded();
}

void ProductionRunDialog::stop()
{
    if (!running_)
        return;
    stop_->setEnabled(false);
    for (const auto &panel : lines_) {
        if (panel->line && panel->line->isRunning()) {
            panel->line->stop();
            panel->stop->setEnabled(false);
            panel->showState(QStringLiteral("Stopping..."));
        }
    }
}

void ProductionRunDialog::programEnds()
{
    for (const auto &panel : lines_) {
        if (panel->line)
            panel->line->end();
    }
    QDialog::reject();
}

void ProductionRunDialog::reject()
{
    if (running_) {
        stop();
        return;
    }
    QDialog::reject();
}

void ProductionRunDialog::addResult(const LinePanel &line, const CheckReport &report,
                                    const QString &keptProblem)
{
    reports_.push_back(report);
    // Where a result went arrives later, through keep's told (start()).
    if (report.verdict != CheckVerdict::Refused && !keptProblem.isEmpty())
        line.kept->setText(keptProblem);
    const int number = int(reports_.size());
    QList<QStandardItem *> row;
    for (const QString &text :
         {QString::number(number), report.started.toString(QStringLiteral("HH:mm:ss")),
          report.serial, report.unit.unitModel, report.unit.revision,
          QString::number(report.unit.axis), verdictWord(report),
          QString::number(secondsOf(report), 'f', 1), problemOf(report),
          QStringLiteral("COM %1").arg(line.comPort)})
        row << new QStandardItem(text);
    results_->appendRow(row);
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
