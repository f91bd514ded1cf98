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

void UnitSession::StopUnitsAt(const QStringList &addresses, int baud)
{
    // Find Units lists units at a rate of their own, often not the panel's
    // fixed stop rate: the line goes out at theirs, or they never hear it.
    const bool wasOpen = link.PortOpen();
    if (wasOpen && link.baudRateInForce() != baud && !state.UnitConnected)
        link.closePort();
    const bool opened = !link.PortOpen();
    if (opened) {
        link.setSettings(QStringLiteral("%1,N,8,1").arg(baud));
        link.setCommPort(state.ComPortNumber);
        if (!link.openPort()) {
            openFailureMessage(SerialLink::openFailedText(state.ComPortNumber));
            return;
        }
    }
    for (const QString &address : addresses)
        writeCommand(QStringLiteral("Hard Limit"),
                     frame::motionLine(address, frame::Motion::StopAll, state.SelectedProfile));
    if (opened)
        link.closePort();
}

} // namespace ktv
