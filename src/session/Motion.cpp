#include "session/UnitSession.h"

#include "protocol/UnitCatalogue.h"

namespace ktv {

void UnitSession::BeginMotion(Model model)
{
    (void)model; // every panel sends the same line
    if (!state.UnitConnected) {
        ShowNotConnected();
        return;
    }
    writeCommand(QStringLiteral("Begin Motion"),
                 frame::motionLine(state.AxisAddress, frame::Motion::Go, state.SelectedProfile));
}

void UnitSession::StopMotion(Model model, frame::Motion stop)
{
    const bool wasOpen = link.PortOpen();
    if (!wasOpen) {
        const UnitFacts &facts = unitFacts(model);
        link.setSettings(stop == frame::Motion::StopSoft ? facts.softStopSettings
                                                         : facts.hardStopSettings);
        link.setCommPort(state.ComPortNumber);
        if (!link.openPort()) {
            // Nothing can be sent; say so rather than let the operator believe
            // the motor was stopped.
            openFailureMessage(SerialLink::openFailedText(state.ComPortNumber));
            return;
        }
    }
    writeCommand(stop == frame::Motion::StopSoft ? QStringLiteral("Soft Limit")
                                                 : QStringLiteral("Hard Limit"),
                 frame::motionLine(state.AxisAddress, stop, state.SelectedProfile));
    if (!wasOpen)
        link.closePort();
}

} // namespace ktv
