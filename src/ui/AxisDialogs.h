#pragma once
// The two axis dialogs of the VELD30 panel. Select chooses the address the
// program talks to; Define gives the unit on the line a new address. Both are
// not modal and exist once; opening one that is open shows it again.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ktv {

class MainWindow;

// Keeps a box at digits only: anything else empties it, as typing does.
bool keepDigitsOnly(QLineEdit *box);

class AxisDialog : public QDialog
{
    Q_OBJECT
  public:
    QLineEdit *textBox() const { return box_; }
    QLabel *lblCurrentAxis() const { return current_; }
    QPushButton *cmdOk() const { return ok_; }
    QPushButton *cmdCancel() const { return cancel_; }
    bool isLoaded() const { return loaded_; }

    void showDialog();
    void pressOk();
    void pressCancel();
    // Closes the dialog without its OK or unload step: the connection it was
    // opened against is gone.
    void dismiss();

  protected:
    AxisDialog(MainWindow &window, const QString &objectName, const QString &caption,
               const QStringList &labelTexts, const QString &boxName);
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    virtual void loadStep() = 0;
    virtual void okStep() = 0;
    virtual void unloadStep() = 0;
    virtual void abandonStep() {}

    MainWindow &window_;
    QLineEdit *box_ = nullptr;
    QLabel *current_ = nullptr;
    QPushButton *ok_ = nullptr;
    QPushButton *cancel_ = nullptr;
    bool loaded_ = false;
};

class AxisSelectDialog : public AxisDialog
{
    Q_OBJECT
  public:
    explicit AxisSelectDialog(MainWindow &window);

  protected:
    void loadStep() override;
    void okStep() override;
    void unloadStep() override;
};

class AxisDefineDialog : public AxisDialog
{
    Q_OBJECT
  public:
    explicit AxisDefineDialog(MainWindow &window);
    int WasOpen = 0;
    QString TempVar;

  protected:
    void loadStep() override;
    void okStep() override;
    void unloadStep() override;
    void abandonStep() override;
};

} // namespace ktv
