#include "session/UnitFinder.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ReplyDecoding.h"
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
    // A silent address costs the 0.1 s of one reply's first character; an
    // answer is read whole (up to its CR) before it counts.
    const std::optional<QString> whole = decode::wholeReply(link.readCompleteReply(0.1).text);
    if (!whole)
        return std::nullopt;
    const QString reply = *whole;
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
