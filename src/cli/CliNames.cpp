#include "cli/CliNames.h"

#include "protocol/ReplyDecoding.h"
#include "protocol/Vocabulary.h"

#include <array>

namespace ktv::cli {

namespace {

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
    return optionWords(field);
}

std::optional<Option> optionFor(Field field, const QString &value)
{
    // The command line takes a word in any case: "CW", "On".
    for (int i = 0; i < OptionCount; ++i) {
        const OptionTerm &term = optionVocabulary()[i];
        if (term.field == field &&
            value.compare(QLatin1String(term.word), Qt::CaseInsensitive) == 0)
            return term.option;
    }
    return std::nullopt;
}

QString shownFor(Option option)
{
    return optionCaption(option);
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
