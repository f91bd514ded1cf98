#include "session/UnitSession.h"

#include "protocol/ReplyDecoding.h"
#include "session/SessionTexts.h"
#include "session/UnitFinder.h"

namespace ktv {

void UnitSession::selectAxis(const QString &address)
{
    if (address.isEmpty())
        return;
    // "05" and "5" reach the same unit.
    if (address.toInt() != state.AxisAddress.toInt())
        axisChanged_ = true;
    state.AxisAddress = address;
}

void UnitSession::axisSelectDone()
{
    // The model belongs to the axis: a new axis is asked who it is before
    // its read-back, so sheets and the journal name the unit that is there.
    if (axisChanged_ && state.UnitConnected && link.PortOpen() && !isEnding())
        askModelAtAxis();
    axisChanged_ = false;
    VerifyParameters(Model::VELD30);
}

void UnitSession::askModelAtAxis()
{
    if (link.ReplyWaiting())
        link.Input();
    if (!link.write(frame::modelQuery(state.AxisAddress)))
        return;
    // Read until the line has been quiet for a moment, so that a second
    // unit's answer right behind the first is seen as a collision.
    noteModelAnswer(state.AxisAddress.toInt(), link.ReadReply());
}

std::optional<QString> UnitSession::beginAxisDefine()
{
    axisDefineOpenedPort_ = false;
    axisDefineCollision_ = false;
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
    const QString reply = link.ReadReply();
    // Every unit on the line answers "@%"; two answers are two units, and
    // "@~" would give both the new address.
    axisDefineCollision_ = answersIn(reply).size() > 1;
    if (wholeReplies && !axisDefineCollision_) // the address, or empty: no answer that reads as one
        return decode::validAddressReply(reply).value_or(QString());
    return reply;
}

bool UnitSession::defineAxis(const QString &newAddress)
{
    if (newAddress.isEmpty())
        return true;
    if (axisDefineCollision_) {
        message(MessageIcon::Exclamation, axisDefineRefusedText());
        return false;
    }
    return writeCommand(QStringLiteral("Axis Define"), frame::addressChangeLine(newAddress));
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
