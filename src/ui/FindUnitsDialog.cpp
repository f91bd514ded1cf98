#include "ui/FindUnitsDialog.h"

#include "session/UnitFinder.h"
#include "session/UnitSession.h"
#include "ui/ProgressDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ktv {

FindUnitsDialog::FindUnitsDialog(UnitSession &session, QWidget *parent,
                                 std::function<void()> hardLimit)
    : QDialog(parent), session_(session)
{
    setObjectName(QStringLiteral("frmFindUnits"));
    setWindowTitle(QStringLiteral("Find Units on the Line"));
    auto *layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblFindStatus"));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("lstUnits"));
    list_->setHeaderLabels(
        {QStringLiteral("Address"), QStringLiteral("Model"), QStringLiteral("Revision")});
    list_->setRootIsDecorated(false);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
    if (hardLimit)
        addHardLimitButton(buttons_, std::move(hardLimit));
    layout->addWidget(status_);
    layout->addWidget(list_);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        buttons_->button(QDialogButtonBox::Ok)->setEnabled(!list_->selectedItems().isEmpty());
    });
    // Closing the dialog ends a sweep that is still asking.
    connect(this, &QDialog::finished, this, [this] { stopped_ = true; });
}

void FindUnitsDialog::sweep()
{
    stopped_ = false;
    list_->clear();
    const int baud = session_.link.baudRateInForce();
    const std::vector<FoundUnit> found = findUnits(session_, [this, baud](int address) {
        status_->setText(QStringLiteral("Asking address %1 of %2 at %3 baud ...")
                             .arg(address)
                             .arg(HighestAddress)
                             .arg(baud));
        // A unit found so far shows at once.
        return !stopped_;
    });
    for (const FoundUnit &unit : found) {
        auto *item = new QTreeWidgetItem(
            unit.collision
                ? QStringList{QString::number(unit.address), MoreThanOneUnitText, QString()}
                : QStringList{QString::number(unit.address), unit.modelId, unit.revision});
        // Every line to that address would reach two units: it cannot be chosen.
        if (unit.collision)
            item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
        list_->addTopLevelItem(item);
    }
    status_->setText(
        found.empty()
            ? QStringLiteral("No unit answered.")
            : QStringLiteral("%1 unit(s) answered at %2 baud.").arg(found.size()).arg(baud));
}

QString FindUnitsDialog::chosenAddress() const
{
    const QList<QTreeWidgetItem *> items = list_->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text(0);
}

} // namespace ktv
