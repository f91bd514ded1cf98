#include "ui/ProductionRunDialog.h"

#include "session/UnitSession.h"
#include "ui/ProductionLinePanel.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace ktv {

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

    auto *form = makeSetupForm(content);

    panels_ = new QGridLayout;
    counts_ = new QLabel(content);
    counts_->setObjectName(QStringLiteral("lblCounts"));
    makeResultsTable(content);

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
        if (const std::optional<QList<int>> ports = portsGiven(); ports && !running_)
            makePanels(*ports);
    };
    connect(ports_, &QLineEdit::textChanged, this, showPorts);
    makePanels(portsGiven().value_or(QList<int>{1}));
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
    for (const IdleStop &stop : idleStops_)
        stop.thread.wait();
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
        std::erase_if(idleStops_, [](const IdleStop &sent) { return !sent.thread.isRunning(); });
        // Start does not open a port this stop is writing to.
        idleStops_.push_back({startIdleHardLimit(setup), setup.device});
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

} // namespace ktv
