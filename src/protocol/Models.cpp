#include "protocol/Models.h"

#include "protocol/Vocabulary.h"

namespace ktv {

QString modelId(Model model)
{
    static const char *const ids[] = {"KTRA10", "KTRA20", "KTRA30", "VELD10", "VELD20", "VELD30"};
    return QString::fromLatin1(ids[tabIndex(model)]);
}

QString paramKeyName(ParamKey key)
{
    static const char *const names[] = {"Accel",    "Base",  "Max",  "Index",
                                        "Complete", "Lower", "Upper"};
    return QString::fromLatin1(names[static_cast<int>(key)]);
}

char paramLetter(ParamKey key)
{
    return termOf(key).letter;
}

QString optionStem(Option option)
{
    static const char *const stems[] = {"CW",          "CCW",        "RCYes",    "RCNo",
                                        "Res1",        "Res2",       "Res4",     "Res8",
                                        "RampDownYes", "RampDownNo", "AnalogOn", "AnalogOff"};
    return QString::fromLatin1(stems[static_cast<int>(option)]);
}

QString optionCaption(Option option)
{
    return QString::fromLatin1(termOf(option).word).toUpper();
}

QString fieldName(Field field)
{
    return QString::fromLatin1(termOf(field).caption);
}

bool isNumericField(Field field)
{
    return static_cast<int>(field) <= static_cast<int>(Field::Upper);
}

ParamKey paramKeyOf(Field field)
{
    return static_cast<ParamKey>(static_cast<int>(field));
}

Field fieldOf(ParamKey key)
{
    return static_cast<Field>(static_cast<int>(key));
}

} // namespace ktv
