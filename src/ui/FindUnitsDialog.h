#pragma once
// Setup > Find Units on the Line: asks the line who is there and lists who
// answers. Connected, it asks at the connection's rate, and OK with a unit
// chosen makes its address the axis the program talks to, as Axis Select
// does. Without a connection it tries each rate in turn, and OK connects to
// the chosen unit at its address and rate.

#include <QDialog>
#include <QStringList>
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
    // hardLimit: what the dialog's Hard Limit button does while no unit has
    // answered (the shown panel's Hard Limit), since the window's own stops
    // are out of reach meanwhile; once units are listed, it goes to the
    // chosen one (or each listed one) at the rate they answered at.
    FindUnitsDialog(UnitSession &session, QWidget *parent, std::function<void()> hardLimit = {});

    QTreeWidget *list() const { return list_; }
    QLabel *status() const { return status_; }
    // Runs the search; returns once it has ended or the dialog was closed.
    // A port it opened itself is closed again.
    void search();
    // The chosen unit's address; empty when none is chosen.
    QString chosenAddress() const;
    // The rate the listed units answered at; 0 when none did.
    int baud() const { return baud_; }

  private:
    UnitSession &session_;
    QTreeWidget *list_ = nullptr;
    QLabel *status_ = nullptr;
    QDialogButtonBox *buttons_ = nullptr;
    QStringList found_; // the listed units' addresses
    bool stopped_ = false;
    int baud_ = 0;
};

} // namespace ktv
