#pragma once
// The few window-toolkit operations the actions use, kept in one place so that
// tests can watch them: the message box, the application-wide wait cursor, and
// centring a window on its screen.

#include <QString>
#include <functional>

class QWidget;

namespace ktv {

enum class MessageIcon { None, Critical, Exclamation, Information };

inline const QString ApplicationTitle = QStringLiteral("KTRA-VELD Software");

// Shows a modal message box titled "KTRA-VELD Software" with one OK button.
// While the program is ending nothing is shown.
void ShowMessage(MessageIcon icon, const QString &text);

// Tests replace the message box by a recorder; an empty function restores it.
using MessageSink = std::function<void(MessageIcon, const QString &)>;
void setMessageSink(MessageSink sink);

// Not a stack: a second ShowWaitCursor changes nothing, one ShowNormalCursor
// always brings the default pointer back.
void ShowWaitCursor();
void ShowNormalCursor();
bool isWaitCursorShown();

// left = (screen width - window width) / 2, top likewise.
void centreOnScreen(QWidget *window);

// Set once the main window closes: messages stay hidden from then on.
void setProgramEnding(bool ending);
bool isProgramEnding();

} // namespace ktv
