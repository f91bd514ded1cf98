#pragma once
// A sheet against what a unit holds, value by value: the rows of the
// comparison table that Compare and Load show. Pure: two sheets in, rows out.

#include "protocol/ParameterSheet.h"

#include <QString>
#include <vector>

namespace ktv {

struct SheetComparisonRow
{
    int profile = 0; // 0: a drive setting
    QString key;     // the sheet key: "max-speed", "resolution"
    QString caption; // "Profile 2, Max Speed", "Microstep Resolution"
    QString sheetValue;
    QString unitValue;
    bool differs = false;
    // False for a sheet value the unit cannot be asked for (a resolution
    // against a VELD50): shown as the sheet has it, never counted as held.
    bool verifiable = true;
};

// "Profile 2, Max Speed": a parameter of one profile as the operator knows it.
QString sheetValueCaption(int profile, ParamKey key);

// One row per value the sheet has that the unit was read for (parameters),
// and one per drive setting of the sheet.
std::vector<SheetComparisonRow> compareSheets(const ParameterSheet &sheet,
                                              const ParameterSheet &unit);

} // namespace ktv
