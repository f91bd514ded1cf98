#pragma once
// What each model understands, as data: the fields its read-back asks for in
// order, the drive options it takes, how many profiles it keeps and the fixed
// port settings of its two stops. The window lays its panels out from its own
// table (ui/PanelCatalogue); everything that decides what goes on the wire is
// here. A seventh model is a seventh entry.

#include "protocol/Models.h"

#include <QString>
#include <array>
#include <vector>

namespace ktv {

// The rates a unit may run at, in the order the scan tries them.
inline constexpr std::array<int, 4> ScanRates = {9600, 28800, 38400, 115200};

struct UnitFacts
{
    Model model;
    std::vector<Field> plan;     // read-back queries in order
    std::vector<Option> options; // the drive options the model takes
    int profileCount = 2;        // profiles 1 to profileCount
    QString softStopSettings;    // the port settings Soft Limit opens a closed port with
    QString hardStopSettings;    // likewise Hard Limit
};

const UnitFacts &unitFacts(Model model);

// The parameter keys of a model, in the order of the limits table.
std::vector<ParamKey> unitKeys(Model model);

} // namespace ktv
