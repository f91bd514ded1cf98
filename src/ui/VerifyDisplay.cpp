#include "ui/VerifyDisplay.h"

#include "protocol/ReplyDecoding.h"
#include "ui/Panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <map>

namespace ktv {

namespace {

void setLabel(Panel &panel, ReadbackRole role, const QString &value)
{
    if (QLabel *label = panel.label(role))
        label->setText(readbackPrefix(role, panel.entry()) + value);
}

// The option button first, then the label: its handler runs at once and
// stays silent because the run has raised Times.
void select(Panel &panel, Option option)
{
    auto it = panel.options.find(option);
    if (it != panel.options.end())
        it->second->setChecked(true);
}

} // namespace

void resetReadback(Panel &panel, const QString &profile)
{
    for (const ResetStep &step : panel.entry().resetOrder) {
        if (step.info) {
            panel.info.at(step.index)->setText(readbackPrefix(panel.entry().infoField(step.index)));
        } else {
            setLabel(panel, step.role, step.role == ReadbackRole::Profile ? profile : QString());
        }
    }
}

void showField(Panel &panel, Field field, const std::optional<QString> &answer, bool copyIntoBox)
{
    const QString reply = answer.value_or(QString());
    if (!answer && !isNumericField(field)) {
        static const std::map<Field, ReadbackRole> roles = {
            {Field::Direction, ReadbackRole::Direction},
            {Field::AnalogSpeed, ReadbackRole::AnalogSpeed},
            {Field::ReducedCurrent, ReadbackRole::Current},
            {Field::Resolution, ReadbackRole::Microstep},
            {Field::RampDown, ReadbackRole::Ramp},
            {Field::ErrorCode, ReadbackRole::Error}};
        setLabel(panel, roles.at(field), QString());
        return;
    }
    if (isNumericField(field)) {
        const int index = panel.entry().infoIndex(field);
        if (index >= 0)
            panel.info.at(index)->setText(readbackPrefix(field) + reply);
        if (copyIntoBox) {
            auto box = panel.boxes.find(paramKeyOf(field));
            if (box != panel.boxes.end())
                box->second->setText(reply);
        }
        return;
    }
    switch (field) {
    case Field::Direction: {
        const QString value = decode::direction(reply);
        select(panel, value == optionCaption(Option::CW) ? Option::CW : Option::CCW);
        setLabel(panel, ReadbackRole::Direction, value);
        break;
    }
    case Field::AnalogSpeed: {
        const QString value = decode::onOff(reply);
        select(panel,
               value == optionCaption(Option::AnalogOn) ? Option::AnalogOn : Option::AnalogOff);
        setLabel(panel, ReadbackRole::AnalogSpeed, value);
        break;
    }
    case Field::ReducedCurrent: {
        const QString value = decode::onOff(reply);
        select(panel, value == optionCaption(Option::RCYes) ? Option::RCYes : Option::RCNo);
        setLabel(panel, ReadbackRole::Current, value);
        break;
    }
    case Field::Resolution:
        select(panel, decode::resolutionOption(decode::resolutionSetting(reply)));
        setLabel(panel, ReadbackRole::Microstep, reply);
        break;
    case Field::RampDown: {
        // Every panel with ramp-down buttons shows the unit's setting on them.
        const QString value = decode::rampDown(panel.model, reply);
        select(panel, value == optionCaption(Option::RampDownYes) ? Option::RampDownYes
                                                                  : Option::RampDownNo);
        setLabel(panel, ReadbackRole::Ramp, value);
        break;
    }
    case Field::ErrorCode:
        setLabel(panel, ReadbackRole::Error, reply);
        break;
    default:
        break;
    }
}

void showSelectedAxis(Panel &panel, const QString &address)
{
    setLabel(panel, ReadbackRole::SelectedAxis, address);
}

} // namespace ktv
