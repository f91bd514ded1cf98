#include "ui/ChangeHistoryDialog.h"

#include "store/Journal.h"
#include "store/StoreConnection.h"
#include "ui/Toolkit.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace ktv {

namespace {

// The journal's columns and their headings; id is kept for the order only.
const std::pair<const char *, const char *> Columns[] = {
    {"time", "Time (UTC)"}, {"model", "Model"},     {"revision", "Revision"}, {"axis", "Axis"},
    {"field", "Field"},     {"profile", "Profile"}, {"value", "Written"},     {"line", "Line"},
    {"before", "Before"},   {"after", "After"},     {"verdict", "Verdict"}};

const QString AllUnits = QStringLiteral("All");

// The journal's table, a row whose unit was not asked its model saying so.
class JournalTable : public QSqlTableModel
{
  public:
    using QSqlTableModel::QSqlTableModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        QVariant value = QSqlTableModel::data(index, role);
        if (role == Qt::DisplayRole && index.column() == fieldIndex(QStringLiteral("model")) &&
            value.toString().isEmpty())
            return notAskedText();
        return value;
    }
};

} // namespace

ChangeHistoryDialog::ChangeHistoryDialog(const QString &journalPath, CanWriteBack canWriteBack,
                                         WriteBack writeBack, ReportFiles files, QWidget *parent)
    : QDialog(parent), path_(journalPath), canWriteBack_(std::move(canWriteBack)),
      writeBackAction_(std::move(writeBack))
{
    setObjectName(QStringLiteral("ChangeHistory"));
    setWindowTitle(QStringLiteral("Change History"));

    filter_ = new QComboBox(this);
    filter_->setObjectName(QStringLiteral("cboUnit"));
    auto *filterLabel = new QLabel(QStringLiteral("&Unit:"), this);
    filterLabel->setBuddy(filter_);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblChanges"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);

    writeBack_ = new QPushButton(QStringLiteral("&Write back the earlier value"), this);
    writeBack_->setObjectName(QStringLiteral("cmdWriteBack"));
    writeBack_->setAutoDefault(false);
    writeBack_->setEnabled(false);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(writeBack_, QDialogButtonBox::ActionRole);
    addReportButtons(
        buttons, std::move(files), QStringLiteral("change-history"),
        [this] { return reportPage(); }, [this] { return std::vector<ReportPage>{reportPage()}; });
    buttons->addButton(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(writeBack_, &QPushButton::clicked, this, [this] {
        const std::optional<JournalRow> row = selectedRow();
        if (!row || !canWriteBack_(*row))
            return;
        writeBackAction_(*row);
        refresh();
    });

    auto *top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(filter_);
    top->addStretch(1);
    auto *column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(table_);
    column->addWidget(buttons);
    resize(960, 420);

    openJournal();
    connect(filter_, &QComboBox::currentIndexChanged, this, &ChangeHistoryDialog::applyFilter);
    // The table scrolls; the buttons below it stay in reach on a small screen.
    centreOnScreen(this);
}

ChangeHistoryDialog::~ChangeHistoryDialog()
{
    // The model goes before its connection.
    table_->setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

void ChangeHistoryDialog::openJournal()
{
    // A journal nothing has been written to yet: an empty table, and no file made.
    if (!QFileInfo::exists(path_)) {
        if (!empty_) {
            empty_ = new QStandardItemModel(0, int(std::size(Columns)), this);
            for (int i = 0; i < int(std::size(Columns)); ++i)
                empty_->setHeaderData(i, Qt::Horizontal, QString::fromLatin1(Columns[i].second));
            table_->setModel(empty_);
        }
        filter_->clear();
        filter_->addItem(AllUnits);
        return;
    }
    connection_ = std::make_unique<StoreConnection>(path_, StoreConnection::Mode::ReadOnly);
    model_ = new JournalTable(nullptr, connection_->db());
    model_->setTable(Journal::tableName());
    model_->setEditStrategy(QSqlTableModel::OnManualSubmit);
    model_->setSort(model_->fieldIndex(QStringLiteral("id")), Qt::DescendingOrder);
    for (const auto &[name, heading] : Columns)
        model_->setHeaderData(model_->fieldIndex(QString::fromLatin1(name)), Qt::Horizontal,
                              QString::fromLatin1(heading));
    table_->setModel(model_);
    table_->hideColumn(model_->fieldIndex(QStringLiteral("id")));
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ChangeHistoryDialog::updateButton);

    fillUnits();
    applyFilter();
}

void ChangeHistoryDialog::fillUnits()
{
    const QSignalBlocker quiet(filter_);
    filter_->clear();
    filter_->addItem(AllUnits);
    QSqlQuery models(connection_->db());
    models.exec(
        QStringLiteral("SELECT DISTINCT model FROM changes WHERE model <> '' ORDER BY model"));
    while (models.next())
        filter_->addItem(models.value(0).toString());
}

void ChangeHistoryDialog::applyFilter()
{
    if (!model_)
        return;
    const QString unit = filter_->currentIndex() > 0 ? filter_->currentText() : QString();
    if (unit.isEmpty()) {
        model_->setFilter(QString());
    } else {
        QSqlField field(QStringLiteral("model"), QMetaType(QMetaType::QString));
        field.setValue(unit);
        model_->setFilter(
            QStringLiteral("model = %1").arg(connection_->db().driver()->formatValue(field)));
    }
    model_->select();
    while (model_->canFetchMore())
        model_->fetchMore();
    table_->resizeColumnsToContents();
    updateButton();
}

void ChangeHistoryDialog::refresh()
{
    const QString chosen = filter_->currentText();
    if (model_)
        fillUnits();
    else
        openJournal();
    const QSignalBlocker quiet(filter_);
    filter_->setCurrentIndex(std::max(0, filter_->findText(chosen)));
    applyFilter();
}

std::optional<JournalRow> ChangeHistoryDialog::selectedRow() const
{
    if (!model_)
        return std::nullopt;
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    const QSqlRecord record = model_->record(rows.first().row());
    JournalRow row;
    row.unitModel = record.value(QStringLiteral("model")).toString();
    row.axis = record.value(QStringLiteral("axis")).toString();
    row.field = record.value(QStringLiteral("field")).toString();
    row.profile = record.value(QStringLiteral("profile")).toString();
    row.value = record.value(QStringLiteral("value")).toString();
    if (!record.isNull(QStringLiteral("before")))
        row.before = record.value(QStringLiteral("before")).toString();
    return row;
}

ReportPage ChangeHistoryDialog::reportPage() const
{
    ReportPage page;
    page.title = windowTitle();
    page.facts = {{QStringLiteral("Unit"), filter_->currentText()},
                  {QStringLiteral("Local time"), reportTime(QDateTime::currentDateTime())}};
    const QAbstractItemModel *model = table_->model();
    std::vector<int> shown;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (table_->isColumnHidden(column))
            continue;
        shown.push_back(column);
        page.columns << model->headerData(column, Qt::Horizontal).toString();
    }
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column : shown)
            cells << model->index(row, column).data().toString();
        page.rows.push_back(cells);
    }
    return page;
}

void ChangeHistoryDialog::updateButton()
{
    const std::optional<JournalRow> row = selectedRow();
    writeBack_->setEnabled(row && row->before && canWriteBack_(*row));
}

} // namespace ktv
