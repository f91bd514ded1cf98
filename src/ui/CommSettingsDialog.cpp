#include "ui/CommSettingsDialog.h"

#include "session/UnitSession.h"
#include "ui/MainWindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace ktv {

namespace {
std::function<void(CommSettingsDialog &)> &hook()
{
    static std::function<void(CommSettingsDialog &)> h;
    return h;
}
std::function<QList<PresentPort>()> &portsSource()
{
    static std::function<QList<PresentPort>()> source;
    return source;
}
} // namespace

void setPortsPresentSource(std::function<QList<PresentPort>()> source)
{
    portsSource() = std::move(source);
}

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

    // Beside the COM list, the ports the system knows of, so that an
    // operator with a USB adapter can give a COM number its device here.
    auto *portsLabel = new QLabel(QStringLiteral("Serial ports present:"), this);
    portsLabel->setObjectName(QStringLiteral("lblPortsPresent"));
    ports_ = new QTreeWidget(this);
    ports_->setObjectName(QStringLiteral("lstPortsPresent"));
    ports_->setAccessibleName(portsLabel->text());
    portsLabel->setBuddy(ports_);
    ports_->setRootIsDecorated(false);
    ports_->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Description"),
                             QStringLiteral("Manufacturer"), QStringLiteral("Serial Number"),
                             QStringLiteral("/dev/serial/by-id")});
    ports_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ports_->setMinimumWidth(440);
    useForCom_ = new QPushButton(this);
    useForCom_->setObjectName(QStringLiteral("btnUseForCom"));
    useForCom_->setAutoDefault(false);
    storePath_ = new QLabel(
        QStringLiteral("Settings are kept in %1").arg(window_.session().storePath), this);
    storePath_->setObjectName(QStringLiteral("lblStorePath"));
    storePath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(portsLabel, 0, 2);
    grid->addWidget(ports_, 1, 2, 2, 1);
    grid->addWidget(useForCom_, 3, 2, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(storePath_, 4, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    connect(useForCom_, &QPushButton::clicked, this, &CommSettingsDialog::pressUseForCom);
    connect(ports_, &QTreeWidget::itemSelectionChanged, this, &CommSettingsDialog::showDevice);
    fillPortsPresent();

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

std::optional<int> CommSettingsDialog::selectedComPort() const
{
    const QList<QListWidgetItem *> chosen = list_->selectedItems();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.first()->data(Qt::UserRole).toInt();
}

void CommSettingsDialog::showDevice()
{
    const std::optional<int> comPort = selectedComPort();
    useForCom_->setText(comPort ? QStringLiteral("&Use for COM %1").arg(*comPort)
                                : QStringLiteral("&Use for COM"));
    useForCom_->setEnabled(comPort && !ports_->selectedItems().isEmpty());
    if (!comPort) {
        device_->setText(QStringLiteral("No port selected"));
        return;
    }
    device_->setText(
        QStringLiteral("Opens %1").arg(window_.session().link.deviceForPort(*comPort)));
}

void CommSettingsDialog::fillPortsPresent()
{
    const QList<PresentPort> present = portsSource() ? portsSource()() : serialPortsPresent();
    for (const PresentPort &port : present) {
        auto *item = new QTreeWidgetItem(ports_, {port.device, port.description, port.manufacturer,
                                                  port.serialNumber, port.byIdLink});
        // The by-id link names the adapter itself, so the COM number keeps
        // it when adapters are plugged in another order.
        item->setData(0, Qt::UserRole, port.byIdLink.isEmpty() ? port.device : port.byIdLink);
    }
}

void CommSettingsDialog::pressUseForCom()
{
    const std::optional<int> comPort = selectedComPort();
    const QList<QTreeWidgetItem *> port = ports_->selectedItems();
    if (!comPort || port.isEmpty())
        return;
    const QMap<int, QString> before = window_.session().link.portMap();
    if (window_.session().assignPortDevice(*comPort,
                                           port.first()->data(0, Qt::UserRole).toString()) &&
        !opensBefore_.contains(*comPort))
        opensBefore_.insert(*comPort, before.contains(*comPort)
                                          ? std::optional<QString>(before.value(*comPort))
                                          : std::nullopt);
    showDevice();
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

void CommSettingsDialog::undoPortDevices()
{
    for (auto it = opensBefore_.cbegin(); it != opensBefore_.cend(); ++it)
        window_.session().restorePortDevice(it.key(), it.value());
    opensBefore_.clear();
}

void CommSettingsDialog::pressCancel()
{
    reject();
}

void CommSettingsDialog::reject()
{
    // Cancel, Esc and the close box alike: nothing changes, the connection stays.
    undoPortDevices();
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
