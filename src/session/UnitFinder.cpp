#include "session/UnitFinder.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ParameterSheet.h"
#include "session/UnitSession.h"

namespace ktv {

QStringList answersIn(const QString &raw)
{
    return raw.split(QLatin1Char('\r'), Qt::SkipEmptyParts);
}

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
    // A silent address costs the 0.1 s of one reply's first character. An
    // answer counts once whole (up to its CR); a second unit's answer right
    // behind the first makes the address a collision.
    QString raw = link.ReadReply();
    if (!raw.isEmpty() && !raw.endsWith(QLatin1Char('\r')))
        raw += link.readCompleteReply(0.1).text;
    session.noteModelAnswer(address, raw);
    const std::optional<UnitSession::AxisUnit> unit = session.unitAt(QString::number(address));
    if (!unit)
        return std::nullopt;
    if (unit->collision)
        return FoundUnit{address, QString(), QString(), Model::KTRA10, true};
    return FoundUnit{address, unit->model, unit->revision, *panelOfUnitModel(unit->model)};
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
