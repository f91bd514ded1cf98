#include "protocol/DriveOptions.h"

#include "app/MainWindow.h"
#include "link/Connection.h"
#include "link/SerialLink.h"
#include "protocol/CommandFrame.h"

namespace ktv {

void SetOption(MainWindow &window, Model model, Option option)
{
    SharedState &state = window.state;
    if (!state.UnitConnected) {
        ShowNotConnected(state);
        return;
    }
    // A read-back run selecting the buttons that match the unit sends nothing.
    if (window.Times > 0)
        return;
    window.link.write(frame::optionLine(state.AxisAddress, option));
    window.link.WaitSeconds(0.5);
    if (window.link.isEnding())
        return;
    window.pressVerify(model);
}

void ChooseProfile(MainWindow &window, Model model, int profile)
{
    SharedState &state = window.state;
    if (!state.UnitConnected) {
        ShowNotConnected(state);
        return;
    }
    state.SelectedProfile = QString::number(profile);
    window.ProfileUpdate = true;
    window.pressVerify(model);
}

} // namespace ktv
