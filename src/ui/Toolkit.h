#pragma once
// The few window-toolkit operations the program uses, kept in one object the
// main window owns so that tests can watch them: the message box, the
// application-wide wait cursor, and centring a window on its screen.

#include "session/SessionView.h"

#include <QString>
#include <functional>

class QWidget;

namespace ktv {

inline const QString ApplicationTitle = QStringLiteral("KTRA-VELD Software");

using MessageSink = std::function<void(MessageIcon, const QString &)>;

class Toolkit
{
  public:
    // Shows a modal message box titled "KTRA-VELD Software" with one OK button;
    // details, when given, sit behind the box's "Show Details..." button.
    void showMessage(MessageIcon icon, const QString &text, const QString &details = {});
    // Tests replace the message box by a recorder; an empty function restores it.
    void setMessageSink(MessageSink sink) { sink_ = std::move(sink); }
    // The details of the last message that had some (for a recorder).
    QString lastDetails() const { return lastDetails_; }

    // Not a stack: a second showWaitCursor changes nothing, one
    // showNormalCursor always brings the default pointer back.
    void showWaitCursor();
    void showNormalCursor();
    bool isWaitCursorShown() const { return waitCursorShown_; }

  private:
    MessageSink sink_;
    QString lastDetails_;
    bool waitCursorShown_ = false;
};

// left = (screen width - window width) / 2, top likewise, on the part of the
// screen windows may use (without panels and docks), the frame included. A
// window larger than that area is first made as small as the area (or its
// minimum size).
void centreOnScreen(QWidget *window);

// Keeps a window within that area: smaller when it is too large, moved in
// when it sticks out; a window that fits stays where it is.
void keepOnScreen(QWidget *window);

} // namespace ktv
