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

} // namespace

const Term *vocabulary()
{
    return Terms;
}

const Term &termOf(Field field)
{
    return Terms[static_cast<int>(field)];
}

Field optionField(Option option)
{
    switch (option) {
    case Option::CW:
    case Option::CCW:
        return Field::Direction;
    case Option::RCYes:
    case Option::RCNo:
        return Field::ReducedCurrent;
    case Option::Res1:
    case Option::Res2:
    case Option::Res4:
    case Option::Res8:
        return Field::Resolution;
    case Option::RampDownYes:
    case Option::RampDownNo:
        return Field::RampDown;
    case Option::AnalogOn:
    case Option::AnalogOff:
        break;
    }
    return Field::AnalogSpeed;
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
