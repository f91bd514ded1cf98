#pragma once
// Setup, Communication Settings: choose the COM port, stored in config.qdr.

#include <QDialog>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

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
    int OldComPort = -1;

    void pressOK();
    void pressCancel();
    void reject() override;

  private:
    void showDevice();

    MainWindow &window_;
    QListWidget *list_ = nullptr;
    QPushButton *ok_ = nullptr;
    QPushButton *cancel_ = nullptr;
    QLabel *device_ = nullptr;
};

// The menu entry: shows the dialog modally, then drops an open connection
// unless the dialog ended without a change.
void CommunicationSettings(MainWindow &window);

// Tests reach the modal dialog through this hook: it is called with the
// dialog once it is shown.
void setCommSettingsHook(std::function<void(CommSettingsDialog &)> hook);

} // namespace ktv
