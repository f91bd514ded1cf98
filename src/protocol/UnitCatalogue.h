#pragma once
// What each model understands, as data: the fields its read-back asks for in
// order, the drive options it takes, how many profiles it keeps and the fixed
// port settings of its two stops; and each unit as it names itself, with the
// panel that serves it and what of that panel it lacks. The window lays its
// panels out from its own table (ui/PanelCatalogue); everything that decides
// what goes on the wire is here. A seventh model is a seventh entry.

#include "protocol/Models.h"

#include <QString>
#include <array>
#include <optional>
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

// A unit as it names itself in its answer to "$" ("KTRA10" .. "VELD50").
// A VELD40 and a VELD50 are served by the VELD30 panel; a VELD50 has no
// resolution setting.
struct UnitModel
{
    QString id;
    Model panel;
    std::vector<Field> lacks; // what its panel asks for that this unit does not keep
};

// Every unit model, in the order identification tries their ids.
const std::vector<UnitModel> &unitModels();
// The entry of a unit model by its exact id; none for an id no unit gives.
const UnitModel *unitModelNamed(const QString &unitModel);
// The panel that serves a unit model; none for an unknown id.
std::optional<Model> panelOfUnitModel(const QString &unitModel);
// Whether a unit of this model keeps a field: its panel asks for it and the
// unit does not lack it. False for an unknown id.
bool unitModelHolds(const QString &unitModel, Field field);

} // namespace ktv
