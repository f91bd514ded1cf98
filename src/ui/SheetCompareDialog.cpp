#include "ui/SheetCompareDialog.h"

#include "ui/Toolkit.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace ktv {

namespace {

constexpr int SortRole = Qt::UserRole + 1;
constexpr int VerdictRole = Qt::UserRole + 2;

// Numbers sort as numbers, words as words.
QStandardItem *cell(const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    bool number = false;
    const double value = text.toDouble(&number);
    item->setData(number ? QVariant(value) : QVariant(text.toLower()), SortRole);
    return item;
}

QString summaryText(int differences, int unverifiable)
{
    QString text;
    if (differences == 0 && unverifiable == 0)
        return QStringLiteral("All values match");
    if (differences == 1)
        text = QStringLiteral("1 value differs");
    else
        text = QStringLiteral("%1 values differ").arg(differences);
    // A value the unit cannot be asked for is never counted as matching.
    if (unverifiable > 0)
        text += QStringLiteral("; %1 not verifiable").arg(unverifiable);
    return text;
}

} // namespace

QColor SheetCompareDialog::differenceColour()
{
    return QColor(255, 214, 214);
}

SheetCompareDialog::SheetCompareDialog(const std::vector<SheetComparisonRow> &rows,
                                       const QString &title,
                                       std::vector<std::pair<QString, QString>> facts,
                                       ReportFiles files, QWidget *parent)
    : QDialog(parent), facts_(std::move(facts))
{
    setObjectName(QStringLiteral("SheetCompare"));
    setWindowTitle(title);
    model_ = new QStandardItemModel(0, 3, this);
    model_->setHorizontalHeaderLabels(
        {QStringLiteral("Field"), QStringLiteral("Sheet"), QStringLiteral("Unit")});
    model_->setSortRole(SortRole);
    int differences = 0;
    int unverifiable = 0;
    for (const SheetComparisonRow &row : rows) {
        unverifiable += row.verifiable ? 0 : 1;
        QList<QStandardItem *> items{
            cell(row.caption), cell(row.sheetValue),
            cell(row.verifiable ? row.unitValue : QStringLiteral("(not verifiable)"))};
        items.front()->setData(!row.verifiable ? QStringLiteral("not verifiable")
                               : row.differs   ? QStringLiteral("differs")
                                               : QStringLiteral("match"),
                               VerdictRole);
        if (row.differs || !row.verifiable) {
            differences += row.differs ? 1 : 0;
            for (QStandardItem *item : items)
                item->setBackground(differenceColour());
        }
        model_->appendRow(items);
    }

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblCompare"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Shown in the order the unit keeps its values until a heading is clicked.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    table_->resizeColumnsToContents();

    summary_ = new QLabel(summaryText(differences, unverifiable), this);
    summary_->setObjectName(QStringLiteral("lblDifferences"));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *copyButton =
        buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copyButton->setObjectName(QStringLiteral("cmdCopy"));
    copyButton->setAutoDefault(false);
    addReportButtons(
        buttons, std::move(files), QStringLiteral("compare"), [this] { return reportPage(); },
        [this] { return std::vector<ReportPage>{reportPage()}; });
    QPushButton *closeButton = buttons->addButton(QDialogButtonBox::Close);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    connect(copyButton, &QPushButton::clicked, this, &SheetCompareDialog::copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *shortcut = new QShortcut(QKeySequence::Copy, this);
    connect(shortcut, &QShortcut::activated, this, &SheetCompareDialog::copy);

    auto *column = new QVBoxLayout(this);
    column->addWidget(summary_);
    column->addWidget(table_);
    column->addWidget(buttons);
    const int width = table_->horizontalHeader()->length() + 60;
    // Every row in sight where the screen allows it.
    const int height = table_->horizontalHeader()->sizeHint().height() +
                       table_->verticalHeader()->length() + summary_->sizeHint().height() +
                       buttons->sizeHint().height() + 48;
    resize(std::max(width, 420), std::min(height, 640));
    centreOnScreen(this);
}

QString SheetCompareDialog::copyText() const
{
    QList<int> chosen;
    for (const QModelIndex &index : table_->selectionModel()->selectedRows())
        chosen << index.row();
    std::sort(chosen.begin(), chosen.end());
    if (chosen.isEmpty()) {
        for (int row = 0; row < model_->rowCount(); ++row)
            chosen << row;
    }
    QString text = QStringLiteral("Field\tSheet\tUnit\n");
    for (int row : chosen) {
        QStringList cells;
        for (int column = 0; column < model_->columnCount(); ++column)
            cells << model_->item(row, column)->text();
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

ReportPage SheetCompareDialog::reportPage() const
{
    ReportPage page;
    page.title = windowTitle();
    page.facts = facts_;
    page.facts.emplace_back(QStringLiteral("Result"), summary_->text());
    page.columns = QStringList{QStringLiteral("Field"), QStringLiteral("Sheet"),
                               QStringLiteral("Unit"), QStringLiteral("Verdict")};
    for (int row = 0; row < model_->rowCount(); ++row)
        page.rows.push_back({model_->item(row, 0)->text(), model_->item(row, 1)->text(),
                             model_->item(row, 2)->text(),
                             model_->item(row, 0)->data(VerdictRole).toString()});
    return page;
}

void SheetCompareDialog::copy()
{
    QGuiApplication::clipboard()->setText(copyText());
}

} // namespace ktv
