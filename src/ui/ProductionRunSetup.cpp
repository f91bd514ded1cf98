// Production Run's set-up: the sheet, the operator, the station, the lines'
// COM ports, rate and pace, and the serial number setting; found again from
// the store at open, checked and kept at Start, where each line is set up.
#include "protocol/UnitCatalogue.h"
#include "session/CheckRun.h"
#include "session/StationPlan.h"
#include "session/UnitSession.h"
#include "store/SerialSetting.h"
#include "store/StationSetting.h"
#include "ui/ProductionLinePanel.h"
#include "ui/ReportPrinter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QSysInfo>
#include <QThread>

#include <algorithm>

namespace ktv {

namespace {

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

} // namespace

std::optional<QList<int>> ProductionRunDialog::portsGiven() const
{
    return comPortsOf(ports_->text());
}

QFormLayout *ProductionRunDialog::makeSetupForm(QWidget *content)
{
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
    return form;
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
    if (sheet_->text().isEmpty()) {
        actions_.refused(QStringLiteral("Choose a sheet first."));
        return;
    }
    // Every result names who checked it.
    if (operator_->text().trimmed().isEmpty()) {
        actions_.refused(QStringLiteral("Enter the operator's name first."));
        return;
    }
    const std::optional<QList<int>> ports = portsGiven();
    if (!ports) {
        actions_.refused(
            QStringLiteral("Give each line's COM port as a number, for example 1, 2."));
        return;
    }
    StationPlan plan;
    plan.sheetPath = sheet_->text();
    plan.operatorName = operator_->text().trimmed();
    plan.station = station_->text();
    for (int port : *ports)
        plan.lines.push_back({port, session_.link.deviceForPort(port)});
    plan.baud = baud_->currentData().toInt();
    plan.pace = Pace(pace_->currentData().toInt());
    plan.address =
        session_.state.AxisAddress.isEmpty() ? QStringLiteral("0") : session_.state.AxisAddress;
    plan.askSerial = askSerial_->isChecked();
    plan.serialPattern = serialPattern_->text().trimmed();
    // The window's own line is let go as the run starts, and a stop sent
    // before Start lets its line go once written: both are this program's.
    if (session_.link.PortOpen())
        plan.heldDevices << session_.link.deviceForPort(session_.link.commPort());
    for (const IdleStop &stop : idleStops_) {
        if (stop.thread.isRunning())
            plan.heldDevices << stop.device;
    }
    // The pattern is the station's: refused here, not unit by unit.
    if (const Outcome<void> pattern = plan.patternValid(); !pattern) {
        actions_.refused(pattern.problem());
        return;
    }
    // The operator is shown the example, never the pattern.
    const QString example = serialExample_->text().trimmed();
    if (plan.askSerial && !plan.serialPattern.isEmpty() &&
        (example.isEmpty() || !serialNumberRefusal(example, plan.serialPattern).isEmpty())) {
        actions_.refused(
            QStringLiteral("Give a serial number that fits the pattern, for the operator "
                           "to see what a number looks like."));
        return;
    }
    // The sheet and the ports as the tool checks them: a sheet its model
    // refuses, or a port that does not open, before any line starts.
    Outcome<std::vector<StationLineSetup>> setups = plan.check();
    if (!setups) {
        actions_.refused(setups.problem());
        return;
    }
    request_ = std::make_unique<CheckRequest>(setups->front().request);

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
    keepSetup(plan.askSerial, plan.serialPattern);
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        LinePanel *panel = lines_[index].get();
        StationLineSetup setup = std::move(setups.value()[index]);
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
        if (plan.askSerial) {
            panel->serials = std::make_shared<GivenSerialNumbers>();
            setup.serialNumbers = panel->serials;
        }
        panel->line = std::make_unique<StationLine>(session_.storePath, std::move(setup), *panel);
        connect(panel->line.get(), &StationLine::finished, this, &ProductionRunDialog::lineEnded);
        panel->line->start();
    }
    showScanTarget();
    fitToScreen();
    scroll_->ensureWidgetVisible(lines_.front()->box);
}

} // namespace ktv
