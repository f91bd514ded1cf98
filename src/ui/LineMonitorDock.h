#pragma once
// The Line Monitor window: a dock the operator can float or close, showing
// the session's line monitor as a table (time, direction, baud, text,
// meaning) with Pause, Clear, a filter on the text, Copy and Save as Text.
// It follows the newest line unless paused.

#include <QDockWidget>

class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace ktv {

class LineMonitor;
class Toolkit;

class LineMonitorDock : public QDockWidget
{
    Q_OBJECT
  public:
    LineMonitorDock(LineMonitor &monitor, Toolkit &toolkit, QWidget *parent = nullptr);

    QTableView *table() const { return table_; }
    QPushButton *pauseButton() const { return pause_; }
    QLineEdit *filterBox() const { return filter_; }

    // The rows the table shows, one monitor line each; selectedOnly: the
    // selected rows. Copy puts these on the clipboard, Save writes them.
    QString shownText(bool selectedOnly) const;
    void copySelection();
    // Asks for a file and writes every shown row to it.
    void saveAsText();
    bool saveTo(const QString &path);

    // Tall enough for a dozen lines.
    QSize sizeHint() const override;

  protected:
    // Ctrl+C in the table copies its selection, though the Setup menu uses
    // the key too.
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void followNewest();

    LineMonitor &monitor_;
    Toolkit &toolkit_;
    QSortFilterProxyModel *shown_ = nullptr;
    QTableView *table_ = nullptr;
    QPushButton *pause_ = nullptr;
    QLineEdit *filter_ = nullptr;
};

} // namespace ktv
