#include "ui/Toolkit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>

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

namespace {

// The room a window may take, and its frame. A window not shown yet has no
// frame to ask; it will get the frame the windows shown already have.
struct ScreenRoom
{
    QRect area;
    QMargins frame;
};

QMargins frameOf(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle(); handle && window->isVisible())
        return handle->frameMargins();
    for (const QWidget *other : QApplication::topLevelWidgets()) {
        const QWindow *handle = other->windowHandle();
        const Qt::WindowType type = other->windowType();
        if (other != window && other->isVisible() && handle &&
            (type == Qt::Window || type == Qt::Dialog))
            return handle->frameMargins();
    }
    return {};
}

std::optional<ScreenRoom> roomFor(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return ScreenRoom{screen->availableGeometry(), frameOf(window)};
}

// The window's size bounded by the area less its frame, but never below its
// minimum; returns the frame's size.
QSize fitSize(QWidget *window, const ScreenRoom &room)
{
    const QSize inner = room.area.size().shrunkBy(room.frame);
    const QSize size = window->size().boundedTo(inner).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    return size.grownBy(room.frame);
}

} // namespace

void centreOnScreen(QWidget *window)
{
    const std::optional<ScreenRoom> room = roomFor(window);
    if (!room)
        return;
    const QSize frame = fitSize(window, *room);
    const QRect &area = room->area;
    // move() places a window's frame.
    window->move(area.left() + std::max(0, (area.width() - frame.width()) / 2),
                 area.top() + std::max(0, (area.height() - frame.height()) / 2));
}

void keepOnScreen(QWidget *window)
{
    const std::optional<ScreenRoom> room = roomFor(window);
    if (!room)
        return;
    const QSize frame = fitSize(window, *room);
    const QRect &area = room->area;
    const QPoint at = window->pos();
    const int x = std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height()));
    if (QPoint(x, y) != at)
        window->move(x, y);
}

} // namespace ktv
