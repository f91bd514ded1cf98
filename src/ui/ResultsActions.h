#pragma once
// The main window's production side: Tools > Production Run (units checked
// against a sheet one after another), Tools > Results, Setup > Results
// Database, and the sender that takes the results waiting on this bench to
// the results server. Each menu entry opens one dialog; the results of a
// run are kept as the command-line tool keeps those of a check.

class QMenu;

namespace ktv {

class MainWindow;
class SheetActions;
class UnitSession;

class ResultsActions
{
  public:
    ResultsActions(MainWindow &window, UnitSession &session, SheetActions &sheets);

    void addSetupEntries(QMenu *setup);
    void addToolsEntries(QMenu *tools);
    // At start-up, once the store is read: what waits is sent, then once a
    // minute while anything waits.
    void startSending();

    void openProductionRun();
    void openResults();
    void openResultsDatabase();

  private:
    MainWindow &window_;
    UnitSession &session_;
    SheetActions &sheets_;
};

} // namespace ktv
