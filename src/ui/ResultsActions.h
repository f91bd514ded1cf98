#pragma once
// The main window's production side: Tools > Production Run (units checked
// against a sheet one after another), Tools > Results, Setup > Results
// Database, and the sender that takes the results waiting on this bench to
// the results server. Each menu entry opens one dialog; the results of a
// run are kept as the command-line tool keeps those of a check. The server
// is reached only from the results worker's thread.

class QMenu;

namespace ktv {

class JournalWriter;
class MainWindow;
class ResultsSender;
class ResultsWorker;
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

    // Made with the first use, once the journal's place is known.
    ResultsSender *sender();

  private:
    MainWindow &window_;
    UnitSession &session_;
    SheetActions &sheets_;
    // Every exchange with the results server runs on its thread; a child
    // of the window.
    ResultsWorker *worker_ = nullptr;
    ResultsSender *sender_ = nullptr;
    // Writes the station's results into the journal on its own thread; made
    // with the first result, a child of the window.
    JournalWriter *journalWriter_ = nullptr;
};

} // namespace ktv
