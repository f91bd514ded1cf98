#pragma once
// The vocabulary every layer shares: the six panel models, the parameter keys,
// the drive options and the read-back fields. The numbers of Model are the tab
// numbers of the main window.
//
// The protocol library, pure (Qt Core, no port, no widget): Vocabulary is the
// one table of captions, letters and keys; UnitCatalogue what each model
// understands; CommandFrame every line the program writes; ParameterLimits
// the limits, the number reading and the one entry check; ReplyDecoding and
// IdentityReply what comes back; LineMeaning what a line says; SettingsText
// the port settings; ParameterSheet and SheetComparison the sheet files and
// their comparison with a unit; CheckReport the value object of one check.

#include <QString>
#include <array>

namespace ktv {

enum class Model { KTRA10 = 0, KTRA20, KTRA30, VELD10, VELD20, VELD30 };
inline constexpr int ModelCount = 6;
inline constexpr std::array<Model, ModelCount> AllModels = {
    Model::KTRA10, Model::KTRA20, Model::KTRA30, Model::VELD10, Model::VELD20, Model::VELD30};

// "KTRA10" ... "VELD30": the suffix of every control name of the model's panel.
QString modelId(Model model);
inline int tabIndex(Model model)
{
    return static_cast<int>(model);
}
inline bool isKtra(Model model)
{
    return tabIndex(model) <= tabIndex(Model::KTRA30);
}

// Numeric motion parameters, each with an entry box and a Send button.
enum class ParamKey { Accel, Base, Max, Index, Complete, Lower, Upper };
inline constexpr int ParamKeyCount = 7;

QString paramKeyName(ParamKey key); // "Accel", "Base", ... as in control names
char paramLetter(ParamKey key);     // 'A', 'B', 'M', 'N', 'T', 'L', 'U'

// Drive option buttons that send a set command.
enum class Option {
    CW,
    CCW,
    RCYes,
    RCNo,
    Res1,
    Res2,
    Res4,
    Res8,
    RampDownYes,
    RampDownNo,
    AnalogOn,
    AnalogOff
};

QString optionStem(Option option);    // "CW", "RCYes", "Res8", ... as in control names
QString optionCaption(Option option); // "CW", "ON", "8", "YES", ...

// What a unit is asked for by the read-back run.
enum class Field {
    Accel,
    Base,
    Max,
    Index,
    Complete,
    Lower,
    Upper,
    Direction,
    AnalogSpeed,
    ReducedCurrent,
    Resolution,
    RampDown,
    ErrorCode
};

// The field as the operator knows it: "Accel/Decel", "Direction", "Error Code".
QString fieldName(Field field);

// The numeric fields are the parameters; they map one to one.
bool isNumericField(Field field);
ParamKey paramKeyOf(Field field); // only for numeric fields
Field fieldOf(ParamKey key);

} // namespace ktv
