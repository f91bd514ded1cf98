#include "session/UnitSession.h"

#include "protocol/ReplyDecoding.h"

namespace ktv {

void UnitSession::selectAxis(const QString &address)
{
    if (!address.isEmpty())
        state.AxisAddress = address;
}

void UnitSession::axisSelectDone()
{
    VerifyParameters(Model::VELD30);
}

std::optional<QString> UnitSession::beginAxisDefine()
{
    axisDefineOpenedPort_ = false;
    if (link.PortOpen()) {
        axisDefineWasOpen_ = 1;
    } else {
        axisDefineWasOpen_ = 0;
        if (!link.openPort()) {
            // No port, no question: say so and send nothing.
            openFailureMessage(SerialLink::openFailedText(link.commPort()));
            return std::nullopt;
        }
        axisDefineOpenedPort_ = true;
        axisDefineOpening_ = link.openings();
    }
    if (wholeReplies)
        link.dropLateReplies();
    else if (link.ReplyWaiting())
        link.ReadReply();
    link.write(frame::addressQueryLine());
    link.WaitSeconds(0.05);
    if (wholeReplies) // the address, or empty: no answer that reads as one
        return decode::validAddressReply(link.readCompleteReply().text).value_or(QString());
    return link.ReadReply();
}

void UnitSession::defineAxis(const QString &newAddress)
{
    if (!newAddress.isEmpty())
        writeCommand(QStringLiteral("Axis Define"), frame::addressChangeLine(newAddress));
}

void UnitSession::endAxisDefine()
{
    if (axisDefineWasOpen_ != 0)
        VerifyParameters(Model::VELD30);
    else
        closeAxisDefinePort();
}

void UnitSession::abandonAxisDefine()
{
    axisDefineWasOpen_ = 0;
    closeAxisDefinePort();
}

void UnitSession::closeAxisDefinePort()
{
    // Only the opening the dialog made: a port Connect opened meanwhile
    // belongs to the connection.
    if (axisDefineOpenedPort_ && link.PortOpen() && link.openings() == axisDefineOpening_)
        link.closePort();
    axisDefineOpenedPort_ = false;
}

} // namespace ktv
