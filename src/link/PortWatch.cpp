#include "link/PortWatch.h"

#include "link/DeviceAddress.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace ktv {

PortWatch::PortWatch(std::function<QString()> device, QObject *parent)
    : QObject(parent), device_(std::move(device))
{
    connect(&timer_, &QTimer::timeout, this, &PortWatch::check);
}

void PortWatch::start(int intervalMs)
{
    watched_ = device_();
    present_ = isPresent(watched_);
    timer_.start(intervalMs);
}

void PortWatch::check()
{
    const QString device = device_();
    const bool present = isPresent(device);
    if (device != watched_) {
        watched_ = device;
        present_ = present;
        return;
    }
    if (present == present_)
        return;
    present_ = present;
    if (present)
        emit returned(device);
    else
        emit vanished(device);
}

bool PortWatch::isPresent(const QString &device)
{
    if (device.isEmpty())
        return false;
    // A device server on the network is not watched: a connection that ends
    // is the link's to report when it is open, and costs nothing when it is not.
    if (looksLikeNetworkAddress(device))
        return true;
    // A device file (a link to one counts when its target is there).
    if (device.contains(QLatin1Char('/')))
        return QFileInfo::exists(device);
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.portName() == device || info.systemLocation() == device)
            return true;
    }
    return false;
}

} // namespace ktv
