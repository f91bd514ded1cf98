#include "ui/ProductionRunDialog.h"

#include "protocol/UnitCatalogue.h"
#include "session/CheckRun.h"
#include "session/StationLine.h"
#include "session/UnitSession.h"
#include "store/SerialSetting.h"
#include "store/StationSetting.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QSysInfo>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace ktv {

namespace {

const QStringList ResultColumns = {QStringLiteral("#"),        QStringLiteral("Time"),
                                   QStringLiteral("Serial"),   QStringLiteral("Unit"),
                                   QStringLiteral("Revision"), QStringLiteral("Address"),
                                   QStringLiteral("Verdict"),  QStringLiteral("Seconds"),
                                   QStringLiteral("Problem"),  QStringLiteral("Line")};

// The rows of the table on screen; a shift's others are in the journal.
constexpr int TableRows = 300;

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
    LinePanel(ProductionRunDialog &dialog, QWidget *parent, int comPort, const QString &device)
        : dialog_(dialog), comPort(comPort), device(device)
    {
        box = new QGroupBox(stationLineName(comPort, device), parent);
        box->setObjectName(QStringLiteral("fraLine%1").arg(comPort));
        verdict = new QLabel(box);
        verdict->setObjectName(QStringLiteral("lblVerdict"));
        verdict->setAlignment(Qt::AlignCenter);
        QFont big = verdict->font();
        big.setPointSize(std::max(24, big.pointSize() * 5 / 2));
        big.setBold(true);
        verdict->setFont(big);
        verdict->setMinimumHeight(QFontMetrics(big).height() + 4);
        state = new QLabel(box);
        state->setObjectName(QStringLiteral("lblRunState"));
        state->setAlignment(Qt::AlignCenter);
        state->setWordWrap(true);
        QFont bold = state->font();
        bold.setPointSize(bold.pointSize() + 2);
        bold.setBold(true);
        state->setFont(bold);
        differences = new QListWidget(box);
        differences->setObjectName(QStringLiteral("lstDifferences"));
        differences->setAccessibleName(QStringLiteral("Fields that differ COM %1").arg(comPort));
        differences->setMaximumHeight(72);
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
        column->setSpacing(2);
        column->addWidget(verdict);
        column->addWidget(state);
        column->addWidget(differences);
        column->addWidget(serialProblem);
        column->addWidget(port);
        column->addWidget(kept);
        column->addWidget(stop, 0, Qt::AlignRight);
        summary = new QLabel(&dialog);
        summary->setObjectName(QStringLiteral("lblLineVerdict%1").arg(comPort));
        summary->setAlignment(Qt::AlignCenter);
        QFont summaryFont = summary->font();
        summaryFont.setBold(true);
        summary->setFont(summaryFont);
        showVerdict(QString());
    }
    ~LinePanel() override
    {
        // The line first: nothing of it may reach this view any more.
        line.reset();
        delete box;
        delete summary;
    }

    void showState(const QString &text, const QString &colour = QString())
    {
        state->setText(text);
        state->setStyleSheet(colour.isEmpty() ? QString()
                                              : QStringLiteral("color: %1").arg(colour));
        emit dialog_.stateShown(text);
    }
    // The verdict on the panel and below the panels; empty: none.
    void showVerdict(const QString &word)
    {
        const QString colours =
            word.isEmpty()                  ? QString()
            : word == QLatin1String("PASS") ? QStringLiteral("color: white; background: #1a7f37")
            : word == QLatin1String("FAIL") ? QStringLiteral("color: white; background: #c62828")
                                            : QStringLiteral("color: white; background: #8a6d00");
        verdict->setText(word);
        verdict->setStyleSheet(colours);
        summary->setText(QStringLiteral("COM %1: %2")
                             .arg(comPort)
                             .arg(word.isEmpty() ? QStringLiteral("-") : word));
        summary->setStyleSheet(colours + QStringLiteral("; padding: 2px 8px"));
    }
    // The panel stands out while its line waits for a number.
    void highlight(bool on)
    {
        box->setStyleSheet(on ? QStringLiteral("QGroupBox#%1 { background: #fff3b0; border: 3px "
                                               "solid #e0a000; }")
                                    .arg(box->objectName())
                              : QString());
    }

    void showStationState(const QString &text) override
    {
        // Whatever the line does now, it no longer waits for a number.
        dialog_.notAsking(*this);
        serialProblem->clear();
        if (text == QLatin1String("Run stopped"))
            stop->setEnabled(false);
        if (text == QLatin1String("Scan the serial number")) {
            showState(QStringLiteral("Scan the serial number for COM %1").arg(comPort));
            return;
        }
        // A pulled adapter keeps its unit's verdict until it is put back.
        if (pulled && (text == QLatin1String("Waiting for a unit") ||
                       text == QLatin1String("Remove the unit"))) {
            showState(AdapterPulled);
            return;
        }
        showState(text);
    }
    void showCheckProgress(const QString &text) override { state->setText(text); }
    void showLineProblem(const QString &text) override
    {
        port->setText(text);
        if (!text.isEmpty() && !verdict->text().isEmpty() && !pulled) {
            pulled = true;
            showState(AdapterPulled);
        } else if (text.isEmpty() && pulled) {
            // Back: whatever unit is on it now is a new one.
            pulled = false;
            showVerdict(QString());
            differences->clear();
            if (state->text() == AdapterPulled)
                showState(QStringLiteral("Waiting for a unit"));
        }
    }
    void showResult(const CheckReport &report, const QString &keptProblem) override
    {
        showVerdict(verdictWord(report));
        differences->clear();
        if (!report.problem.isEmpty())
            differences->addItem(report.problem);
        for (const CheckedValue &value : report.values) {
            if (value.verdict != ValueVerdict::Match)
                differences->addItem(differenceLine(value));
        }
        // A line lost during the check: its adapter went with the unit.
        if (!port->text().isEmpty() && report.verdict != CheckVerdict::Pass && !pulled)
            pulled = true;
        dialog_.addResult(*this, report, keptProblem);
    }
    void askSerialNumber(const QString &refusal) override
    {
        // The operator sees an example of a number that fits, the pattern
        // only in the tooltip.
        const QString pattern = dialog_.serialPattern_->text().trimmed();
        if (!refusal.isEmpty() && !pattern.isEmpty()) {
            serialProblem->setText(
                QStringLiteral("The serial number \"%1\" does not fit: a number here looks like "
                               "%2. Nothing was checked.")
                    .arg(lastGiven, dialog_.serialExample_->text().trimmed()));
            serialProblem->setToolTip(QStringLiteral("The pattern: %1").arg(pattern));
        } else {
            serialProblem->setText(refusal);
            serialProblem->setToolTip(QString());
        }
        dialog_.asking(*this, !refusal.isEmpty());
    }
    void showUnitGone() override
    {
        dialog_.notAsking(*this);
        if (pulled)
            return;
        showVerdict(QString());
        differences->clear();
    }
    void showRunEnded() override {}

    static inline const QString AdapterPulled = QStringLiteral("Adapter pulled, put it back");

    ProductionRunDialog &dialog_;
    const int comPort;
    const QString device;
    QGroupBox *box = nullptr;
    QLabel *verdict = nullptr;
    QLabel *summary = nullptr; // the verdict below the panels
    QLabel *state = nullptr;
    QListWidget *differences = nullptr;
    QLabel *serialProblem = nullptr;
    QLabel *port = nullptr;
    QLabel *kept = nullptr; // where this line's last result went, when it did not simply go
    QPushButton *stop = nullptr;
    QString lastGiven;   // the last number given to the line
    bool pulled = false; // the adapter went with the unit of the verdict shown
    std::shared_ptr<GivenSerialNumbers> serials;
    std::unique_ptr<StationLine> line;
};

ProductionRunDialog::ProductionRunDialog(UnitSession &session, Actions actions, QWidget *parent)
    : QDialog(parent), session_(session), actions_(std::move(actions))
{
    setObjectName(QStringLiteral("ProductionRun"));
    setWindowTitle(QStringLiteral("Production Run"));
    setWindowModality(Qt::WindowModal);

    // The set-up scrolls with the panels and the table; the stops, the scan
    // box and the verdicts stay below, always on screen.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("scrPanels"));
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll_);
    content->setObjectName(QStringLiteral("fraContent"));

    sheet_ = new QLineEdit(content);
    sheet_->setObjectName(QStringLiteral("txtSheet"));
    browse_ = new QPushButton(QStringLiteral("&Browse..."), content);
    browse_->setObjectName(QStringLiteral("cmdBrowse"));
    browse_->setAutoDefault(false);
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString path = actions_.chooseSheet();
        if (!path.isEmpty())
            sheet_->setText(path);
    });
    operator_ = new QLineEdit(content);
    operator_->setObjectName(QStringLiteral("txtOperator"));
    station_ = new QLineEdit(QSysInfo::machineHostName(), content);
    station_->setObjectName(QStringLiteral("txtStation"));
    ports_ = new QLineEdit(QString::number(std::max(1, session_.state.ComPortNumber)), content);
    ports_->setObjectName(QStringLiteral("txtComPorts"));
    ports_->setToolTip(QStringLiteral("One COM port per line, for example 1, 2, 3"));
    baud_ = new QComboBox(content);
    baud_->setObjectName(QStringLiteral("cboBaud"));
    baud_->setAccessibleName(QStringLiteral("Baud"));
    for (int rate : ScanRates)
        baud_->addItem(QString::number(rate), rate);
    // The rate of the unit connected now is the likely rate of the next ones.
    const int known = session_.state.UnitConnected ? session_.link.baudRateInForce() : 9600;
    baud_->setCurrentIndex(std::max(0, baud_->findData(known)));
    pace_ = new QComboBox(content);
    pace_->setObjectName(QStringLiteral("cboPace"));
    pace_->setAccessibleName(QStringLiteral("Pace"));
    pace_->addItem(QStringLiteral("Full wait after every line (slow)"), int(Pace::Fixed));
    pace_->addItem(QStringLiteral("Go on when the unit answers (fast)"), int(Pace::Reply));
    paceHint_ = new QLabel(content);
    paceHint_->setObjectName(QStringLiteral("lblPace"));
    paceHint_->setWordWrap(true);
    auto showPace = [this] {
        paceHint_->setText(
            Pace(pace_->currentData().toInt()) == Pace::Fixed
                ? QStringLiteral("Every line is given the window's full wait, answered or not: "
                                 "about 8 s a unit.")
                : QStringLiteral("Each wait ends with the unit's reply; a value it missed is "
                                 "written again with the full wait: about 0.6 s a unit."));
    };
    connect(pace_, &QComboBox::currentIndexChanged, this, showPace);
    askSerial_ = new QCheckBox(QStringLiteral("&Ask each unit's serial number"), content);
    askSerial_->setObjectName(QStringLiteral("chkAskSerial"));
    serialPattern_ = new QLineEdit(content);
    serialPattern_->setObjectName(QStringLiteral("txtSerialPattern"));
    serialPattern_->setPlaceholderText(QStringLiteral("for example ^SN-\\d{4}$"));
    serialPattern_->setToolTip(
        QStringLiteral("A regular expression the whole serial number must fit; empty: any"));
    serialExample_ = new QLineEdit(content);
    serialExample_->setObjectName(QStringLiteral("txtSerialExample"));
    serialExample_->setPlaceholderText(QStringLiteral("for example SN-0001"));
    serialExample_->setToolTip(
        QStringLiteral("A number that fits the pattern: shown to the operator when a scan "
                       "does not fit"));
    const StoredSerialSetting serialSetting = readSerialSetting(session_.storePath);
    askSerial_->setChecked(serialSetting.ask);
    serialPattern_->setText(serialSetting.pattern);
    // The set-up last started here.
    if (const std::optional<StoredStationSetting> kept = readStationSetting(session_.storePath)) {
        sheet_->setText(kept->sheet);
        if (!kept->station.isEmpty())
            station_->setText(kept->station);
        if (comPortsOf(kept->ports))
            ports_->setText(kept->ports);
        baud_->setCurrentIndex(std::max(0, baud_->findData(kept->baud)));
        pace_->setCurrentIndex(std::max(0, pace_->findData(kept->pace)));
        serialExample_->setText(kept->serialExample);
    }
    showPace();

    auto *sheetRow = new QHBoxLayout;
    sheetRow->addWidget(sheet_, 1);
    sheetRow->addWidget(browse_);
    auto *form = new QFormLayout;
    auto *sheetLabel = new QLabel(QStringLiteral("&Sheet:"), content);
    sheetLabel->setBuddy(sheet_);
    form->addRow(sheetLabel, sheetRow);
    form->addRow(QStringLiteral("&Operator:"), operator_);
    form->addRow(QStringLiteral("S&tation:"), station_);
    form->addRow(QStringLiteral("CO&M ports:"), ports_);
    form->addRow(QStringLiteral("Bau&d:"), baud_);
    form->addRow(QStringLiteral("Pa&ce:"), pace_);
    form->addRow(QString(), paceHint_);
    form->addRow(askSerial_);
    auto *patternLabel = new QLabel(QStringLiteral("Serial &number pattern:"), content);
    patternLabel->setBuddy(serialPattern_);
    serialPattern_->setAccessibleName(QStringLiteral("Serial number pattern:"));
    form->addRow(patternLabel, serialPattern_);
    auto *exampleLabel = new QLabel(QStringLiteral("A number that &fits:"), content);
    exampleLabel->setBuddy(serialExample_);
    form->addRow(exampleLabel, serialExample_);

    panels_ = new QGridLayout;
    counts_ = new QLabel(content);
    counts_->setObjectName(QStringLiteral("lblCounts"));

    results_ = new QStandardItemModel(0, int(ResultColumns.size()), this);
    results_->setHorizontalHeaderLabels(ResultColumns);
    table_ = new QTableView(content);
    table_->setObjectName(QStringLiteral("tblResults"));
    table_->setAccessibleName(QStringLiteral("Results of this run"));
    table_->setModel(results_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumHeight(140);

    auto *inside = new QVBoxLayout(content);
    inside->addLayout(form);
    inside->addLayout(panels_);
    inside->addWidget(counts_);
    inside->addWidget(table_, 1);
    scroll_->setWidget(content);

    // A scanner types the number and presses Enter, as a keyboard does.
    scan_ = new QLineEdit(this);
    scan_->setObjectName(QStringLiteral("txtScan"));
    scan_->setAccessibleName(QStringLiteral("Serial number"));
    scan_->setPlaceholderText(QStringLiteral("Scan or type the serial number, then Enter"));
    connect(scan_, &QLineEdit::returnPressed, this, &ProductionRunDialog::giveScan);
    scanTarget_ = new QLabel(this);
    scanTarget_->setObjectName(QStringLiteral("lblScan"));
    scanTarget_->setWordWrap(true);
    auto *scanRow = new QHBoxLayout;
    scanRow->addWidget(scan_, 1);
    scanRow->addWidget(scanTarget_, 2);
    summaries_ = new QHBoxLayout;

    auto *buttons = new QDialogButtonBox(this);
    start_ = buttons->addButton(QStringLiteral("Sta&rt"), QDialogButtonBox::ActionRole);
    start_->setObjectName(QStringLiteral("cmdStart"));
    stop_ = buttons->addButton(QStringLiteral("Stop A&ll"), QDialogButtonBox::ActionRole);
    stop_->setObjectName(QStringLiteral("cmdStop"));
    stop_->setAutoDefault(false);
    // Every line shown, run or not: each running line on its own thread.
    hardLimit_ = addHardLimitButton(buttons, [this] { hardLimitAll(); });
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
    column->addWidget(scroll_, 1);
    column->addLayout(summaries_);
    column->addLayout(scanRow);
    column->addWidget(buttons);
    // The panels shown are the lines given: Hard Limit reaches each of them.
    const auto showPorts = [this] {
        if (const std::optional<QList<int>> ports = comPortsOf(ports_->text()); ports && !running_)
            makePanels(*ports);
    };
    connect(ports_, &QLineEdit::textChanged, this, showPorts);
    makePanels(comPortsOf(ports_->text()).value_or(QList<int>{1}));
    setRunning(false);
    updateCounts();
    showScanTarget();
    resize(760, 640);
    fitToScreen();
}

// The lines end with their panels, as the program ends when the dialog goes
// with a run under way; a stop sent to an idle line is waited for.
ProductionRunDialog::~ProductionRunDialog()
{
    lines_.clear();
    for (QThread *thread : idleStops_) {
        thread->wait();
        delete thread;
    }
}

QLabel *ProductionRunDialog::verdictLabel(int line) const
{
    return lines_.at(std::size_t(line))->verdict;
}

QLabel *ProductionRunDialog::verdictSummary(int line) const
{
    return lines_.at(std::size_t(line))->summary;
}

QWidget *ProductionRunDialog::linePanel(int line) const
{
    return lines_.at(std::size_t(line))->box;
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
    asking_.clear();
    lines_.clear();
    // Side by side, two to a row; their verdicts in one row below.
    QWidget *content = scroll_->widget();
    for (int port : ports) {
        const int index = int(lines_.size());
        lines_.push_back(
            std::make_unique<LinePanel>(*this, content, port, session_.link.deviceForPort(port)));
        panels_->addWidget(lines_.back()->box, index / 2, index % 2);
        summaries_->addWidget(lines_.back()->summary, 1);
        lines_.back()->stop->setEnabled(running_);
    }
    // Tab goes through the panels where they are: after the set-up, before
    // the table and the buttons.
    QWidget *previous = serialExample_;
    for (const auto &line : lines_) {
        setTabOrder(previous, line->differences);
        setTabOrder(line->differences, line->stop);
        previous = line->stop;
    }
    setTabOrder(previous, table_);
}

void ProductionRunDialog::setRunning(bool running)
{
    running_ = running;
    for (QWidget *setup : std::initializer_list<QWidget *>{sheet_, browse_, operator_, station_,
                                                           ports_, baud_, pace_, askSerial_,
                                                           serialPattern_, serialExample_, start_})
        setup->setEnabled(!running);
    stop_->setEnabled(running);
    for (const auto &line : lines_)
        line->stop->setEnabled(running);
    // The scan box is there while a run asks numbers.
    scan_->setEnabled(running && askSerial_->isChecked());
    scan_->setVisible(askSerial_->isChecked());
    scanTarget_->setVisible(askSerial_->isChecked());
    reportButtons_.exportCsv->setEnabled(!running);
    reportButtons_.print->setEnabled(!running);
}

void ProductionRunDialog::fitToScreen()
{
    // As large as the content wants, within the screen; the panels scroll.
    layout()->activate();
    const int around = layout()->sizeHint().height() - scroll_->sizeHint().height();
    const int wanted = around + scroll_->widget()->sizeHint().height() + 2;
    resize(std::max(width(), 760), std::max(wanted, 720));
    centreOnScreen(this);
}

void ProductionRunDialog::keepSetup(bool askSerial, const QString &pattern)
{
    const StoredStationSetting setting{sheet_->text(),
                                       station_->text().trimmed(),
                                       ports_->text().trimmed(),
                                       baud_->currentData().toInt(),
                                       pace_->currentData().toInt(),
                                       serialExample_->text().trimmed()};
    const StoredSerialSetting serial{askSerial, pattern};
    QList<QPointer<QLabel>> kept;
    for (const auto &panel : lines_)
        kept << panel->kept;
    // The store may sit on a file system that hangs: it is written on a
    // thread of its own. A failure is said on each line's panel: the run
    // goes on with the setting given, only the next open will not find it.
    writeInBackground(
        [store = session_.storePath, setting, serial](QString *problem) {
            return writeSerialSetting(store, serial, problem) &&
                   writeStationSetting(store, setting, problem);
        },
        [kept](const QString &problem) {
            for (const QPointer<QLabel> &label : kept) {
                if (label)
                    label->setText(problem);
            }
        });
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
        // The operator is shown the example, never the pattern.
        const QString example = serialExample_->text().trimmed();
        if (!pattern.isEmpty() &&
            (example.isEmpty() || !serialNumberRefusal(example, pattern).isEmpty())) {
            actions_.refused(
                QStringLiteral("Give a serial number that fits the pattern, for the operator "
                               "to see what a number looks like."));
            return;
        }
    }
    request->load = true;
    request->operatorName = operator_->text().trimmed();
    request->station = station_->text().trimmed();
    if (request->station.isEmpty())
        request->station = QSysInfo::machineHostName();
    request_ = std::make_unique<CheckRequest>(std::move(*request));

    // A new run: nothing of the last one counts in it.
    reports_.clear();
    rows_.clear();
    results_->removeRows(0, results_->rowCount());
    updateCounts();

    // The lines are the station's: whatever was connected is let go, and
    // each line opens its own port at the chosen rate.
    session_.handOverLine();
    makePanels(*ports);
    setRunning(true);
    keepSetup(askSerial, pattern);
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
            // On the line's thread: handed to this dialog's thread at once,
            // from where it is written and sent on threads of their own; the
            // line never waits for either. told comes later, to this line's
            // own panel, from any thread; the panel outlives its line.
            setup.keep = [this, kept = QPointer<QLabel>(panel->kept)](const CheckReport &report) {
                QMetaObject::invokeMethod(
                    this,
                    [this, kept, report] {
                        actions_.keep(report, [kept](const QString &text) {
                            QMetaObject::invokeMethod(
                                kept.data(),
                                [kept, text] {
                                    if (kept)
                                        kept->setText(text);
                                },
                                Qt::AutoConnection);
                        });
                    },
                    Qt::QueuedConnection);
                return QString();
            };
        }
        if (askSerial) {
            panel->serials = std::make_shared<GivenSerialNumbers>();
            setup.serialNumbers = panel->serials;
            setup.serialPattern = pattern;
        }
        panel->line = std::make_unique<StationLine>(session_.storePath, setup, *panel);
        connect(panel->line.get(), &StationLine::finished, this, &ProductionRunDialog::lineEnded);
        panel->line->start();
    }
    showScanTarget();
    fitToScreen();
    scroll_->ensureWidgetVisible(lines_.front()->box);
}

void ProductionRunDialog::lineEnded()
{
    for (const auto &panel : lines_) {
        if (panel->line && panel->line->isRunning())
            return;
    }
    setRunning(false);
    asking_.clear();
    showScanTarget();
    emit runEnded();
}

void ProductionRunDialog::hardLimitAll()
{
    for (const auto &panel : lines_) {
        if (panel->line && panel->line->hardLimit())
            continue;
        // The window's own line, while it holds it, is the window's to stop.
        if (!running_ && panel->comPort == session_.state.ComPortNumber &&
            session_.link.PortOpen()) {
            if (actions_.hardLimit)
                actions_.hardLimit();
            continue;
        }
        StationLineSetup setup;
        setup.comPort = panel->comPort;
        setup.device = panel->device;
        setup.baud = baud_->currentData().toInt();
        setup.address =
            session_.state.AxisAddress.isEmpty() ? QStringLiteral("0") : session_.state.AxisAddress;
        QThread *thread = startIdleHardLimit(setup);
        idleStops_.push_back(thread);
        connect(thread, &QThread::finished, this, [this, thread] {
            const auto at = std::find(idleStops_.begin(), idleStops_.end(), thread);
            if (at == idleStops_.end())
                return;
            idleStops_.erase(at);
            thread->deleteLater();
        });
    }
}

void ProductionRunDialog::stop()
{
    if (!running_)
        return;
    hardLimitAll();
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

void ProductionRunDialog::keyPressEvent(QKeyEvent *event)
{
    if (scan_->isEnabled() && !scan_->hasFocus() && !event->text().isEmpty() &&
        event->text().at(0).isPrint() && !(event->modifiers() & ~Qt::ShiftModifier)) {
        scan_->setFocus();
        QCoreApplication::sendEvent(scan_, event);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ProductionRunDialog::asking(LinePanel &line, bool refused)
{
    line.highlight(true);
    const auto at = std::find(asking_.begin(), asking_.end(), &line);
    // A number refused: the next scan is the same unit's again.
    if (refused) {
        if (at != asking_.end())
            asking_.erase(at);
        asking_.insert(asking_.begin(), &line);
    } else if (at == asking_.end()) {
        asking_.push_back(&line);
    }
    showScanTarget();
    // The scan box takes the keyboard, unless the operator types elsewhere.
    const auto *typing = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    if (!typing || !typing->isEnabled() || typing->text().isEmpty())
        scan_->setFocus();
}

void ProductionRunDialog::notAsking(LinePanel &line)
{
    line.highlight(false);
    const auto at = std::find(asking_.begin(), asking_.end(), &line);
    if (at == asking_.end())
        return;
    asking_.erase(at);
    showScanTarget();
}

void ProductionRunDialog::showScanTarget()
{
    scanTarget_->setStyleSheet(QString());
    if (!running_ || !askSerial_->isChecked()) {
        scanTarget_->clear();
        return;
    }
    scanTarget_->setText(
        asking_.empty()
            ? QStringLiteral("No line asks for a serial number.")
            : QStringLiteral("The next scan goes to COM %1.").arg(asking_.front()->comPort));
}

void ProductionRunDialog::giveScan()
{
    const QString serial = scan_->text().trimmed();
    scan_->clear();
    if (serial.isEmpty())
        return;
    if (asking_.empty()) {
        // Never lost: the operator is told, and hears it.
        QApplication::beep();
        scanTarget_->setStyleSheet(QStringLiteral("color: #b00000"));
        scanTarget_->setText(
            QStringLiteral("No line asks for a serial number: %1 was not used. Scan it again "
                           "when its unit's line asks.")
                .arg(serial));
        return;
    }
    LinePanel *line = asking_.front();
    asking_.erase(asking_.begin());
    line->lastGiven = serial;
    line->serialProblem->clear();
    line->highlight(false);
    if (line->serials)
        line->serials->give(serial);
    showScanTarget();
}

void ProductionRunDialog::addResult(const LinePanel &line, const CheckReport &report,
                                    const QString &keptProblem)
{
    reports_.push_back(report);
    // Where a result went arrives later, through keep's told (start()).
    if (report.verdict != CheckVerdict::Refused && !keptProblem.isEmpty())
        line.kept->setText(keptProblem);
    const int number = int(reports_.size());
    const QStringList cells = {
        QString::number(number), report.started.toString(QStringLiteral("HH:mm:ss")),
        report.serial,           report.unit.unitModel,
        report.unit.revision,    QString::number(report.unit.axis),
        verdictWord(report),     QString::number(secondsOf(report), 'f', 1),
        problemOf(report),       QStringLiteral("COM %1").arg(line.comPort)};
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
