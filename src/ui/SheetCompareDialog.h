#pragma once
// A parameter sheet against the unit, value by value: Field, Sheet, Unit.
// Rows that differ are highlighted and counted; the table sorts by any
// column, and Copy (or Ctrl+C) puts the selected rows, or all of them, on
// the clipboard as tab-separated text. Export (CSV) and Print (PDF) take
// the table in the order shown, under the unit, revision, address, sheet and
// local time it was made at.

#include "session/SheetOperations.h"
#include "ui/ReportPrinter.h"

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
    // facts: what the comparison is of ({"Unit", "KTRA20"}, {"Sheet", "unit.json"}, ...).
    SheetCompareDialog(const std::vector<SheetComparisonRow> &rows, const QString &title,
                       std::vector<std::pair<QString, QString>> facts, ReportFiles files,
                       QWidget *parent);

    QTableView *table() const { return table_; }
    QLabel *summary() const { return summary_; }
    // The selected rows in the order shown, or all rows when none is
    // selected, with a heading line; tab-separated, one row a line.
    QString copyText() const;
    void copy();
    // The table as shown, with its facts: what Export and Print write.
    ReportPage reportPage() const;

    static QColor differenceColour();

  private:
    QStandardItemModel *model_ = nullptr;
    QTableView *table_ = nullptr;
    QLabel *summary_ = nullptr;
    std::vector<std::pair<QString, QString>> facts_;
};

} // namespace ktv
