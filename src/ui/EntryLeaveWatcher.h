#pragma once
// Leaving a parameter's entry box sends its value. The leave action runs
// after the focus change has finished (a queued call): a Send button clicked
// out of its own box gets its press first, and both actions run. It carries
// the panel's box texts, profile and axis in force when the box was left, so
// a quick click on another profile does not redirect a value typed for this
// one.

#include "protocol/Models.h"
#include "session/PanelEntries.h"

#include <QObject>
#include <functional>

class QLineEdit;

namespace ktv {

class UnitSession;

class EntryLeaveWatcher : public QObject
{
  public:
    // entriesOf gives a panel's entries as they stand at the moment it is called.
    using EntriesOf = std::function<PanelEntries(Model)>;
    EntryLeaveWatcher(UnitSession &session, EntriesOf entriesOf, QObject *parent);
    void watch(QLineEdit *box, Model model, ParamKey key);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    UnitSession &session_;
    EntriesOf entriesOf_;
};

} // namespace ktv
