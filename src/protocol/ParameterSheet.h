#pragma once
// A parameter sheet: everything a unit keeps that the operator can set (the
// parameters of every profile and the drive options), as a small JSON file a
// person can read and a later unit can take. Pure: texts in, texts out.
//
//   {
//     "format": "ktraveld-sheet", "version": 1,
//     "model": "KTRA20", "revision": "1.07", "axis": "0",
//     "saved": "2026-12-08T03:10:00Z",
//     "profiles": [ {"profile": 1, "parameters": {"accel": "10", ...}}, ... ],
//     "options": {"analog-speed": "off", "ramp-down": "no", ...}
//   }
//
// Values are kept as the texts the unit answered; options as lower-case words.

#include "protocol/Models.h"
#include "protocol/UnitCatalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace ktv {

inline constexpr int SheetVersion = 1;
QString sheetFormatName(); // "ktraveld-sheet"

// The five drive settings a sheet records; each is one query and a pair (or
// four) of option buttons.
enum class SettingGroup { Direction, ReducedCurrent, Resolution, RampDown, AnalogSpeed };

QString parameterSheetKey(ParamKey key);     // "accel", "base-speed", "max-speed", ...
QString settingSheetKey(SettingGroup group); // "direction", "reduced-current", ...
QString parameterCaption(ParamKey key);      // "Accel/Decel", "Base Speed", "Max Speed", ...
// A value named with its profile, "Profile 2, Max Speed"; the caption alone
// for a value of no profile (0).
QString profileValueName(int profile, const QString &caption);
QString settingCaption(SettingGroup group);   // "Direction", "Microstep Resolution", ...
QStringList settingWords(SettingGroup group); // the values a sheet may hold: "cw", "ccw"
Field settingField(SettingGroup group);       // the read-back field that asks for it
std::optional<SettingGroup> settingGroupOf(Option option);
// The option button that sets a group to a word; none for a word the group has not.
std::optional<Option> settingOption(SettingGroup group, const QString &word);
// The word of an option button ("RCYes" -> "on").
QString settingWordOf(Option option);
// The word a read-back reply stands for, decoded as the panel decodes it.
QString settingWordFromReply(Model panel, SettingGroup group, const QString &reply);

// The settings a unit model takes, in the order its panel offers their buttons,
// without those the unit lacks (UnitCatalogue).
std::vector<SettingGroup> settingGroups(const QString &unitModel);

struct SheetProfile
{
    int number = 1;
    std::map<ParamKey, QString> values;
    bool operator==(const SheetProfile &) const = default;
};

struct ParameterSheet
{
    QString unitModel; // "KTRA20", "VELD50", ...
    QString revision;
    QString axis;
    QDateTime saved;                    // UTC
    std::vector<SheetProfile> profiles; // 1 .. profileCount of the panel, in order
    std::map<SettingGroup, QString> settings;
    bool operator==(const ParameterSheet &) const = default;

    const QString *value(int profile, ParamKey key) const;
};

QByteArray writeParameterSheet(const ParameterSheet &sheet);

// One line of a load, in the order a load writes them (and a dry run shows
// them): each profile's parameters in the panel's order, then the drive
// settings the unit model keeps.
struct LoadStep
{
    QString caption;                   // "Profile 1, Max Speed", "Direction"
    QByteArray line;                   // as written, CR included
    int profile = 0;                   // 0 for a setting
    std::optional<ParamKey> key;       // a parameter,
    std::optional<SettingGroup> group; // or a setting
    QString value;                     // the sheet's value, or its word
};
std::vector<LoadStep> loadPlan(const ParameterSheet &sheet, const QString &unitModel,
                               const QString &axis);

struct SheetReadResult
{
    std::optional<ParameterSheet> sheet;
    QString error; // names the file and what is wrong; empty when sheet is set
};
// fileName is only for the error texts.
SheetReadResult readParameterSheet(const QByteArray &bytes, const QString &fileName);

// One value the unit would not be given, with the warning its panel shows.
struct SheetRefusal
{
    int profile = 0; // 0: not about a profile
    QString key;     // sheet key, empty when about the whole sheet
    QString text;
    bool operator==(const SheetRefusal &) const = default;
};
QString refusalLine(const SheetRefusal &refusal); // "Profile 2, Max Speed: Waring: ..."

// A sheet holds its values as a unit holds them: digits only, no more of
// them than the panel's entry box takes (a box without a length of its own:
// than its largest value has). Anything else ("abc", "0_5", "1e3", "-5",
// " 12", an empty text) did not come from a unit and goes to none: these are
// its refusals, one per value, under the sheet's own panel.
std::vector<SheetRefusal> sheetValueRefusals(const ParameterSheet &sheet);

// Checks a sheet against the unit it would be loaded into: the same panel
// (VELD30, VELD40 and VELD50 take each other's sheets), every value as a
// unit holds it (above), then through the text and Send-path range checks,
// and every profile whose values are all plain through the order checks.
// Empty: the sheet may be loaded.
std::vector<SheetRefusal> validateParameterSheet(const ParameterSheet &sheet,
                                                 const QString &unitModel);

} // namespace ktv
