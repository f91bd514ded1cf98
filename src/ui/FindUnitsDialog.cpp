#include "ui/FindUnitsDialog.h"

#include "protocol/UnitCatalogue.h"
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
        addHardLimitButton(buttons_, [this, hardLimit = std::move(hardLimit)] {
            // Once units answered, the stop goes to them at their rate: the
            // chosen one, or every one listed.
            if (found_.isEmpty()) {
                hardLimit();
                return;
            }
            const QString chosen = chosenAddress();
            session_.StopUnitsAt(chosen.isEmpty() ? found_ : QStringList{chosen}, baud_);
        });
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

void FindUnitsDialog::search()
{
    stopped_ = false;
    list_->clear();
    found_.clear();
    const SerialLink &link = session_.link;
    const bool wasOpen = link.PortOpen();
    // A connection is asked at its own rate; otherwise every rate in turn.
    const QList<int> rates = wasOpen ? QList<int>{link.baudRateInForce()}
                                     : QList<int>(ScanRates.begin(), ScanRates.end());
    FindHooks hooks;
    hooks.atRate = [this](int baud) {
        status_->setText(QStringLiteral("Asking the line at %1 baud ...").arg(baud));
        return !stopped_;
    };
    hooks.beforeAddress = [this](int baud, int address) {
        status_->setText(QStringLiteral("Asking address %1 of %2 at %3 baud ...")
                             .arg(address)
                             .arg(HighestAddress)
                             .arg(baud));
        return !stopped_;
    };
    const FindResult found = findOnLine(session_, rates, false, hooks);
    if (!wasOpen)
        session_.closeLine();
    baud_ = found.baud;
    if (found.openFailed) {
        status_->setText(QStringLiteral("No unit answered."));
        session_.openFailureMessage(session_.state.ConnectErrorText);
        return;
    }
    for (const FoundUnit &unit : found.units) {
        found_ << QString::number(unit.address); // two at one address both stop
        auto *item = new QTreeWidgetItem(
            unit.collision
                ? QStringList{QString::number(unit.address), MoreThanOneUnitText, QString()}
                : QStringList{QString::number(unit.address), unit.modelId, unit.revision});
        // Every line to that address would reach two units: it cannot be chosen.
        if (unit.collision)
            item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
        list_->addTopLevelItem(item);
    }
    status_->setText(found.units.empty() ? QStringLiteral("No unit answered.")
                                         : QStringLiteral("%1 unit(s) answered at %2 baud.")
                                               .arg(found.units.size())
                                               .arg(found.baud));
}

QString FindUnitsDialog::chosenAddress() const
{
    const QList<QTreeWidgetItem *> items = list_->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text(0);
}

} // namespace ktv
