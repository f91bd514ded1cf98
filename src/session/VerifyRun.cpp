#include "session/UnitSession.h"

#include "protocol/CommandFrame.h"
#include "protocol/ReplyDecoding.h"
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
    const bool tool = exchange.policy() == ReplyPolicy::Tool;
    // Whatever the unit said before is not an answer to us.
    if (tool)
        exchange.drain();
    else
        link.ReadReply();

    bool completed = true;
    QStringList bare;       // fields left without a value, in the plan's order
    bool tooSlow = false;   // some of them because their reply could not be placed
    bool replyOwed = false; // a reply to an earlier query may still be on its way
    for (Field field : facts.plan) {
        if (!unitKeeps(model, field))
            continue; // a VELD50 has no resolution setting
        // A line lost under the run ends it, as the program's ending does.
        if (!link.PortOpen()) {
            completed = false;
            break;
        }
        const QByteArray question =
            frame::queryLine(state.AxisAddress, field, state.SelectedProfile);
        std::optional<QString> value;
        QString unreadable; // a whole reply the query cannot be answered with
        QString raw;        // the reply as read, when it is placed here
        bool cameWhole = true;
        bool answered = true;
        if (tool) {
            // The exchange's rules: drained, asked again once, proven.
            const Outcome<QString> reply =
                exchange.askField(state.AxisAddress, field, state.SelectedProfile);
            if (reply) {
                value = *reply;
                raw = exchange.lastRaw();
            } else if (!exchange.lastRaw().isEmpty() && !exchange.collided()) {
                unreadable = exchange.lastRaw();
            }
            answered = reply.ok();
            // A noisy line, or a unit that stopped answering: nothing more
            // of this run can be trusted, and the exchange has said why.
            if (exchange.noisy() || exchange.stoppedAnswering()) {
                view_->showRunStatus(exchange.noisy()
                                         ? exchange.noiseText()
                                         : noAnswerText(state.AxisAddress, {fieldName(field)}));
                completed = false;
                break;
            }
        } else {
            // The window's run keeps its own timing: a reply that came too
            // late for the previous query is not this one's answer; it is
            // dropped, and that query counts as unanswered.
            if (link.ReplyWaiting())
                link.Input();
            link.write(question);
            link.WaitSeconds(0.05);
            raw = link.ReadReply();
            answered = !link.replyMissing();
            // The rest of a reply cut short may still come: it is no value
            // (it is placed nowhere), and whoever asks next waits it out.
            cameWhole = !answered || raw.endsWith(QLatin1Char('\r'));
            if (answered && !cameWhole)
                link.noteReplyOwed();
            QString reply = raw;
            if (field != Field::RampDown)
                reply = StripCarriageReturns(reply);
            if (answered)
                value = reply;
        }
        // A newer run has ended meanwhile: this one stops without showing
        // what it read.
        if (Times == 0 || isEnding() || !link.PortOpen()) {
            completed = false;
            break;
        }
        if (!tool && answered && replyOwed) {
            // The unit answers in order, so what came may be the late reply
            // to an earlier query: it is placed nowhere, and from here on no
            // reply of this run can be told apart from an earlier one's.
            value.reset();
            unreadable.clear();
            tooSlow = true;
            link.noteReplyOwed(); // this query's own reply may be still to come
        } else if (!tool && (!answered || !cameWhole)) {
            // A slow unit's reply may still be on its way. The window's run
            // gives it up to 0.15 s more to arrive and drops it; a reply
            // that does not come even then may arrive under a later query.
            if (!link.discardLateReply(0.15)) {
                replyOwed = true;
                link.noteReplyOwed(); // for whoever asks the unit next
            }
            value.reset();
        }
        // The journal takes what the panel shows, never a reply placed nowhere.
        if (!tool)
            exchange.settle(question, value ? raw : QString());
        // An unreadable reply is said on its own, with what came.
        if (!value && unreadable.isEmpty())
            bare << fieldName(field);
        if (!unreadable.isEmpty())
            view_->showUnreadableReply(model, field, unreadable);
        view_->showField(model, field, value, ProfileUpdate);
    }
    if (tooSlow)
        view_->showRunStatus(tooSlowText(state.AxisAddress, bare));
    else if (!bare.isEmpty())
        view_->showRunStatus(noAnswerText(state.AxisAddress, bare));
    if (completed && model == Model::VELD30)
        view_->showSelectedAxis(model, state.AxisAddress);

    ProfileUpdate = false;
    view_->setRunButtonsEnabled(model, true);
    showNormalCursor();
    Times = 0;
}

} // namespace ktv
