#include "session/UnitSession.h"

#include "protocol/CommandFrame.h"
#include "protocol/ReplyDecoding.h"
#include "session/SessionTexts.h"

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
    // The dialog sends nothing itself: the read-back run is the first thing
    // the unit hears at its new address. Its model is asked when a sheet,
    // Compare or a check first needs it (unitAtAxis), unless a unit named
    // itself there since the connection was made.
    axisChanged_ = false;
    VerifyParameters(Model::VELD30);
}

void UnitSession::selectFoundUnit(const QString &address)
{
    selectAxis(address);
    if (!address.isEmpty() && state.UnitConnected) {
        axisUnits_.erase(address.toInt()); // asked afresh
        unitAtAxis();
    }
    axisSelectDone();
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
    if (exchange.policy() == ReplyPolicy::Tool) {
        // The tool asks by the exchange's rules: the address, or empty when
        // no answer reads as one. Every unit on the line answers "@%", so
        // more than one answer, asked twice, is two units.
        const Outcome<QString> address =
            exchange.ask(frame::addressQueryLine(),
                         [](const QString &raw) { return decode::validAddressReply(raw); });
        axisDefineCollision_ = exchange.collided() || answersIn(exchange.lastRaw()).size() > 1;
        if (axisDefineCollision_)
            return exchange.lastRaw();
        return address ? *address : QString();
    }
    if (link.ReplyWaiting())
        link.ReadReply();
    link.write(frame::addressQueryLine());
    link.WaitSeconds(0.05);
    QString reply = link.ReadReply();
    // The rest of a reply cut short is not the next question's answer.
    if (!link.replyMissing() && !reply.endsWith(QLatin1Char('\r')))
        link.noteReplyOwed();
    // Every unit on the line answers "@%"; two answers are two units, and
    // "@~" would give both the new address.
    axisDefineCollision_ = answersIn(reply).size() > 1;
    exchange.settle(frame::addressQueryLine(), axisDefineCollision_ ? QString() : reply);
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
