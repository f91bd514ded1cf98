#include "params/ParameterEntry.h"

#include "app/MainWindow.h"
#include "app/Toolkit.h"
#include "link/Connection.h"
#include "link/SerialLink.h"
#include "protocol/CommandFrame.h"

#include <QLineEdit>

namespace ktv {

namespace {

QString boxText(const Panel &panel, ParamKey key)
{
    auto it = panel.boxes.find(key);
    return it == panel.boxes.end() ? QString() : it->second->text();
}

// The checks both paths run, in order; true when the value may be sent.
bool accepted(MainWindow &window, Model model, ParamKey key, EntryPath path)
{
    const Panel &panel = window.panel(model);
    auto warn = [](const QString &text) {
        ShowMessage(MessageIcon::Exclamation, text);
        return false;
    };
    if (auto message = CheckParameterText(model, key, boxText(panel, key)))
        return warn(*message);
    if (auto message = CheckParameterRange(model, key, path, boxText(panel, key)))
        return warn(*message);
    if (!window.state.UnitConnected) {
        if (path == EntryPath::Send)
            ShowNotConnected(window.state);
        return false;
    }
    if (auto message =
            CheckParameterOrder(model, key, [&](ParamKey other) { return boxText(panel, other); }))
        return warn(*message);
    return true;
}

} // namespace

void SendButtonClicked(MainWindow &window, Model model, ParamKey key)
{
    if (accepted(window, model, key, EntryPath::Send))
        SendParameter(window, model, key, EntryPath::Send);
}

void EntryBoxLeft(MainWindow &window, Model model, ParamKey key)
{
    if (accepted(window, model, key, EntryPath::Leave))
        SendParameter(window, model, key, EntryPath::Leave);
}

void SendParameter(MainWindow &window, Model model, ParamKey key, EntryPath path)
{
    const SharedState &state = window.state;
    window.link.write(frame::parameterLine(state.AxisAddress, key, state.SelectedProfile,
                                           boxText(window.panel(model), key)));
    window.link.WaitSeconds(0.5);
    if (path == EntryPath::Send && !window.link.isEnding())
        window.pressVerify(model);
}

} // namespace ktv
