#include "ui/WindowFrame.h"

#include <QPainter>

#include <algorithm>

namespace ktv {

QSize PanelScrollArea::sizeHint() const
{
    const int frame = 2 * frameWidth();
    return widget() ? widget()->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
}

ElidingStatusBar::ElidingStatusBar(QWidget *parent) : QStatusBar(parent)
{
    connect(this, &QStatusBar::messageChanged, this, [this] {
        updateTip();
        update();
    });
}

void ElidingStatusBar::resizeEvent(QResizeEvent *event)
{
    QStatusBar::resizeEvent(event);
    updateTip();
}

void ElidingStatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().windowText().color());
    painter.drawText(room(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, shown());
}

QRect ElidingStatusBar::room() const
{
    return rect().adjusted(6, 0, -(isSizeGripEnabled() ? 18 : 6), 0);
}

QString ElidingStatusBar::shown() const
{
    return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, std::max(0, room().width()));
}

void ElidingStatusBar::updateTip()
{
    setToolTip(shown() == currentMessage() ? QString() : currentMessage());
}

} // namespace ktv
