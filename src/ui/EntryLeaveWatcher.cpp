#include "ui/EntryLeaveWatcher.h"

#include "session/UnitSession.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <utility>

namespace ktv {

namespace {

const char *const ModelProperty = "ktvModel";
const char *const KeyProperty = "ktvKey";

// Leaving a box means the focus went to another control of this program: a
// click or Tab to another control. The menu bar taking the keyboard (Alt, or
// Esc out of a menu), a menu or other popup opening, and another window or
// program becoming active do not leave the box; the focus comes back to it.
bool leavesTheBox(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
           reason != Qt::MenuBarFocusReason;
}

// Checked again when the leave action runs: by then the focus must rest on
// another control of this program, not on a menu, nowhere, or back in the box.
bool focusLeftTheBox(const QObject *box)
{
    const QWidget *now = QApplication::focusWidget();
    return now && now != box && !qobject_cast<const QMenuBar *>(now) &&
           !qobject_cast<const QMenu *>(now) && !QApplication::activePopupWidget();
}

} // namespace

EntryLeaveWatcher::EntryLeaveWatcher(UnitSession &session, EntriesOf entriesOf, QObject *parent)
    : QObject(parent), session_(session), entriesOf_(std::move(entriesOf))
{
}

void EntryLeaveWatcher::watch(QLineEdit *box, Model model, ParamKey key)
{
    box->setProperty(ModelProperty, tabIndex(model));
    box->setProperty(KeyProperty, static_cast<int>(key));
    box->installEventFilter(this);
}

bool EntryLeaveWatcher::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (box && event->type() == QEvent::FocusOut &&
        leavesTheBox(static_cast<QFocusEvent *>(event)->reason())) {
        const Model model = static_cast<Model>(watched->property(ModelProperty).toInt());
        const ParamKey key = static_cast<ParamKey>(watched->property(KeyProperty).toInt());
        const PanelEntries entries = entriesOf_(model);
        const QPointer<QObject> guard(watched);
        QMetaObject::invokeMethod(
            this,
            [this, model, key, entries, guard] {
                if (guard && focusLeftTheBox(guard))
                    session_.EntryBoxLeft(model, key, entries);
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ktv
