#include "session/UnitSession.h"

namespace ktv {

namespace {

// The checks both paths run, in order; true when the value may be sent.
bool accepted(UnitSession &session, Model model, ParamKey key, EntryPath path,
              const PanelEntries &entries)
{
    const EntryVerdict verdict = CheckParameterEntry(
        model, key, path, [&](ParamKey of) { return entries.text(of); },
        session.state.UnitConnected);
    if (verdict.kind == EntryVerdict::Kind::Refused)
        session.message(MessageIcon::Exclamation, verdict.message);
    else if (verdict.kind == EntryVerdict::Kind::NotConnected && path == EntryPath::Send)
        session.ShowNotConnected();
    return verdict.accepted();
}

} // namespace

void UnitSession::SendButtonClicked(Model model, ParamKey key, const PanelEntries &entries)
{
    if (accepted(*this, model, key, EntryPath::Send, entries))
        SendParameter(model, key, EntryPath::Send, entries);
}

void UnitSession::EntryBoxLeft(Model model, ParamKey key, const PanelEntries &entries)
{
    if (isEnding())
        return;
    if (accepted(*this, model, key, EntryPath::Leave, entries))
        SendParameter(model, key, EntryPath::Leave, entries);
}

void UnitSession::SendParameter(Model model, ParamKey key, EntryPath path,
                                const PanelEntries &entries)
{
    writeCommand(fieldName(fieldOf(key)),
                 frame::parameterLine(entries.address, key, entries.profile, entries.text(key)));
    link.WaitSeconds(0.5);
    if (path == EntryPath::Send && !isEnding())
        VerifyParameters(model);
}

} // namespace ktv
