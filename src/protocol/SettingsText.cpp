#include "protocol/SettingsText.h"

#include <QStringList>
#include <cmath>

namespace ktv {

std::optional<LineSettings> parseSettingsText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    LineSettings settings;
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    settings.baudRate = baud;

    const QString parity = parts[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity))
        return std::nullopt;
    settings.parity = parity.at(0).toLatin1();

    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = dataBits;

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        settings.stopBits = StopBits::One;
    else if (stop == QLatin1String("1.5"))
        settings.stopBits = StopBits::OneAndHalf;
    else if (stop == QLatin1String("2"))
        settings.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

QString settingsTextForBaud(double baudRate)
{
    return QString::number(static_cast<qint64>(std::llround(baudRate))) + QLatin1String(",N,8,1");
}

} // namespace ktv
