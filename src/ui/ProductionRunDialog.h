#pragma once
// Tools > Production Run: one unit after another checked against one sheet,
// on one line or several at once. The operator chooses the sheet, their
// name, the station (the host name unless told), the COM ports and Start;
// the set-up is kept in the store at Start and found again at the next open.
//
// The dialog is a view of the station run (session/StationRun), one
// StationLine per COM port: each line has its panel (its big verdict, what
// it does, the fields that differ, what is wrong with its port) and its
// Stop. The panels lie two to a row in a part that scrolls; Hard Limit,
// Stop All, the scan box and each line's verdict stay below it, always on
// screen. A verdict stays until its unit leaves the line or a new run
// starts. Stop All (the button, Esc, the close box) sends Hard Limit on
// every line at once and ends every line between units: a check under way
// runs to its end, so a write is never cut in half. Hard Limit reaches every
// line shown at any time, by click or key. Each Start is a new run: the
// counts, time per unit and table of results hold that run's units (the
// table its last few hundred), and stay after it for Export (CSV, every row)
// and Print (PDF, a page per unit with everything its report holds).
//
// Serial numbers: every line that asks is highlighted and queued; the one
// scan box gives each number to the line that asked first, and says which
// line the next scan goes to. A scan while no line asks is refused, said
// and sounded, never lost.

#include "protocol/CheckReport.h"
#include "protocol/Threads.h"
#include "ui/ReportPrinter.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGridLayout;
class QHBoxLayout;
class QScrollArea;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace ktv {

class UnitSession;
struct CheckRequest;

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
        // Keeps a unit's result: called on the dialog's thread, it returns at
        // once; the journal is written on its writer's thread and the results
        // server, when one is set, sent to on the results worker's thread.
        // told gets what the operator should know about it, else empty, once
        // it is known, on any thread.
        std::function<void(const CheckReport &, std::function<void(const QString &)> told)> keep;
    };
    ProductionRunDialog(UnitSession &session, Actions actions, QWidget *parent);
    ~ProductionRunDialog() override;

    QLineEdit *sheetBox() const { return sheet_; }
    QLineEdit *operatorBox() const { return operator_; }
    QLineEdit *stationBox() const { return station_; }
    // The COM ports of the lines, "1" or "1, 2, 3".
    QLineEdit *portsBox() const { return ports_; }
    QComboBox *baudBox() const { return baud_; }
    QComboBox *paceBox() const { return pace_; }
    // What the pace chosen does, in words.
    QLabel *paceHint() const { return paceHint_; }
    // Ask each unit's serial number before its check, and the pattern a
    // number must fit (empty: any number): the station's setting, kept in
    // the store at Start.
    QCheckBox *askSerialBox() const { return askSerial_; }
    QLineEdit *serialPatternBox() const { return serialPattern_; }
    // A number that fits the pattern, shown to the operator instead of it.
    QLineEdit *serialExampleBox() const { return serialExample_; }
    QPushButton *startButton() const { return start_; }
    // Stop All.
    QPushButton *stopButton() const { return stop_; }
    QPushButton *hardLimitButton() const { return hardLimit_; }
    // Each line's panel, in the order of the COM ports given.
    int lineCount() const { return int(lines_.size()); }
    QLabel *verdictLabel(int line = 0) const;
    // The line's verdict below the panels, always on screen: "COM 2: FAIL".
    QLabel *verdictSummary(int line = 0) const;
    QWidget *linePanel(int line = 0) const;
    QScrollArea *panelsArea() const { return scroll_; }
    QLabel *stateLabel(int line = 0) const;
    QListWidget *differencesList(int line = 0) const;
    // Why the line's port does not open or was lost, while it is so; else empty.
    QLabel *portLabel(int line = 0) const;
    QPushButton *lineStopButton(int line) const;
    // Where serial numbers are scanned or typed (Enter gives one), while a
    // run asks them; and which line the next goes to, or why one was refused.
    QLineEdit *scanBox() const { return scan_; }
    QLabel *scanLabel() const { return scanTarget_; }
    // Why the last serial number given to the line was refused; else empty.
    QLabel *serialLabel(int line = 0) const;
    QLabel *countsLabel() const { return counts_; }
    // Where the line's last result went when it did not simply go; else empty.
    QLabel *keptLabel(int line = 0) const;
    QTableView *resultsTable() const { return table_; }
    bool isRunning() const;
    const std::vector<CheckReport> &reports() const { return reports_; }

    // Start: a new run on every line given; returns at once.
    void start();
    // Stop All: Hard Limit on every line, then every line ends before its
    // next unit.
    void stop();
    // The stop-all line on every line shown, whatever each does.
    void hardLimitAll();
    // The program ends: every line stops writing at once, and the dialog closes.
    void programEnds();

    // The run's table, with the station, operator, sheet and counts.
    ReportPage runPage() const;
    // One page per unit checked.
    std::vector<ReportPage> unitPages() const;

  signals:
    // A line's state changed: "Waiting for a unit", "Checking the KTRA20 at
    // address 0", "Remove the unit", "Run stopped", ...
    void stateShown(const QString &text);
    // Every line has ended.
    void runEnded();

  protected:
    // Esc, the close box and Close: Stop while a run goes on (the dialog
    // stays, with the run's results), else the dialog closes.
    void reject() override;
    // Typing while no box has the keyboard goes to the scan box: a scanner
    // types wherever the focus is.
    void keyPressEvent(QKeyEvent *event) override;

  private:
    class LinePanel; // ProductionLinePanel.h
    // The set-up's boxes, found again from the store (ProductionRunSetup.cpp).
    QFormLayout *makeSetupForm(QWidget *content);
    // The COM ports given, when they are numbers and none repeats.
    std::optional<QList<int>> portsGiven() const;
    // The results table, empty (ProductionRunResults.cpp).
    QTableView *makeResultsTable(QWidget *parent);
    // Panels for the COM ports given, the old ones gone.
    void makePanels(const QList<int> &ports);
    void addResult(const LinePanel &line, const CheckReport &report, const QString &keptProblem);
    void lineEnded();
    void updateCounts();
    void setRunning(bool running);
    // The lines asking for a number, first asked first; the scan box's label.
    void asking(LinePanel &line, bool refused);
    void notAsking(LinePanel &line);
    void showScanTarget();
    void giveScan();
    // The dialog within its screen, as large as its content wants.
    void fitToScreen();
    // The set-up and the serial number setting, kept in the store.
    void keepSetup(bool askSerial, const QString &pattern);

    UnitSession &session_;
    Actions actions_;
    QLineEdit *sheet_ = nullptr;
    QLineEdit *operator_ = nullptr;
    QLineEdit *station_ = nullptr;
    QLineEdit *ports_ = nullptr;
    QComboBox *baud_ = nullptr;
    QComboBox *pace_ = nullptr;
    QLabel *paceHint_ = nullptr;
    QCheckBox *askSerial_ = nullptr;
    QLineEdit *serialPattern_ = nullptr;
    QLineEdit *serialExample_ = nullptr;
    QPushButton *browse_ = nullptr;
    QPushButton *start_ = nullptr;
    QPushButton *stop_ = nullptr;
    QPushButton *hardLimit_ = nullptr;
    QPushButton *close_ = nullptr;
    ReportButtons reportButtons_;
    QScrollArea *scroll_ = nullptr;
    QGridLayout *panels_ = nullptr;
    QHBoxLayout *summaries_ = nullptr;
    QLineEdit *scan_ = nullptr;
    QLabel *scanTarget_ = nullptr;
    std::vector<std::unique_ptr<LinePanel>> lines_;
    std::vector<LinePanel *> asking_;
    // Stops sent to lines no run holds, and the device each writes to; each
    // waited for before the dialog goes.
    struct IdleStop
    {
        StartedThread thread;
        QString device;
    };
    std::vector<IdleStop> idleStops_;
    QLabel *counts_ = nullptr;
    QStandardItemModel *results_ = nullptr;
    QTableView *table_ = nullptr;

    bool running_ = false;
    std::vector<CheckReport> reports_;
    std::vector<QStringList> rows_; // every row of the run; the table shows the last ones
    std::unique_ptr<CheckRequest> request_;
};

} // namespace ktv
