#pragma once
// Leaving a parameter's entry box sends its value. The leave action runs
// after the focus change has finished (a queued call): a Send button clicked
// out of its own box gets its press first, and both actions run. It carries
// the box text, profile and axis in force when the box was left, so a quick
// click on another profile does not redirect a value typed for this one.

#include "protocol/Models.h"

#include <QObject>

class QLineEdit;

namespace ktv {

class UnitSession;

class EntryLeaveWatcher : public QObject
{
  public:
    EntryLeaveWatcher(UnitSession &session, QObject *parent);
    void watch(QLineEdit *box, Model model, ParamKey key);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    UnitSession &session_;
};

} // namespace ktv
