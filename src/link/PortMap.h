#pragma once
// COM numbers and the devices they open: the store's Port Map, and for a
// number it does not list the platform's own name ("/dev/ttyS<n-1>",
// "COMn"). A value: naming a device opens nothing.

#include <QMap>
#include <QString>

namespace ktv {

class PortMap
{
  public:
    PortMap() = default;
    explicit PortMap(QMap<int, QString> entries) : entries_(std::move(entries)) {}

    // The device COM n opens; none below COM 1.
    QString deviceFor(int comPort) const
    {
        if (comPort < 1)
            return {};
        const auto mapped = entries_.constFind(comPort);
        if (mapped != entries_.constEnd())
            return *mapped;
#ifdef Q_OS_WIN
        return QStringLiteral("COM%1").arg(comPort);
#else
        return QStringLiteral("/dev/ttyS%1").arg(comPort - 1);
#endif
    }
    const QMap<int, QString> &entries() const
    {
        return entries_;
    }

  private:
    QMap<int, QString> entries_;
};

} // namespace ktv
