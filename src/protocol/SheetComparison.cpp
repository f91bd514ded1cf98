#include "protocol/SheetComparison.h"

namespace ktv {

QString sheetValueCaption(int profile, ParamKey key)
{
    return profileValueName(profile, parameterCaption(key));
}

std::vector<SheetComparisonRow> compareSheets(const ParameterSheet &sheet,
                                              const ParameterSheet &unit)
{
    std::vector<SheetComparisonRow> rows;
    for (const SheetProfile &profile : unit.profiles) {
        for (const auto &[key, unitValue] : profile.values) {
            const QString *value = sheet.value(profile.number, key);
            if (!value)
                continue;
            rows.push_back({profile.number, parameterSheetKey(key),
                            sheetValueCaption(profile.number, key), *value, unitValue,
                            *value != unitValue});
        }
    }
    for (const auto &[group, word] : sheet.settings) {
        const auto it = unit.settings.find(group);
        if (it == unit.settings.end()) {
            rows.push_back(
                {0, settingSheetKey(group), settingCaption(group), word, QString(), false, false});
            continue;
        }
        rows.push_back({0, settingSheetKey(group), settingCaption(group), word, it->second,
                        word != it->second});
    }
    return rows;
}

} // namespace ktv
