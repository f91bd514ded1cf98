#include "protocol/MotionCommands.h"

#include "app/MainWindow.h"
#include "app/Toolkit.h"
#include "link/Connection.h"
#include "link/SerialLink.h"

namespace ktv {

void BeginMotion(MainWindow &window, Model model)
{
    (void)model; // every panel sends the same line
    SharedState &state = window.state;
    if (!state.UnitConnected) {
        ShowNotConnected(state);
        return;
    }
    window.link.write(
        frame::motionLine(state.AxisAddress, frame::Motion::Go, state.SelectedProfile));
}

void StopMotion(MainWindow &window, Model model, frame::Motion stop)
{
    SharedState &state = window.state;
    SerialLink &link = window.link;
    const bool wasOpen = link.PortOpen();
    if (!wasOpen) {
        const ModelSpec &entry = modelSpec(model);
        link.setSettings(stop == frame::Motion::StopSoft ? entry.softStopSettings
                                                         : entry.hardStopSettings);
        link.setCommPort(state.ComPortNumber);
        if (!link.openPort()) {
            // Nothing can be sent; say so rather than let the operator believe
            // the motor was stopped.
            ShowMessage(MessageIcon::Critical, SerialLink::openFailedText(state.ComPortNumber));
            return;
        }
    }
    link.write(frame::motionLine(state.AxisAddress, stop, state.SelectedProfile));
    if (!wasOpen)
        link.closePort();
}

} // namespace ktv
