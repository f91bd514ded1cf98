#pragma once
// The progress of a long operation on the unit (Save, Load, Compare, Write
// back): what it does now, how far it is, Cancel, and Hard Limit. The dialog
// is window-modal, so the panel's own stop buttons and the window's Esc are
// out of reach while it is up; its Hard Limit button is there instead and
// stops the motor as the shown panel's Hard Limit button does. Cancel, Esc
// and the close box cancel the operation.

#include <QDialog>
#include <functional>

class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace ktv {

// A "&Hard Limit" button in a dialog's button row that runs stop when
// pressed; never the default button, so Enter does not stop the motor.
QPushButton *addHardLimitButton(QDialogButtonBox *buttons, std::function<void()> stop);

class ProgressDialog : public QDialog
{
    Q_OBJECT
  public:
    ProgressDialog(const QString &title, std::function<void()> hardLimit, QWidget *parent);

    void setLabelText(const QString &text);
    void setProgress(int done, int total);
    QPushButton *hardLimitButton() const { return hardLimit_; }

  signals:
    // Cancel, Esc or the close box.
    void canceled();

  private:
    QLabel *label_ = nullptr;
    QProgressBar *bar_ = nullptr;
    QPushButton *hardLimit_ = nullptr;
};

} // namespace ktv
