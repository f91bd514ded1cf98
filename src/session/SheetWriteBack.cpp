// One earlier value written back: checked against the unit's other values,
// written as a load writes it and read back.
#include "session/SheetOperations.h"

#include "protocol/CommandFrame.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"
#include "session/UnitSession.h"

namespace ktv {

namespace {

std::optional<ParamKey> keyOfField(Model panel, const QString &field)
{
    for (ParamKey key : parameterKeys(panel)) {
        if (parameterSheetKey(key) == field)
            return key;
    }
    return std::nullopt;
}

std::optional<SettingGroup> groupOfField(const QString &unitModel, const QString &field)
{
    for (SettingGroup group : settingGroups(unitModel)) {
        if (settingSheetKey(group) == field)
            return group;
    }
    return std::nullopt;
}

} // namespace

QString SheetOperations::valueName(const QString &field, int profile) const
{
    const std::optional<Model> panel = panelOfUnitModel(unit_.unitModel);
    if (!panel)
        return {};
    if (const std::optional<ParamKey> key = keyOfField(*panel, field);
        key && profile >= 1 && profile <= unitFacts(*panel).profileCount)
        return sheetValueCaption(profile, *key);
    if (const std::optional<SettingGroup> group = groupOfField(unit_.unitModel, field);
        group && profile == 0)
        return settingCaption(*group);
    return {};
}

SheetOperations::LoadResult SheetOperations::checkValue(const QString &field, int profile,
                                                        const QString &value)
{
    LoadResult result;
    const QString name = valueName(field, profile);
    if (name.isEmpty()) {
        result.problem =
            QStringLiteral("A %1 has no value %2 to write back.").arg(unit_.unitModel, field);
        return result;
    }
    const ReadResult unit = readUnit();
    if (unit.outcome != Outcome::Done) {
        result.outcome = unit.outcome;
        result.problem = unit.problem;
        return result;
    }
    ParameterSheet sheet = *unit.sheet;
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    if (const std::optional<ParamKey> key = keyOfField(panel, field)) {
        sheet.profiles[profile - 1].values[*key] = value;
    } else {
        const SettingGroup group = *groupOfField(unit_.unitModel, field);
        if (!settingOption(group, value)) {
            result.outcome = Outcome::Refused;
            result.refusals.push_back(
                {0, field,
                 QStringLiteral("%1 cannot be set to %2.").arg(settingCaption(group), value)});
            return result;
        }
    }
    // What the unit holds elsewhere is not this write's business.
    for (const SheetRefusal &refusal : validateParameterSheet(sheet, unit_.unitModel)) {
        if (refusal.profile == profile)
            result.refusals.push_back(refusal);
    }
    result.outcome = result.refusals.empty() ? Outcome::Done : Outcome::Refused;
    return result;
}

SheetOperations::LoadResult SheetOperations::writeValue(const QString &field, int profile,
                                                        const QString &value)
{
    LoadResult result;
    SharedState &state = session_.state;
    const QString name = valueName(field, profile);
    if (!state.UnitConnected || name.isEmpty()) {
        result.problem =
            state.UnitConnected
                ? QStringLiteral("A %1 has no value %2 to write back.").arg(unit_.unitModel, field)
                : notConnectedText();
        return result;
    }
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    SerialLink &link = session_.link;
    const std::optional<ParamKey> key = keyOfField(panel, field);
    // A drive setting when it is no parameter (valueName knows it is one of the two).
    const SettingGroup group =
        key ? SettingGroup::Direction : *groupOfField(unit_.unitModel, field);
    const QString number = QString::number(profile);
    QByteArray line;
    if (key) {
        line = frame::parameterLine(state.AxisAddress, *key, number, value);
    } else if (const std::optional<Option> option = settingOption(group, value)) {
        line = frame::optionLine(state.AxisAddress, *option);
    } else {
        result.outcome = Outcome::Refused;
        return result;
    }
    if (const QString problem = unitProblem(); !problem.isEmpty()) {
        result.problem = problem;
        return result;
    }
    if (!link.write(line)) {
        result.problem = QStringLiteral("The line to the unit took nothing; nothing was written.");
        return result;
    }
    link.WaitSeconds(0.5);
    result.written = 1;
    // The read-back of the one value, as a load reads back what it wrote.
    const std::optional<QString> reply =
        key ? askUnit(fieldOf(*key), number) : askUnit(settingField(group), state.SelectedProfile);
    if (!reply) {
        result.problem = lastProblem(name);
        return result;
    }
    const QString shown = key ? *reply : settingWordFromReply(panel, group, *reply);
    result.readBack.push_back({profile, field, name, value, shown, shown != value});
    result.outcome = Outcome::Done;
    return result;
}

} // namespace ktv
