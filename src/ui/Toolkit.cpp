#include "ui/Toolkit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace ktv {

namespace {

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

void Toolkit::showMessage(MessageIcon icon, const QString &text, const QString &details)
{
    if (!details.isEmpty())
        lastDetails_ = details;
    if (sink_) {
        sink_(icon, text);
        return;
    }
    // The wait cursor would otherwise hide the arrow over the OK button.
    const bool restoreWait = waitCursorShown_;
    if (restoreWait)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(toBoxIcon(icon), ApplicationTitle, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setDetailedText(details);
    box.exec();
    if (restoreWait)
        QGuiApplication::restoreOverrideCursor();
}

void Toolkit::showWaitCursor()
{
    if (waitCursorShown_)
        return;
    waitCursorShown_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void Toolkit::showNormalCursor()
{
    if (!waitCursorShown_)
        return;
    waitCursorShown_ = false;
    QGuiApplication::restoreOverrideCursor();
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

} // namespace ktv
