#pragma once
// Tools > Production Run: one unit after another checked against one sheet.
// The operator chooses the sheet, their name and the station (the host name
// unless told), and Start. The run then loops:
//
// - wait for a unit: the model query at the axis address, no more than once
//   a second, at the rate chosen; a port that does not open is tried again
//   the next second (an unplugged adapter may come back);
// - check it: the sheet loaded, read back and compared (CheckRun), then a
//   large PASS or FAIL with the fields that differ;
// - "Remove the unit": the query goes on once a second until nothing answers;
// - and the next.
//
// Stop (the button, Esc, the close box) ends the run between units: a check
// under way runs to its end, so a write is never cut in half. Hard Limit
// stops the motor as the main window's shown panel does, at any time. The
// run's counts, time per unit and table of results stay after the run, for
// Export (CSV, the table) and Print (PDF, a page per unit with everything its
// report holds).

#include "protocol/CheckReport.h"
#include "ui/ReportPrinter.h"

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace ktv {

class UnitSession;
struct FoundUnit;

class ProductionRunDialog : public QDialog
{
    Q_OBJECT
  public:
    struct Actions
    {
        std::function<QString()> chooseSheet; // empty name: none chosen
        std::function<void()> hardLimit;
        std::function<void(const QString &)> refused; // a sheet that does not read
        ReportFiles reports;
        // Keeps a unit's result (the journal at once, and the results server
        // when one is set, on the results worker's thread); told gets what
        // the operator should know about it, else empty, once it is known.
        std::function<void(const CheckReport &, std::function<void(const QString &)> told)> keep;
    };
    ProductionRunDialog(UnitSession &session, Actions actions, QWidget *parent);
    ~ProductionRunDialog() override;

    QLineEdit *sheetBox() const { return sheet_; }
    QLineEdit *operatorBox() const { return operator_; }
    QLineEdit *stationBox() const { return station_; }
    QComboBox *baudBox() const { return baud_; }
    QPushButton *startButton() const { return start_; }
    QPushButton *stopButton() const { return stop_; }
    QPushButton *hardLimitButton() const { return hardLimit_; }
    QLabel *verdictLabel() const { return verdict_; }
    QLabel *stateLabel() const { return state_; }
    QListWidget *differencesList() const { return differences_; }
    QLabel *countsLabel() const { return counts_; }
    // Why the port does not open, while it does not; else empty.
    QLabel *portLabel() const { return port_; }
    // Where the last result went when it did not simply go; else empty.
    QLabel *keptLabel() const { return kept_; }
    QTableView *resultsTable() const { return table_; }
    bool isRunning() const { return running_; }
    const std::vector<CheckReport> &reports() const { return reports_; }

    // Start: runs the loop until Stop; returns when the run has ended.
    void start();
    // Ends the run before the next unit.
    void stop();

    // The run's table, with the station, operator, sheet and counts.
    ReportPage runPage() const;
    // One page per unit checked.
    std::vector<ReportPage> unitPages() const;

  signals:
    // The big text changed: "Waiting for a unit", "PASS", "Remove the unit", ...
    void stateShown(const QString &text);

  protected:
    // Esc, the close box and Close: Stop while a run goes on (the dialog
    // stays, with the run's results), else the dialog closes.
    void reject() override;

  private:
    // The next unit on the line; none once the run is to end.
    std::optional<FoundUnit> waitForUnit();
    // Returns once the unit has gone (or the run is to end).
    void waitForRemoval();
    // One query at the axis address, no sooner than a second after the last.
    std::optional<FoundUnit> ask();
    bool pause(double seconds); // false once the run is to end
    void check(const FoundUnit &unit);
    void showVerdict(const CheckReport &report);
    void showState(const QString &text, const QString &colour = QString());
    void updateCounts();
    void setRunning(bool running);
    bool ending() const;

    UnitSession &session_;
    Actions actions_;
    QLineEdit *sheet_ = nullptr;
    QLineEdit *operator_ = nullptr;
    QLineEdit *station_ = nullptr;
    QComboBox *baud_ = nullptr;
    QPushButton *browse_ = nullptr;
    QPushButton *start_ = nullptr;
    QPushButton *stop_ = nullptr;
    QPushButton *hardLimit_ = nullptr;
    QPushButton *close_ = nullptr;
    ReportButtons reportButtons_;
    QLabel *verdict_ = nullptr;
    QLabel *state_ = nullptr;
    QListWidget *differences_ = nullptr;
    QLabel *counts_ = nullptr;
    QLabel *port_ = nullptr;
    QLabel *kept_ = nullptr;
    QStandardItemModel *results_ = nullptr;
    QTableView *table_ = nullptr;

    bool running_ = false;
    bool stopAsked_ = false;
    QString address_;
    QElapsedTimer lastAsked_;
    QString openedDevice_; // what the port's name led to when it opened
    std::vector<CheckReport> reports_;
    struct Request;
    std::unique_ptr<Request> request_;
};

} // namespace ktv
