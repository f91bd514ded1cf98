#include "ui/CommSettingsDialog.h"

#include "session/UnitSession.h"
#include "ui/MainWindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace ktv {

namespace {
std::function<void(CommSettingsDialog &)> &hook()
{
    static std::function<void(CommSettingsDialog &)> h;
    return h;
}
} // namespace

void setCommSettingsHook(std::function<void(CommSettingsDialog &)> h)
{
    hook() = std::move(h);
}

CommSettingsDialog::CommSettingsDialog(MainWindow &window) : QDialog(&window), window_(window)
{
    setObjectName(QStringLiteral("frmCommSettings"));
    setWindowTitle(QStringLiteral("Communication Settings"));
    setModal(true);
    auto *grid = new QGridLayout(this);
    auto *label = new QLabel(QStringLiteral("Com Port:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lstComPorts"));
    list_->setAccessibleName(label->text());
    label->setBuddy(list_);
    for (int port = 1; port <= 14; ++port) {
        auto *item = new QListWidgetItem(QStringLiteral("COM %1").arg(port), list_);
        item->setData(Qt::UserRole, port);
    }
    device_ = new QLabel(this);
    device_->setObjectName(QStringLiteral("lblDevice"));
    device_->setWordWrap(true);
    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("btnOK"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("btnCancel"));
    grid->addWidget(label, 0, 0);
    grid->addWidget(list_, 1, 0, 3, 1);
    grid->addWidget(device_, 1, 1);
    grid->addWidget(ok_, 2, 1);
    grid->addWidget(cancel_, 3, 1, Qt::AlignTop);
    connect(ok_, &QPushButton::clicked, this, &CommSettingsDialog::pressOK);
    connect(cancel_, &QPushButton::clicked, this, &CommSettingsDialog::pressCancel);
    connect(list_, &QListWidget::itemSelectionChanged, this, &CommSettingsDialog::showDevice);

    // Load step: select the configured port; a number outside 1 to 14 selects nothing.
    const int configured = window_.session().state.ComPortNumber;
    if (configured >= 1 && configured <= 14)
        list_->setCurrentRow(configured - 1);
    else
        list_->setCurrentRow(-1);
    OldComPort = list_->currentRow();
    showDevice();
    adjustSize();
    centreOnScreen(this);
}

void CommSettingsDialog::showDevice()
{
    const QList<QListWidgetItem *> chosen = list_->selectedItems();
    if (chosen.isEmpty()) {
        device_->setText(QStringLiteral("No port selected"));
        return;
    }
    device_->setText(
        QStringLiteral("Opens %1")
            .arg(window_.session().link.deviceForPort(chosen.first()->data(Qt::UserRole).toInt())));
}

void CommSettingsDialog::pressOK()
{
    // What the operator selected, not the current row: the list makes its
    // first row current when it takes the focus, with nothing selected.
    const QList<QListWidgetItem *> chosen = list_->selectedItems();
    const int row = chosen.isEmpty() ? -1 : list_->row(chosen.first());
    std::optional<int> selected;
    if (row >= 0)
        selected = chosen.first()->data(Qt::UserRole).toInt();
    window_.session().chooseComPort(selected, row < 0 || row == OldComPort);
    accept();
}

void CommSettingsDialog::pressCancel()
{
    reject();
}

void CommSettingsDialog::reject()
{
    // Cancel, Esc and the close box alike: nothing changes, the connection stays.
    window_.session().keepCommSettings();
    QDialog::reject();
}

void CommunicationSettings(MainWindow &window)
{
    window.session().beginCommSettings();
    {
        CommSettingsDialog dialog(window);
        if (hook())
            QTimer::singleShot(0, &dialog, [&dialog] { hook()(dialog); });
        dialog.exec();
    }
    window.session().endCommSettings();
}

} // namespace ktv
