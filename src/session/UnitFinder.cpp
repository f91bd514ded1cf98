#include "session/UnitFinder.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "session/UnitSession.h"

namespace ktv {

std::optional<FoundUnit> probeAddress(UnitSession &session, int address)
{
    SerialLink &link = session.link;
    if (session.isEnding() || !link.PortOpen())
        return std::nullopt;
    // A late answer to an earlier question is not this address's answer.
    if (link.ReplyWaiting())
        link.ReadReply();
    if (!link.write(frame::modelQuery(QString::number(address))))
        return std::nullopt;
    const QString reply = StripCarriageReturns(link.ReadReply());
    const std::optional<UnitIdentity> identity = parseIdentityReply(reply);
    if (!identity)
        return std::nullopt;
    return FoundUnit{address, reply.left(6), reply.mid(8, 4).trimmed(), identity->panel};
}

std::vector<FoundUnit> findUnits(UnitSession &session,
                                 const std::function<bool(int address)> &before)
{
    std::vector<FoundUnit> found;
    for (int address = 0; address <= HighestAddress; ++address) {
        if (session.isEnding() || !session.link.PortOpen())
            break;
        if (before && !before(address))
            break;
        if (auto unit = probeAddress(session, address))
            found.push_back(*unit);
    }
    return found;
}

} // namespace ktv
