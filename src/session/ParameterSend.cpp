#include "session/UnitSession.h"

namespace ktv {

namespace {

// The checks both paths run, in order; true when the value may be sent.
bool accepted(UnitSession &session, Model model, ParamKey key, EntryPath path, const QString &text)
{
    const SessionView &view = session.view();
    const EntryVerdict verdict = CheckParameterEntry(
        model, key, path,
        [&](ParamKey other) { return other == key ? text : view.boxText(model, other); },
        session.state.UnitConnected);
    if (verdict.kind == EntryVerdict::Kind::Refused)
        session.message(MessageIcon::Exclamation, verdict.message);
    else if (verdict.kind == EntryVerdict::Kind::NotConnected && path == EntryPath::Send)
        session.ShowNotConnected();
    return verdict.accepted();
}

} // namespace

void UnitSession::SendButtonClicked(Model model, ParamKey key)
{
    const LeftBox value{view_->boxText(model, key), state.SelectedProfile, state.AxisAddress};
    if (accepted(*this, model, key, EntryPath::Send, value.text))
        sendParameterLine(model, key, EntryPath::Send, value);
}

void UnitSession::EntryBoxLeft(Model model, ParamKey key, const LeftBox &left)
{
    if (isEnding())
        return;
    if (accepted(*this, model, key, EntryPath::Leave, left.text))
        sendParameterLine(model, key, EntryPath::Leave, left);
}

void UnitSession::SendParameter(Model model, ParamKey key, EntryPath path)
{
    sendParameterLine(model, key, path,
                      {view_->boxText(model, key), state.SelectedProfile, state.AxisAddress});
}

void UnitSession::sendParameterLine(Model model, ParamKey key, EntryPath path, const LeftBox &value)
{
    writeCommand(fieldName(fieldOf(key)),
                 frame::parameterLine(value.address, key, value.profile, value.text));
    link.WaitSeconds(0.5);
    if (path == EntryPath::Send && !isEnding())
        VerifyParameters(model);
}

} // namespace ktv
