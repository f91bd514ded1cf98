#include "ui/SheetActions.h"

#include "session/ChangeTracker.h"
#include "session/SheetOperations.h"
#include "session/UnitSession.h"
#include "ui/ChangeHistoryDialog.h"
#include "ui/MainWindow.h"
#include "ui/ProgressDialog.h"
#include "ui/SheetCompareDialog.h"

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>

namespace ktv {

namespace {

const QString SheetFilter = QStringLiteral("Parameter sheets (*.json);;All files (*)");

// Stops the motor as the shown panel's Hard Limit button does: the same line,
// and with the port closed the same fixed port settings.
void hardLimitOfShownPanel(MainWindow &window)
{
    window.pressStop(static_cast<Model>(window.SSTab1()->currentIndex()), frame::Motion::StopAll);
}

// The progress of one operation: "Reading Profile 1, Accel", Cancel (the
// button, Esc or the close box) stops the operation after the value in hand,
// and Hard Limit stops the motor meanwhile.
class SheetProgress
{
  public:
    // The first `writes` values of the operation are written, the rest read.
    SheetProgress(MainWindow &window, const QString &title, SheetOperations &operations,
                  int writes = 0, const QString &firstLabel = QString())
        : dialog_(
              title, [&window] { hardLimitOfShownPanel(window); }, &window),
          operations_(operations)
    {
        dialog_.setObjectName(QStringLiteral("SheetProgress"));
        dialog_.setLabelText(firstLabel);
        QObject::connect(&dialog_, &ProgressDialog::canceled, &dialog_,
                         [&operations] { operations.cancel(); });
        operations_.setProgress([this, writes](const QString &value, int done, int total) {
            dialog_.setLabelText(
                (done < writes ? QStringLiteral("Writing %1") : QStringLiteral("Reading %1"))
                    .arg(value));
            dialog_.setProgress(done, total);
        });
        dialog_.show();
    }
    ~SheetProgress()
    {
        operations_.setProgress({});
        dialog_.hide();
    }
    SheetProgress(const SheetProgress &) = delete;
    SheetProgress &operator=(const SheetProgress &) = delete;

  private:
    ProgressDialog dialog_;
    SheetOperations &operations_;
};

// After values were written the panel reads the unit back, copying what it
// holds into the entry boxes as a profile change does: no box keeps an older
// text that leaving it would send again. What the status line said stays.
void showWhatTheUnitHolds(MainWindow &window, UnitSession &session, const QString &unitModel)
{
    const std::optional<Model> panel = panelOfUnitModel(unitModel);
    if (!panel || !session.state.UnitConnected || session.isEnding())
        return;
    const QString said = window.statusBar()->currentMessage();
    session.updateProfileOnNextRun();
    session.VerifyParameters(*panel);
    if (window.statusBar()->currentMessage().isEmpty() && !said.isEmpty())
        window.showRunStatus(said);
}

QString refusalText(const std::vector<SheetRefusal> &refusals)
{
    QStringList lines;
    for (const SheetRefusal &refusal : refusals)
        lines << refusalLine(refusal);
    return lines.join(QLatin1Char('\n'));
}

QString loadRefusalText(const QString &path, const QString &unitModel,
                        const std::vector<SheetRefusal> &refusals)
{
    return QStringLiteral("%1 cannot be loaded into the %2; nothing was sent:\n\n%3")
        .arg(path, unitModel, refusalText(refusals));
}

} // namespace

SheetActions::SheetActions(MainWindow &window, UnitSession &session)
    : window_(window), session_(session)
{
}

void SheetActions::setChangeTracking(ChangeTracker *tracker, const QString &journalPath)
{
    tracker_ = tracker;
    journalPath_ = journalPath;
}

std::optional<UnitDescription> SheetActions::connectedUnit()
{
    if (!session_.state.UnitConnected || !tracker_ || !panelOfUnitModel(tracker_->unitModel())) {
        session_.ShowNotConnected();
        return std::nullopt;
    }
    return UnitDescription{tracker_->unitModel(), tracker_->revision()};
}

QString SheetActions::chooseFile(SheetFileUse use)
{
    if (fileChooser_)
        return fileChooser_(use);
    switch (use) {
    case SheetFileUse::Save:
        return QFileDialog::getSaveFileName(&window_, QStringLiteral("Save Unit Settings"),
                                            QString(), SheetFilter);
    case SheetFileUse::Load:
        return QFileDialog::getOpenFileName(&window_, QStringLiteral("Load Unit Settings"),
                                            QString(), SheetFilter);
    case SheetFileUse::Compare:
        return QFileDialog::getOpenFileName(&window_, QStringLiteral("Compare with Unit Settings"),
                                            QString(), SheetFilter);
    case SheetFileUse::Export:
    case SheetFileUse::Print:
        break; // reportFiles() asks for these
    }
    return {};
}

struct ChosenSheet
{
    UnitDescription unit;
    QString path;
    ParameterSheet sheet;
};

std::optional<ChosenSheet> SheetActions::chooseSheet(SheetFileUse use)
{
    std::optional<UnitDescription> unit = connectedUnit();
    if (!unit)
        return std::nullopt;
    QString path = chooseFile(use);
    if (path.isEmpty())
        return std::nullopt;
    SheetReadResult file = readSheetFile(path);
    if (!file.sheet) {
        window_.showMessage(MessageIcon::Critical, file.error);
        return std::nullopt;
    }
    return ChosenSheet{std::move(*unit), std::move(path), std::move(*file.sheet)};
}

bool SheetActions::confirm(const QString &question)
{
    QMessageBox box(QMessageBox::Question, ApplicationTitle, question,
                    QMessageBox::Yes | QMessageBox::No, &window_);
    box.setObjectName(QStringLiteral("SheetConfirm"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

ReportFiles SheetActions::reportFiles()
{
    return {[this](ReportFormat format, const QString &suggestedName) {
                if (fileChooser_)
                    return fileChooser_(format == ReportFormat::Csv ? SheetFileUse::Export
                                                                    : SheetFileUse::Print);
                QWidget *over = QApplication::activeModalWidget();
                return chooseReportFileDialog(over ? over : &window_, format, suggestedName);
            },
            [this](const QString &problem) {
                window_.showMessage(MessageIcon::Critical, problem);
            }};
}

void SheetActions::showComparison(const std::vector<SheetComparisonRow> &rows, const QString &title,
                                const ChosenSheet &chosen)
{
    SheetCompareDialog dialog(
        rows, title,
        {{QStringLiteral("Unit"), chosen.unit.unitModel},
         {QStringLiteral("Revision"), chosen.unit.revision},
         {QStringLiteral("Address"), session_.state.AxisAddress},
         {QStringLiteral("Sheet"), QFileInfo(chosen.path).fileName()},
         {QStringLiteral("Local time"), reportTime(QDateTime::currentDateTime())}},
        reportFiles(), &window_);
    dialog.exec();
}

void SheetActions::saveUnitSettings()
{
    const std::optional<UnitDescription> unit = connectedUnit();
    if (!unit)
        return;
    const QString path = chooseFile(SheetFileUse::Save);
    if (path.isEmpty())
        return;
    // Nothing is asked of the unit for a file that cannot be written.
    if (const QString problem = sheetTargetProblem(path); !problem.isEmpty()) {
        window_.showMessage(MessageIcon::Critical, problem);
        return;
    }
    SheetOperations operations(session_, *unit);
    SheetOperations::ReadResult read;
    {
        SheetProgress progress(window_, QStringLiteral("Save Unit Settings"), operations);
        read = operations.readUnit();
    }
    if (read.outcome == SheetOperations::Outcome::Cancelled) {
        window_.showRunStatus(QStringLiteral("Save cancelled: %1 was not written.").arg(path));
        return;
    }
    QString problem = read.problem;
    if (read.sheet && writeSheetFile(path, *read.sheet, &problem)) {
        window_.showRunStatus(QStringLiteral("Unit settings saved to %1").arg(path));
        return;
    }
    window_.showMessage(MessageIcon::Critical, problem);
}

void SheetActions::loadUnitSettings()
{
    const std::optional<ChosenSheet> chosen = chooseSheet(SheetFileUse::Load);
    if (!chosen)
        return;
    const auto &[unit, path, sheet] = *chosen;
    const std::vector<SheetRefusal> refusals = validateParameterSheet(sheet, unit.unitModel);
    if (!refusals.empty()) {
        window_.showMessage(MessageIcon::Exclamation,
                            loadRefusalText(path, unit.unitModel, refusals));
        return;
    }
    SheetOperations operations(session_, unit);
    const int count = operations.valueCount(sheet);
    if (!confirm(QStringLiteral("Load %1 values from %2 into the %3 at address %4?")
                     .arg(count)
                     .arg(QFileInfo(path).fileName(), unit.unitModel, session_.state.AxisAddress)))
        return;
    SheetOperations::LoadResult load;
    {
        SheetProgress progress(window_, QStringLiteral("Load Unit Settings"), operations, count);
        load = operations.load(sheet);
    }
    if (load.written > 0)
        showWhatTheUnitHolds(window_, session_, unit.unitModel);
    switch (load.outcome) {
    case SheetOperations::Outcome::Done:
        showComparison(
            load.readBack,
            QStringLiteral("Unit Settings after the Load - %1").arg(QFileInfo(path).fileName()),
            *chosen);
        return;
    case SheetOperations::Outcome::Cancelled:
        window_.showRunStatus(
            QStringLiteral("Load cancelled after %1 of %2 values.").arg(load.written).arg(count));
        return;
    case SheetOperations::Outcome::Refused:
        window_.showMessage(MessageIcon::Exclamation, refusalText(load.refusals));
        return;
    case SheetOperations::Outcome::Failed:
        window_.showMessage(MessageIcon::Critical, load.problem);
        return;
    }
}

void SheetActions::compareWithUnitSettings()
{
    const std::optional<ChosenSheet> chosen = chooseSheet(SheetFileUse::Compare);
    if (!chosen)
        return;
    const auto &[unit, path, sheet] = *chosen;
    // A sheet for another model would compare only the values the two share;
    // it is refused as Load refuses it.
    if (panelOfUnitModel(sheet.unitModel) != panelOfUnitModel(unit.unitModel)) {
        window_.showMessage(
            MessageIcon::Exclamation,
            loadRefusalText(path, unit.unitModel, validateParameterSheet(sheet, unit.unitModel)));
        return;
    }
    SheetOperations operations(session_, unit);
    SheetOperations::CompareResult compared;
    {
        SheetProgress progress(window_, QStringLiteral("Compare with Unit Settings"), operations);
        compared = operations.compare(sheet);
    }
    if (compared.outcome == SheetOperations::Outcome::Done)
        showComparison(compared.rows,
                       QStringLiteral("Compare - %1").arg(QFileInfo(path).fileName()), *chosen);
    else if (compared.outcome == SheetOperations::Outcome::Failed)
        window_.showMessage(MessageIcon::Critical, compared.problem);
}

void SheetActions::openChangeHistory()
{
    ChangeHistoryDialog dialog(
        journalPath_, [this](const JournalRow &row) { return canWriteBack(row); },
        [this](const JournalRow &row) { writeBack(row); }, reportFiles(), &window_);
    dialog.exec();
}

bool SheetActions::canWriteBack(const JournalRow &row) const
{
    if (!row.before || !session_.state.UnitConnected || !tracker_)
        return false;
    // A row whose unit was not asked names no model to write back to; it is
    // refused before the unit at the axis is asked its own.
    if (row.unitModel.isEmpty() || row.axis != session_.state.AxisAddress ||
        row.unitModel != tracker_->unitModel())
        return false;
    const SheetOperations operations(session_, {row.unitModel, tracker_->revision()});
    return !operations.valueName(row.field, row.profile.toInt()).isEmpty();
}

void SheetActions::writeBack(const JournalRow &row)
{
    if (!canWriteBack(row))
        return;
    const QString value = *row.before;
    const int profile = row.profile.toInt();
    SheetOperations operations(session_, {row.unitModel, tracker_->revision()});
    const QString name = operations.valueName(row.field, profile);
    SheetOperations::LoadResult checked;
    {
        SheetProgress progress(window_, QStringLiteral("Write Back"), operations);
        checked = operations.checkValue(row.field, profile, value);
    }
    switch (checked.outcome) {
    case SheetOperations::Outcome::Done:
        break;
    case SheetOperations::Outcome::Cancelled:
        return;
    case SheetOperations::Outcome::Refused:
        window_.showMessage(
            MessageIcon::Exclamation,
            QStringLiteral("%1 cannot be written back to %2; nothing was sent:\n\n%3")
                .arg(value, name, refusalText(checked.refusals)));
        return;
    case SheetOperations::Outcome::Failed:
        window_.showMessage(MessageIcon::Critical, checked.problem);
        return;
    }
    if (!confirm(QStringLiteral("Write %1 back to %2 of the %3 at address %4?")
                     .arg(value, name, row.unitModel, session_.state.AxisAddress)))
        return;
    SheetOperations::LoadResult written;
    {
        SheetProgress progress(window_, QStringLiteral("Write Back"), operations, 0,
                               QStringLiteral("Writing %1").arg(name));
        written = operations.writeValue(row.field, profile, value);
    }
    if (written.written > 0)
        showWhatTheUnitHolds(window_, session_, row.unitModel);
    if (written.outcome != SheetOperations::Outcome::Done) {
        window_.showMessage(MessageIcon::Critical, written.problem);
        return;
    }
    // A value the unit did not keep is said by the journal's tracker.
    if (!written.readBack.front().differs)
        window_.showRunStatus(QStringLiteral("%1: %2 written back").arg(name, value));
}

} // namespace ktv
