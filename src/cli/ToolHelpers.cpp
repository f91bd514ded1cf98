#include "cli/ToolHelpers.h"

#include "protocol/ParameterSheet.h"

namespace ktv::cli {

std::optional<int> positiveNumber(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1)
        return std::nullopt;
    return value;
}

bool isAxisAddress(const QString &text)
{
    if (text.isEmpty() || text.size() > 2)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

QJsonValue addressJson(const QString &text)
{
    const QString address = text.trimmed();
    return isAxisAddress(address) ? QJsonValue(address.toInt()) : QJsonValue();
}

std::optional<Model> modelNamed(const QString &name)
{
    return panelOfUnitModel(name.toUpper());
}

bool writesToUnit(const QString &command)
{
    return command == QLatin1String("set") || command == QLatin1String("load") ||
           command == QLatin1String("check") || command == QLatin1String("axis");
}

} // namespace ktv::cli
