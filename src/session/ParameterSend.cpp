#include "session/UnitSession.h"

namespace ktv {

namespace {

// The checks both paths run, in order; true when the value may be sent.
bool accepted(UnitSession &session, Model model, ParamKey key, EntryPath path, const QString &text)
{
    const SessionView &view = session.view();
    auto warn = [&session](const QString &message) {
        session.message(MessageIcon::Exclamation, message);
        return false;
    };
    if (auto message = CheckParameterText(model, key, text))
        return warn(*message);
    if (auto message = CheckParameterRange(model, key, path, text))
        return warn(*message);
    if (!session.state.UnitConnected) {
        if (path == EntryPath::Send)
            session.ShowNotConnected();
        return false;
    }
    if (auto message = CheckParameterOrder(model, key, [&](ParamKey other) {
            return other == key ? text : view.boxText(model, other);
        }))
        return warn(*message);
    return true;
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
