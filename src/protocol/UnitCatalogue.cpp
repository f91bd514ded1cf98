#include "protocol/UnitCatalogue.h"

#include "protocol/ParameterLimits.h"

#include <algorithm>
#include <array>

namespace ktv {

namespace {

using F = Field;
using O = Option;

std::array<UnitFacts, ModelCount> buildFacts()
{
    const QString nine = QStringLiteral("9600,N,8,1");
    const QString thirtyEight = QStringLiteral("38400,N,8,1");
    return {{
        {Model::KTRA10,
         {F::Accel, F::Base, F::Max, F::Direction, F::ReducedCurrent, F::Resolution, F::RampDown,
          F::ErrorCode},
         {O::CW, O::CCW, O::RCNo, O::RCYes, O::Res8, O::Res4, O::Res2, O::Res1, O::RampDownNo,
          O::RampDownYes},
         4,
         nine,
         nine},
        {Model::KTRA20,
         {F::Accel, F::Base, F::Max, F::Lower, F::Upper, F::AnalogSpeed, F::ReducedCurrent,
          F::Resolution, F::RampDown, F::ErrorCode},
         {O::AnalogOn, O::AnalogOff, O::RCNo, O::RCYes, O::Res8, O::Res4, O::Res2, O::Res1,
          O::RampDownNo, O::RampDownYes},
         2,
         nine,
         nine},
        {Model::KTRA30,
         {F::Accel, F::Base, F::Max, F::Direction, F::ReducedCurrent, F::RampDown, F::ErrorCode},
         {O::RampDownYes, O::RampDownNo, O::RCYes, O::RCNo, O::CCW, O::CW},
         2,
         thirtyEight,
         nine},
        {Model::VELD10,
         {F::Accel, F::Base, F::Max, F::Index, F::Direction, F::ReducedCurrent, F::Resolution,
          F::ErrorCode},
         {O::RCNo, O::RCYes, O::Res8, O::Res4, O::Res2, O::Res1, O::CW, O::CCW},
         4,
         nine,
         nine},
        {Model::VELD20,
         {F::Accel, F::Base, F::Max, F::Index, F::Complete, F::Direction, F::ReducedCurrent,
          F::ErrorCode},
         {O::RCNo, O::RCYes, O::CW, O::CCW},
         2,
         nine,
         nine},
        // A VELD30 has resolution buttons, so its run asks for the resolution
        // as the VELD10 run does (not for a VELD50, which has no such setting).
        {Model::VELD30,
         {F::Accel, F::Base, F::Max, F::Index, F::Complete, F::Direction, F::Resolution,
          F::ErrorCode},
         {O::CCW, O::CW, O::Res1, O::Res2, O::Res4, O::Res8},
         2,
         nine,
         thirtyEight},
    }};
}

} // namespace

const UnitFacts &unitFacts(Model model)
{
    static const std::array<UnitFacts, ModelCount> facts = buildFacts();
    return facts[static_cast<std::size_t>(tabIndex(model))];
}

std::vector<ParamKey> unitKeys(Model model)
{
    return parameterKeys(model);
}

const std::vector<UnitModel> &unitModels()
{
    static const std::vector<UnitModel> models = {
        {QStringLiteral("KTRA10"), Model::KTRA10, {}},
        {QStringLiteral("KTRA20"), Model::KTRA20, {}},
        {QStringLiteral("KTRA30"), Model::KTRA30, {}},
        {QStringLiteral("VELD10"), Model::VELD10, {}},
        {QStringLiteral("VELD20"), Model::VELD20, {}},
        {QStringLiteral("VELD30"), Model::VELD30, {}},
        {QStringLiteral("VELD40"), Model::VELD30, {}},
        {QStringLiteral("VELD50"), Model::VELD30, {F::Resolution}},
    };
    return models;
}

const UnitModel *unitModelNamed(const QString &unitModel)
{
    for (const UnitModel &entry : unitModels())
        if (entry.id == unitModel)
            return &entry;
    return nullptr;
}

std::optional<Model> panelOfUnitModel(const QString &unitModel)
{
    if (const UnitModel *entry = unitModelNamed(unitModel))
        return entry->panel;
    return std::nullopt;
}

bool unitModelHolds(const QString &unitModel, Field field)
{
    const UnitModel *entry = unitModelNamed(unitModel);
    if (!entry)
        return false;
    const std::vector<Field> &plan = unitFacts(entry->panel).plan;
    return std::find(plan.begin(), plan.end(), field) != plan.end() &&
           std::find(entry->lacks.begin(), entry->lacks.end(), field) == entry->lacks.end();
}

} // namespace ktv
