#pragma once
// The operator's workplace: one tab per model panel, the connection area, the
// menus. Handlers are thin: each reads its panel and calls one action in
// link/, protocol/, params/, readback/ or axis/.

#include "app/Panel.h"
#include "app/SharedState.h"
#include "protocol/CommandFrame.h"

#include <QMainWindow>
#include <array>

class QAction;
class QLabel;
class QPushButton;
class QTabWidget;

namespace ktv {

class SerialLink;
class AxisSelectDialog;
class AxisDefineDialog;

class MainWindow : public QMainWindow
{
    Q_OBJECT
  public:
    MainWindow(SharedState &state, SerialLink &link, const QString &storePath,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    SharedState &state;
    SerialLink &link;
    const QString storePath;

    // Count of read-back runs in progress; set options send only while it is 0 or less.
    int Times = 0;
    // Copy read-back values into the entry boxes during the next run.
    bool ProfileUpdate = false;

    // The load step: profile "1", axis "0", read the store, scan for a unit.
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

    void ShowConnectionStatus();
    void setAllTabsAvailable();
    void TabStopsOn(Model model);
    void TabStopsOff(Model model);
    void hideMicrostepGroupVELD30();

    // Pressing a button from code runs its action at once, even when the
    // button is disabled (a profile click during a run starts a nested run).
    void pressVerify(Model model);
    void pressGo(Model model);
    void pressStop(Model model, frame::Motion motion);
    void pressSend(Model model, ParamKey key);
    void leaveBox(Model model, ParamKey key);
    void selectOption(Model model, Option option); // as the operator selecting it
    void selectProfile(Model model, int number);
    void pressConnect();
    void pressDisconnect();
    void openCommSettings();
    void openAxisSelect();
    void openAxisDefine();
    AxisSelectDialog *axisSelectDialog() const { return axisSelect_; }
    AxisDefineDialog *axisDefineDialog() const { return axisDefine_; }

  signals:
    // The window was closed: the program ends now.
    void programEnding();

  protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void buildMenus();
    void buildConnectionArea(QWidget *central);
    void wirePanel(Panel &panel);
    void onLineLost(const QString &reason);

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
    AxisSelectDialog *axisSelect_ = nullptr;
    AxisDefineDialog *axisDefine_ = nullptr;
};

} // namespace ktv
