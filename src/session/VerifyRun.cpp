#include "session/UnitSession.h"

#include "protocol/UnitCatalogue.h"

namespace ktv {

void UnitSession::VerifyParameters(Model model)
{
    if (!state.UnitConnected) {
        ShowNotConnected();
        return;
    }
    const UnitFacts &facts = unitFacts(model);

    ++Times;
    view_->setRunButtonsEnabled(model, false);
    showWaitCursor();
    view_->resetReadback(model, state.SelectedProfile);
    link.ReadReply(); // whatever the unit said before is not an answer to us

    bool completed = true;
    for (Field field : facts.plan) {
        if (field == Field::Resolution && model == Model::VELD30 && state.IdentifiedVELD50)
            continue; // a VELD50 has no resolution setting
        link.write(frame::queryLine(state.AxisAddress, field, state.SelectedProfile));
        link.WaitSeconds(0.05);
        QString reply = link.ReadReply();
        if (field != Field::RampDown)
            reply = StripCarriageReturns(reply);
        // A newer run has ended meanwhile: this one stops without showing
        // what it read.
        if (Times == 0 || isEnding()) {
            completed = false;
            break;
        }
        view_->showField(model, field, std::optional<QString>(reply), ProfileUpdate);
    }
    if (completed && model == Model::VELD30)
        view_->showSelectedAxis(model, state.AxisAddress);

    ProfileUpdate = false;
    view_->setRunButtonsEnabled(model, true);
    showNormalCursor();
    Times = 0;
}

} // namespace ktv
