#pragma once
// Tools > Change History: the change journal, newest first, with a filter by
// unit model, and a button that writes a row's earlier value back. The
// window decides whether a row can be written back and does the writing;
// the dialog shows the journal again afterwards. Export (CSV) and Print
// (PDF) take the rows the filter shows, under the unit filter and the local
// time.

#include "ui/ReportPrinter.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QSqlTableModel;
class QStandardItemModel;
class QTableView;

namespace ktv {

class StoreConnection;

// What a journal row says, as the write-back needs it.
struct JournalRow
{
    QString unitModel;
    QString axis;
    QString field;
    QString profile;
    QString value;
    std::optional<QString> before;
};

class ChangeHistoryDialog : public QDialog
{
    Q_OBJECT
  public:
    using CanWriteBack = std::function<bool(const JournalRow &)>;
    using WriteBack = std::function<void(const JournalRow &)>;

    ChangeHistoryDialog(const QString &journalPath, CanWriteBack canWriteBack, WriteBack writeBack,
                        ReportFiles files, QWidget *parent);
    ~ChangeHistoryDialog() override;

    QTableView *table() const { return table_; }
    QComboBox *unitFilter() const { return filter_; }
    QPushButton *writeBackButton() const { return writeBack_; }
    // The selected row, if one is.
    std::optional<JournalRow> selectedRow() const;
    // Reads the journal again (after a write-back added a row).
    void refresh();
    // The rows shown, newest first: what Export and Print write.
    ReportPage reportPage() const;

  private:
    void openJournal();
    void fillUnits();
    void applyFilter();
    void updateButton();

    QString path_;
    CanWriteBack canWriteBack_;
    WriteBack writeBackAction_;
    std::unique_ptr<StoreConnection> connection_;
    QSqlTableModel *model_ = nullptr;
    QStandardItemModel *empty_ = nullptr;
    QTableView *table_ = nullptr;
    QComboBox *filter_ = nullptr;
    QPushButton *writeBack_ = nullptr;
};

} // namespace ktv
