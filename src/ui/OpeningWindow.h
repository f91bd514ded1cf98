#pragma once
// The title window: shown while the main window loads and looks for a unit.

#include <QWidget>

class QLabel;
class QPushButton;

namespace ktv {

class MainWindow;

class OpeningWindow : public QWidget
{
    Q_OBJECT
  public:
    explicit OpeningWindow(MainWindow &main);
    QPushButton *cmdOk() const { return ok_; }
    QLabel *lblScanProgress() const { return scanProgress_; }

    // Shows itself, loads the main window (which scans for a unit), then
    // shows the main window and hides itself.
    void start();
    void pressOk();

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    MainWindow &main_;
    QPushButton *ok_ = nullptr;
    QLabel *scanProgress_ = nullptr;
};

} // namespace ktv
