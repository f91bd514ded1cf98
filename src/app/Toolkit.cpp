#include "app/Toolkit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace ktv {

namespace {
MessageSink &messageSink()
{
    static MessageSink sink;
    return sink;
}
bool waitCursorShown = false;
bool programEnding = false;

QMessageBox::Icon toBoxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void ShowMessage(MessageIcon icon, const QString &text)
{
    if (programEnding)
        return;
    if (messageSink()) {
        messageSink()(icon, text);
        return;
    }
    // The wait cursor would otherwise hide the arrow over the OK button.
    const bool restoreWait = waitCursorShown;
    if (restoreWait)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(toBoxIcon(icon), ApplicationTitle, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
    if (restoreWait)
        QGuiApplication::restoreOverrideCursor();
}

void setMessageSink(MessageSink sink)
{
    messageSink() = std::move(sink);
}

void ShowWaitCursor()
{
    if (waitCursorShown)
        return;
    waitCursorShown = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void ShowNormalCursor()
{
    if (!waitCursorShown)
        return;
    waitCursorShown = false;
    QGuiApplication::restoreOverrideCursor();
}

bool isWaitCursorShown()
{
    return waitCursorShown;
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.left() + (area.width() - size.width()) / 2,
                 area.top() + (area.height() - size.height()) / 2);
}

void setProgramEnding(bool ending)
{
    programEnding = ending;
}
bool isProgramEnding()
{
    return programEnding;
}

} // namespace ktv
