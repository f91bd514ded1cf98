#pragma once
// Setup, Communication Settings: choose the COM port, stored in config.qdr.

#include "link/PortProbe.h"

#include <QDialog>
#include <QMap>
#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace ktv {

class MainWindow;

class CommSettingsDialog : public QDialog
{
    Q_OBJECT
  public:
    explicit CommSettingsDialog(MainWindow &window);

    QListWidget *lstComPorts() const { return list_; }
    QPushButton *btnOK() const { return ok_; }
    QPushButton *btnCancel() const { return cancel_; }
    QLabel *deviceLabel() const { return device_; }
    QTreeWidget *portsPresent() const { return ports_; }
    QPushButton *btnUseForCom() const { return useForCom_; }
    QLabel *storePathLabel() const { return storePath_; }
    int OldComPort = -1;

    void pressOK();
    void pressCancel();
    // The selected COM number opens the selected port from now on.
    void pressUseForCom();
    void reject() override;

  private:
    void showDevice();
    void fillPortsPresent();
    std::optional<int> selectedComPort() const;
    // Cancel undoes every "Use for COM n" of this dialog.
    void undoPortDevices();

    MainWindow &window_;
    QListWidget *list_ = nullptr;
    QPushButton *ok_ = nullptr;
    QPushButton *cancel_ = nullptr;
    QLabel *device_ = nullptr;
    QTreeWidget *ports_ = nullptr;
    QPushButton *useForCom_ = nullptr;
    QLabel *storePath_ = nullptr;
    // What each COM number given a device here opened before: a device, or
    // none (the platform's own name).
    QMap<int, std::optional<QString>> opensBefore_;
};

// The menu entry: shows the dialog modally, then drops an open connection
// unless the dialog ended without a change.
void CommunicationSettings(MainWindow &window);

// Tests reach the modal dialog through this hook: it is called with the
// dialog once it is shown.
void setCommSettingsHook(std::function<void(CommSettingsDialog &)> hook);

// Where the dialog learns the ports present (the system, unless a test
// gives its own); an empty function restores the system's.
void setPortsPresentSource(std::function<QList<PresentPort>()> source);

} // namespace ktv
