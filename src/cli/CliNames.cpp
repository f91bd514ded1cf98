#include "cli/CliNames.h"

#include "protocol/ReplyDecoding.h"
#include "protocol/Vocabulary.h"

#include <array>

namespace ktv::cli {

namespace {

struct OptionValue
{
    Field field;
    const char *value;
    Option option;
};

constexpr std::array<OptionValue, 12> OptionValues = {{
    {Field::Direction, "cw", Option::CW},
    {Field::Direction, "ccw", Option::CCW},
    {Field::ReducedCurrent, "on", Option::RCYes},
    {Field::ReducedCurrent, "off", Option::RCNo},
    {Field::Resolution, "1", Option::Res1},
    {Field::Resolution, "2", Option::Res2},
    {Field::Resolution, "4", Option::Res4},
    {Field::Resolution, "8", Option::Res8},
    {Field::RampDown, "yes", Option::RampDownYes},
    {Field::RampDown, "no", Option::RampDownNo},
    {Field::AnalogSpeed, "on", Option::AnalogOn},
    {Field::AnalogSpeed, "off", Option::AnalogOff},
}};

constexpr std::array<Field, 5> OptionFields = {Field::Direction, Field::ReducedCurrent,
                                               Field::Resolution, Field::RampDown,
                                               Field::AnalogSpeed};

} // namespace

QString fieldCaption(Field field)
{
    return QString::fromLatin1(termOf(field).caption);
}

QString fieldKey(Field field)
{
    return QString::fromLatin1(termOf(field).toolName);
}

std::optional<ParamKey> paramKeyNamed(const QString &name)
{
    for (int k = 0; k < ParamKeyCount; ++k)
        if (name == QLatin1String(termOf(static_cast<ParamKey>(k)).toolName))
            return static_cast<ParamKey>(k);
    return std::nullopt;
}

QStringList parameterNames()
{
    QStringList names;
    for (int k = 0; k < ParamKeyCount; ++k)
        names << QString::fromLatin1(termOf(static_cast<ParamKey>(k)).toolName);
    return names;
}

std::optional<Field> optionFieldNamed(const QString &name)
{
    for (Field field : OptionFields)
        if (name == fieldKey(field))
            return field;
    return std::nullopt;
}

QStringList optionNames()
{
    QStringList names;
    for (Field field : OptionFields)
        names << fieldKey(field);
    return names;
}

QStringList optionValues(Field field)
{
    QStringList values;
    for (const OptionValue &v : OptionValues)
        if (v.field == field)
            values << QString::fromLatin1(v.value);
    return values;
}

std::optional<Option> optionFor(Field field, const QString &value)
{
    for (const OptionValue &v : OptionValues)
        if (v.field == field && value.compare(QLatin1String(v.value), Qt::CaseInsensitive) == 0)
            return v.option;
    return std::nullopt;
}

QString shownFor(Option option)
{
    for (const OptionValue &v : OptionValues)
        if (v.option == option)
            return QString::fromLatin1(v.value).toUpper();
    return {};
}

QString shownValue(Model model, Field field, const QString &reply)
{
    switch (field) {
    case Field::Direction:
        return decode::direction(reply);
    case Field::AnalogSpeed:
    case Field::ReducedCurrent:
        return decode::onOff(reply);
    case Field::Resolution:
        return QString::number(decode::resolutionSetting(reply));
    case Field::RampDown:
        return decode::rampDown(model, reply);
    default:
        return reply;
    }
}

} // namespace ktv::cli
