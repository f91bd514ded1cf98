#include "session/UnitSession.h"

namespace ktv {

namespace {

// The checks both paths run, in order; true when the value may be sent.
bool accepted(UnitSession &session, Model model, ParamKey key, EntryPath path)
{
    const SessionView &view = session.view();
    auto warn = [&session](const QString &text) {
        session.message(MessageIcon::Exclamation, text);
        return false;
    };
    const QString text = view.boxText(model, key);
    if (auto message = CheckParameterText(model, key, text))
        return warn(*message);
    if (auto message = CheckParameterRange(model, key, path, text))
        return warn(*message);
    if (!session.state.UnitConnected) {
        if (path == EntryPath::Send)
            session.ShowNotConnected();
        return false;
    }
    if (auto message = CheckParameterOrder(
            model, key, [&](ParamKey other) { return view.boxText(model, other); }))
        return warn(*message);
    return true;
}

} // namespace

void UnitSession::SendButtonClicked(Model model, ParamKey key)
{
    if (accepted(*this, model, key, EntryPath::Send))
        SendParameter(model, key, EntryPath::Send);
}

void UnitSession::EntryBoxLeft(Model model, ParamKey key)
{
    if (isEnding())
        return;
    if (accepted(*this, model, key, EntryPath::Leave))
        SendParameter(model, key, EntryPath::Leave);
}

void UnitSession::SendParameter(Model model, ParamKey key, EntryPath path)
{
    link.write(frame::parameterLine(state.AxisAddress, key, state.SelectedProfile,
                                    view_->boxText(model, key)));
    link.WaitSeconds(0.5);
    if (path == EntryPath::Send && !isEnding())
        VerifyParameters(model);
}

} // namespace ktv
