#pragma once
// Setup > Find Units on the Line: asks every address from 0 to 99 at the rate
// the connection runs at and lists who answers. OK with a unit chosen makes
// its address the axis the program talks to, as Axis Select does.

#include <QDialog>
#include <functional>

class QDialogButtonBox;
class QLabel;
class QTreeWidget;

namespace ktv {

class UnitSession;

class FindUnitsDialog : public QDialog
{
    Q_OBJECT
  public:
    // hardLimit: what the dialog's Hard Limit button does (the shown panel's
    // Hard Limit), since the window's own stops are out of reach meanwhile.
    FindUnitsDialog(UnitSession &session, QWidget *parent, std::function<void()> hardLimit = {});

    QTreeWidget *list() const { return list_; }
    QLabel *status() const { return status_; }
    // Runs the sweep; returns once it has ended or the dialog was closed.
    void sweep();
    // The chosen unit's address; empty when none is chosen.
    QString chosenAddress() const;

  private:
    UnitSession &session_;
    QTreeWidget *list_ = nullptr;
    QLabel *status_ = nullptr;
    QDialogButtonBox *buttons_ = nullptr;
    bool stopped_ = false;
};

} // namespace ktv
