#pragma once
// The main window's frame around its panels: the area that scrolls them on a
// screen smaller than they are, and a status line that never cuts a message
// off unseen.

#include <QScrollArea>
#include <QStatusBar>

namespace ktv {

// As long as the screen is large enough, the window asks for all of the
// panels' room (a plain QScrollArea asks for a fixed small size).
class PanelScrollArea : public QScrollArea
{
  public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override;
};

// A status line longer than the window ends in "..." and shows all of
// itself as its tooltip; QStatusBar would cut it at the edge.
class ElidingStatusBar : public QStatusBar
{
  public:
    explicit ElidingStatusBar(QWidget *parent);

  protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    QRect room() const;
    QString shown() const;
    void updateTip();
};

} // namespace ktv
