#include "session/UnitSession.h"

namespace ktv {

namespace {

QString optionCommand(Option option)
{
    switch (option) {
    case Option::CW:
    case Option::CCW:
        return QStringLiteral("Direction ") + optionCaption(option);
    case Option::RCYes:
    case Option::RCNo:
        return QStringLiteral("Reduced Current ") + optionCaption(option);
    case Option::Res1:
    case Option::Res2:
    case Option::Res4:
    case Option::Res8:
        return QStringLiteral("Microstep Resolution ") + optionCaption(option);
    case Option::RampDownYes:
    case Option::RampDownNo:
        return QStringLiteral("Ramp Down ") + optionCaption(option);
    case Option::AnalogOn:
    case Option::AnalogOff:
        break;
    }
    return QStringLiteral("Analog Speed ") + optionCaption(option);
}

} // namespace

bool UnitSession::SetOption(Model model, Option option)
{
    if (!state.UnitConnected) {
        ShowNotConnected();
        return false;
    }
    // Nothing goes out while a read-back runs.
    if (Times > 0)
        return false;
    writeCommand(optionCommand(option), frame::optionLine(state.AxisAddress, option));
    link.WaitSeconds(0.5);
    if (isEnding())
        return true;
    VerifyParameters(model);
    return true;
}

void UnitSession::ChooseProfile(Model model, int profile)
{
    if (!state.UnitConnected) {
        // The panels go on showing the profile the next motion line runs.
        view_->showSelectedProfile(state.SelectedProfile);
        ShowNotConnected();
        return;
    }
    state.SelectedProfile = QString::number(profile);
    view_->showSelectedProfile(state.SelectedProfile);
    ProfileUpdate = true;
    VerifyParameters(model);
}

} // namespace ktv
