#include "ui/ProductionLinePanel.h"

#include "protocol/CheckReport.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace ktv {

namespace {

// "Profile 1, Max Speed: sheet 5200, unit 5000 (not kept)"
QString differenceLine(const CheckedValue &value)
{
    return QStringLiteral("%1: sheet %2, unit %3 (%4)")
        .arg(checkedValueName(value), value.sheetValue,
             value.unitValue.value_or(QStringLiteral("-")), valueVerdictText(value.verdict));
}

} // namespace

ProductionRunDialog::LinePanel::LinePanel(ProductionRunDialog &dialog, QWidget *parent, int comPort,
                                          const QString &device)
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

ProductionRunDialog::LinePanel::~LinePanel()
{
    // The line first: nothing of it may reach this view any more.
    line.reset();
    delete box;
    delete summary;
}

void ProductionRunDialog::LinePanel::showState(const QString &text, const QString &colour)
{
    state->setText(text);
    state->setStyleSheet(colour.isEmpty() ? QString() : QStringLiteral("color: %1").arg(colour));
    emit dialog_.stateShown(text);
}

void ProductionRunDialog::LinePanel::showVerdict(const QString &word)
{
    const QString colours =
        word.isEmpty()                  ? QString()
        : word == QLatin1String("PASS") ? QStringLiteral("color: white; background: #1a7f37")
        : word == QLatin1String("FAIL") ? QStringLiteral("color: white; background: #c62828")
                                        : QStringLiteral("color: white; background: #8a6d00");
    verdict->setText(word);
    verdict->setStyleSheet(colours);
    summary->setText(
        QStringLiteral("COM %1: %2").arg(comPort).arg(word.isEmpty() ? QStringLiteral("-") : word));
    summary->setStyleSheet(colours + QStringLiteral("; padding: 2px 8px"));
}

void ProductionRunDialog::LinePanel::highlight(bool on)
{
    box->setStyleSheet(on ? QStringLiteral("QGroupBox#%1 { background: #fff3b0; border: 3px "
                                           "solid #e0a000; }")
                                .arg(box->objectName())
                          : QString());
}

void ProductionRunDialog::LinePanel::showStationState(const QString &text)
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
    if (pulled &&
        (text == QLatin1String("Waiting for a unit") || text == QLatin1String("Remove the unit"))) {
        showState(AdapterPulled);
        return;
    }
    showState(text);
}

void ProductionRunDialog::LinePanel::showCheckProgress(const QString &text)
{
    state->setText(text);
}

void ProductionRunDialog::LinePanel::showLineProblem(const QString &text)
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

void ProductionRunDialog::LinePanel::showResult(const CheckReport &report,
                                                const QString &keptProblem)
{
    showVerdict(stationVerdictWord(report));
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

void ProductionRunDialog::LinePanel::askSerialNumber(const QString &refusal)
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

void ProductionRunDialog::LinePanel::showUnitGone()
{
    dialog_.notAsking(*this);
    if (pulled)
        return;
    showVerdict(QString());
    differences->clear();
}

} // namespace ktv
