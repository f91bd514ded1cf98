#include "session/UnitSession.h"

namespace ktv {

void UnitSession::SetOption(Model model, Option option)
{
    if (!state.UnitConnected) {
        ShowNotConnected();
        return;
    }
    // A read-back run selecting the buttons that match the unit sends nothing.
    if (Times > 0)
        return;
    link.write(frame::optionLine(state.AxisAddress, option));
    link.WaitSeconds(0.5);
    if (isEnding())
        return;
    VerifyParameters(model);
}

void UnitSession::ChooseProfile(Model model, int profile)
{
    if (!state.UnitConnected) {
        ShowNotConnected();
        return;
    }
    state.SelectedProfile = QString::number(profile);
    ProfileUpdate = true;
    VerifyParameters(model);
}

} // namespace ktv
