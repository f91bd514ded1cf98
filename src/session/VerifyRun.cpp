#include "session/UnitSession.h"

#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"

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
    // Cleared before the first wait: what the operator does meanwhile (a
    // refused option) may leave its own word.
    view_->showRunStatus(QString());
    link.ReadReply(); // whatever the unit said before is not an answer to us

    bool completed = true;
    QStringList unanswered;
    for (Field field : facts.plan) {
        if (field == Field::Resolution && model == Model::VELD30 && state.IdentifiedVELD50)
            continue; // a VELD50 has no resolution setting
        // A line lost under the run ends it, as the program's ending does.
        if (!link.PortOpen()) {
            completed = false;
            break;
        }
        // A reply that came too late for the previous query is not this
        // one's answer; it is dropped, and that query counts as unanswered.
        if (link.ReplyWaiting())
            link.Input();
        link.write(frame::queryLine(state.AxisAddress, field, state.SelectedProfile));
        link.WaitSeconds(0.05);
        QString reply = link.ReadReply();
        const bool answered = !link.replyMissing();
        if (field != Field::RampDown)
            reply = StripCarriageReturns(reply);
        // A newer run has ended meanwhile: this one stops without showing
        // what it read.
        if (Times == 0 || isEnding() || !link.PortOpen()) {
            completed = false;
            break;
        }
        if (!answered) {
            unanswered << fieldName(field);
            // A slow unit's reply may still be on its way: give it up to
            // 0.15 s more to arrive and drop it, so it is never read as the
            // next field's value.
            link.discardLateReply(0.15);
        }
        view_->showField(model, field, answered ? std::optional<QString>(reply) : std::nullopt,
                         ProfileUpdate);
    }
    if (!unanswered.isEmpty())
        view_->showRunStatus(noAnswerText(state.AxisAddress, unanswered));
    if (completed && model == Model::VELD30)
        view_->showSelectedAxis(model, state.AxisAddress);

    ProfileUpdate = false;
    view_->setRunButtonsEnabled(model, true);
    showNormalCursor();
    Times = 0;
}

} // namespace ktv
