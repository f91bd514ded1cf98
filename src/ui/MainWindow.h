#pragma once
// The operator's workplace: one tab per model panel, the connection area, the
// menus. It is the session's view: each handler reads its panel and calls one
// session operation, and the session tells it what to show.
//
// The ui library: PanelCatalogue and PanelBuilder make the six panels from
// their table; VerifyDisplay shows read-backs; EntryLeaveWatcher runs the
// leave action of the entry boxes; SheetActions the sheet and change history
// actions; WindowFrame the scroll area and status line; Toolkit the message,
// cursor and screen seams; the dialogs each in a file of their own.

#include "protocol/CommandFrame.h"
#include "session/PanelEntries.h"
#include "session/SessionView.h"
#include "ui/Panel.h"
#include "ui/ResultsActions.h"
#include "ui/SheetActions.h"
#include "ui/Toolkit.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace ktv {

class UnitSession;
class LineMonitor;
class LineMonitorDock;
class AxisSelectDialog;
class AxisDefineDialog;
class ChangeTracker;
class EntryLeaveWatcher;

class MainWindow : public QMainWindow, public SessionView
{
    Q_OBJECT
  public:
    explicit MainWindow(UnitSession &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    UnitSession &session() const { return session_; }
    Toolkit &toolkit() { return toolkit_; }

    // The load step: centre the window, then the session's start-up.
    void load();

    Panel &panel(Model model) { return panels_[tabIndex(model)]; }
    const Panel &panel(Model model) const { return panels_[tabIndex(model)]; }
    QTabWidget *SSTab1() const { return tabs_; }
    QLabel *lblConnected() const { return connected_; }
    QLabel *lblVersionNumber() const { return version_; }
    QPushButton *cmdConnect() const { return connect_; }
    QPushButton *cmdExit() const { return exit_; }
    QAction *mnuExit() const { return mnuExit_; }
    QAction *mnuConnect() const { return mnuConnect_; }
    QAction *mnuDisconnect() const { return mnuDisconnect_; }
    QAction *mnuCommSettings() const { return mnuCommSettings_; }
    QAction *mnuLineMonitor() const { return mnuLineMonitor_; }
    LineMonitor &lineMonitor() const { return *lineMonitor_; }
    LineMonitorDock *lineMonitorDock() const { return lineMonitorDock_; }
    QLabel *lblScanProgress() const { return scanProgress_; }

    void TabStopsOn(Model model);
    void TabStopsOff(Model model);

    // Pressing a button from code runs its action at once, even when the
    // button is disabled (a profile click during a run starts a nested run).
    void pressVerify(Model model);
    void pressGo(Model model);
    void pressStop(Model model, frame::Motion motion);
    void pressSend(Model model, ParamKey key);
    void leaveBox(Model model, ParamKey key);
    // The panel's box texts with the profile and axis in force now: what a
    // Send click or leaving a box hands the session.
    PanelEntries entriesOf(Model model) const;
    void selectOption(Model model, Option option); // as the operator selecting it
    void selectProfile(Model model, int number);
    void pressConnect();
    void pressDisconnect();
    void openCommSettings();
    void openAxisSelect();
    void openAxisDefine();
    void openFindUnits();
    // Tools > Production Run: units checked against a sheet one after another.
    void openProductionRun() { results_->openProductionRun(); }
    // File > Save / Load / Compare with Unit Settings, Tools > Change History.
    void saveUnitSettings() { sheets_->saveUnitSettings(); }
    void loadUnitSettings() { sheets_->loadUnitSettings(); }
    void compareWithUnitSettings() { sheets_->compareWithUnitSettings(); }
    void openChangeHistory() { sheets_->openChangeHistory(); }
    void setFileChooser(SheetActions::FileChooser chooser)
    {
        sheets_->setFileChooser(std::move(chooser));
    }
    void setChangeTracking(ChangeTracker *tracker, const QString &journalPath)
    {
        sheets_->setChangeTracking(tracker, journalPath);
    }
    ReportFiles reportFiles() { return sheets_->reportFiles(); }
    AxisSelectDialog *axisSelectDialog() const { return axisSelect_; }
    AxisDefineDialog *axisDefineDialog() const { return axisDefine_; }

    // SessionView
    void showMessage(MessageIcon icon, const QString &text) override;
    void showOpenFailure(MessageIcon icon, const QString &text, const QString &details) override;
    void showWaitCursor() override;
    void showNormalCursor() override;
    void showConnectionStatus(bool connected) override;
    void showVersion(const QString &versionText) override;
    void setConnectEnabled(bool enabled) override;
    void selectPanel(Model model) override;
    void setAllPanelsAvailable() override;
    void hideMicrostepGroupVELD30() override;
    void setRunButtonsEnabled(Model model, bool enabled) override;
    void resetReadback(Model model, const QString &profile) override;
    void showSelectedProfile(const QString &profile) override;
    void showField(Model model, Field field, const std::optional<QString> &reply,
                   bool copyIntoBox) override;
    void showSelectedAxis(Model model, const QString &address) override;
    void showRunStatus(const QString &text) override;
    void connectionChanged() override;
    void showScanProgress(const QString &text) override;

  signals:
    // The port and rate a scan tries now; empty once it has ended.
    void scanProgressShown(const QString &text);
    // The window was closed: the program ends now.
    void programEnding();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void buildMenus();
    void buildConnectionArea(QWidget *central);
    void buildLineMonitor();
    void watchPort();
    void wirePanel(Panel &panel);
    // A refused option click: the group shows again what it showed before.
    void restoreOptionGroup(QRadioButton *clicked, QRadioButton *previous);

    UnitSession &session_;
    Toolkit toolkit_;
    std::array<Panel, ModelCount> panels_;
    QTabWidget *tabs_ = nullptr;
    QLabel *connected_ = nullptr;
    QLabel *version_ = nullptr;
    QPushButton *connect_ = nullptr;
    QPushButton *exit_ = nullptr;
    QAction *mnuExit_ = nullptr;
    QAction *mnuConnect_ = nullptr;
    QAction *mnuDisconnect_ = nullptr;
    QAction *mnuCommSettings_ = nullptr;
    QAction *mnuLineMonitor_ = nullptr;
    LineMonitor *lineMonitor_ = nullptr;
    LineMonitorDock *lineMonitorDock_ = nullptr;
    QLabel *scanProgress_ = nullptr;
    AxisSelectDialog *axisSelect_ = nullptr;
    AxisDefineDialog *axisDefine_ = nullptr;
    EntryLeaveWatcher *leaveWatcher_ = nullptr;
    QRadioButton *leftOption_ = nullptr; // the option button unselected last
    bool showingReadback_ = false;
    std::unique_ptr<SheetActions> sheets_;
    std::unique_ptr<ResultsActions> results_;
};

} // namespace ktv
