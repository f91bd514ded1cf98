#pragma once
// A parameter sheet against the unit, value by value: Field, Sheet, Unit.
// Rows that differ are highlighted and counted; the table sorts by any
// column, and Copy (or Ctrl+C) puts the selected rows, or all of them, on
// the clipboard as tab-separated text.

#include "session/SheetOperations.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace ktv {

class SheetCompareDialog : public QDialog
{
    Q_OBJECT
  public:
    SheetCompareDialog(const std::vector<SheetComparisonRow> &rows, const QString &title,
                       QWidget *parent);

    QTableView *table() const { return table_; }
    QLabel *summary() const { return summary_; }
    // The selected rows in the order shown, or all rows when none is
    // selected, with a heading line; tab-separated, one row a line.
    QString copyText() const;
    void copy();

    static QColor differenceColour();

  private:
    QStandardItemModel *model_ = nullptr;
    QTableView *table_ = nullptr;
    QLabel *summary_ = nullptr;
};

} // namespace ktv
