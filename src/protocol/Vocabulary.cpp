#include "protocol/Vocabulary.h"

#include <iterator>

namespace ktv {

namespace {

using F = Field;
constexpr Term Terms[TermCount] = {
    {F::Accel, "Accel/Decel", 'A', 'A', "accel", "accel", "Accel"},
    {F::Base, "Base Speed", 'B', 'B', "base-speed", "base-speed", "Base Speed"},
    {F::Max, "Max Speed", 'M', 'M', "max-speed", "max-speed", "Max Speed"},
    {F::Index, "Index Number", 'N', 'N', "index", "index", "Index Number"},
    {F::Complete, "Complete Time", 'T', 'T', "complete-time", "complete-time", "Complete Number"},
    {F::Lower, "Lower Analog Speed", 'L', 'L', "lower-analog", "lower-analog", "Lower Speed"},
    {F::Upper, "Upper Analog Speed", 'U', 'U', "upper-analog", "upper-analog", "Upper Speed"},
    {F::Direction, "Direction", '+', 0, "direction", "direction", ""},
    {F::AnalogSpeed, "Analog Speed", 'E', 0, "analog-speed", "analog-speed", ""},
    {F::ReducedCurrent, "Reduced Current", 'C', 0, "reduced-current", "reduced-current", ""},
    {F::Resolution, "Microstep Resolution", 'R', 0, "resolution", "resolution", ""},
    {F::RampDown, "Ramp Down", 'D', 0, "ramp-down", "ramp-down", ""},
    {F::ErrorCode, "Error Code", '!', 0, "", "error-code", ""},
};

// The rows stand in the order of Field, so a field finds its row by number.
constexpr bool inFieldOrder()
{
    for (int i = 0; i < TermCount; ++i)
        if (static_cast<int>(Terms[i].field) != i)
            return false;
    return true;
}
static_assert(inFieldOrder());

using O = Option;
constexpr OptionTerm OptionTerms[OptionCount] = {
    {O::CW, F::Direction, "cw"},          {O::CCW, F::Direction, "ccw"},
    {O::RCYes, F::ReducedCurrent, "on"},  {O::RCNo, F::ReducedCurrent, "off"},
    {O::Res1, F::Resolution, "1"},        {O::Res2, F::Resolution, "2"},
    {O::Res4, F::Resolution, "4"},        {O::Res8, F::Resolution, "8"},
    {O::RampDownYes, F::RampDown, "yes"}, {O::RampDownNo, F::RampDown, "no"},
    {O::AnalogOn, F::AnalogSpeed, "on"},  {O::AnalogOff, F::AnalogSpeed, "off"},
};

constexpr bool inOptionOrder()
{
    for (int i = 0; i < OptionCount; ++i)
        if (static_cast<int>(OptionTerms[i].option) != i)
            return false;
    return true;
}
static_assert(inOptionOrder());

} // namespace

const Term *vocabulary()
{
    return Terms;
}

const Term &termOf(Field field)
{
    return Terms[static_cast<int>(field)];
}

const OptionTerm *optionVocabulary()
{
    return OptionTerms;
}

const OptionTerm &termOf(Option option)
{
    return OptionTerms[static_cast<int>(option)];
}

Field optionField(Option option)
{
    return termOf(option).field;
}

QStringList optionWords(Field field)
{
    QStringList words;
    for (const OptionTerm &term : OptionTerms)
        if (term.field == field)
            words << QString::fromLatin1(term.word);
    return words;
}

std::optional<Option> optionOfWord(Field field, const QString &word)
{
    for (const OptionTerm &term : OptionTerms)
        if (term.field == field && word == QLatin1String(term.word))
            return term.option;
    return std::nullopt;
}

std::optional<ParamKey> paramKeyOfLetter(char letter)
{
    for (const Term &term : Terms)
        if (term.letter != 0 && term.letter == letter)
            return paramKeyOf(term.field);
    return std::nullopt;
}

std::optional<Field> fieldOfQueryItem(char item)
{
    for (const Term &term : Terms)
        if (term.queryItem == item && term.field != Field::ErrorCode)
            return term.field;
    return std::nullopt;
}

std::optional<Field> fieldOfSheetKey(const QString &key)
{
    for (const Term &term : Terms)
        if (*term.sheetKey && key == QLatin1String(term.sheetKey))
            return term.field;
    return std::nullopt;
}

} // namespace ktv
