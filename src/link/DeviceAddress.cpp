#include "link/DeviceAddress.h"

#include <QRegularExpression>

namespace ktv {

QString DeviceAddress::text() const
{
    if (kind == Kind::Local)
        return path;
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return (kind == Kind::Rfc2217 ? QStringLiteral("rfc2217://") : QStringLiteral("socket://")) +
           shownHost + QLatin1Char(':') + QString::number(port);
}

bool looksLikeNetworkAddress(const QString &device)
{
    return device.contains(QLatin1String("://"));
}

Outcome<DeviceAddress> parseDeviceAddress(const QString &device)
{
    using Result = Outcome<DeviceAddress>;
    DeviceAddress address;
    if (device.trimmed().isEmpty())
        return Result::failure(QStringLiteral("no device given"));
    if (!looksLikeNetworkAddress(device)) {
        address.path = device;
        return address;
    }
    const qsizetype schemeEnd = device.indexOf(QLatin1String("://"));
    const QString scheme = device.left(schemeEnd).toLower();
    if (scheme == QLatin1String("rfc2217"))
        address.kind = DeviceAddress::Kind::Rfc2217;
    else if (scheme == QLatin1String("socket"))
        address.kind = DeviceAddress::Kind::Socket;
    else
        return Result::failure(
            QStringLiteral("%1: a network line is rfc2217://HOST:PORT or socket://HOST:PORT")
                .arg(device));
    const QString rest = device.mid(schemeEnd + 3);
    if (rest.contains(QLatin1Char('@')))
        return Result::failure(
            QStringLiteral("%1: a line's address takes no user or password").arg(device));
    // HOST:PORT, HOST a name, an IPv4 address or an IPv6 one in brackets; at
    // most a closing slash after the port.
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:\[([0-9A-Fa-f:.]+)\]|([A-Za-z0-9._-]+))(?::([0-9]*))?/?$)"));
    const QRegularExpressionMatch match = form.match(rest);
    if (!match.hasMatch())
        return Result::failure(
            QStringLiteral("%1: the address is HOST:PORT and nothing after it").arg(device));
    address.host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const QString portText = match.captured(3);
    bool numeric = false;
    const int port = portText.toInt(&numeric);
    if (portText.isEmpty())
        return Result::failure(QStringLiteral("%1: the port number is missing").arg(device));
    if (!numeric || port < 1 || port > 65535)
        return Result::failure(QStringLiteral("%1: the port number is 1 to 65535").arg(device));
    address.port = static_cast<quint16>(port);
    return address;
}

bool rateIsTheServers(const QString &device)
{
    const Outcome<DeviceAddress> address = parseDeviceAddress(device);
    return address && address->kind == DeviceAddress::Kind::Socket;
}

} // namespace ktv
