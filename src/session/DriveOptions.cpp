#include "protocol/Vocabulary.h"
#include "session/UnitSession.h"

namespace ktv {

namespace {

// "Direction CW", "Microstep Resolution 8": the operator's words for the line.
QString optionCommand(Option option)
{
    return QString::fromLatin1(termOf(optionField(option)).caption) + QLatin1Char(' ') +
           optionCaption(option);
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
