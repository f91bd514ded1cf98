#include "session/UnitFinder.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ParameterSheet.h"
#include "protocol/ReplyDecoding.h"
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
    session.exchange.settle(frame::modelQuery(QString::number(address)),
                            answersIn(raw).size() == 1 ? raw : QString());
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

AddressAnswer askAddress(UnitSession &session)
{
    SerialLink &link = session.link;
    AddressAnswer answer;
    if (session.isEnding() || !link.PortOpen())
        return answer;
    // A late answer to an earlier question is not this one's.
    if (link.ReplyWaiting())
        link.Input();
    if (!link.write(frame::addressQueryLine()))
        return answer;
    answer.raw = link.readCompleteReply(AddressAnswerSeconds).text;
    if (answer.raw.isEmpty())
        return answer;
    // A second unit's answer right behind the first makes the answers a
    // collision, as two units answering at once garble each other.
    answer.raw += link.readCompleteReply(0.05).text;
    const std::optional<QString> address =
        answersIn(answer.raw).size() == 1 ? decode::validAddressReply(answer.raw) : std::nullopt;
    answer.kind = address ? AddressAnswer::One : AddressAnswer::Unclear;
    session.exchange.settle(frame::addressQueryLine(), address ? answer.raw : QString());
    answer.address = address ? address->toInt() : -1;
    return answer;
}

namespace {

// The units at the rate the port is open at.
std::vector<FoundUnit> findAtRate(UnitSession &session, int baud, bool sweepAlways,
                                  const FindHooks &hooks, bool *swept)
{
    *swept = false;
    if (!sweepAlways) {
        const AddressAnswer answer = askAddress(session);
        if (answer.kind == AddressAnswer::Silent)
            return {};
        if (answer.kind == AddressAnswer::One) {
            if (auto unit = probeAddress(session, answer.address))
                return {*unit};
        }
        // Two units, noise, or an address whose model query did not read:
        // every address is asked.
        if (session.isEnding() || !session.link.PortOpen())
            return {};
    }
    *swept = true;
    return findUnits(session, [&](int address) {
        return !hooks.beforeAddress || hooks.beforeAddress(baud, address);
    });
}

} // namespace

FindResult findOnLine(UnitSession &session, const QList<int> &rates, bool sweepAlways,
                      const FindHooks &hooks)
{
    SerialLink &link = session.link;
    FindResult result;
    for (int baud : rates) {
        if (session.isEnding() || (hooks.atRate && !hooks.atRate(baud)))
            break;
        const bool openedHere = !link.PortOpen();
        if (openedHere && !link.OpenComPort(session.state.ComPortNumber, baud)) {
            result.openFailed = true;
            break;
        }
        result.units = findAtRate(session, baud, sweepAlways, hooks, &result.swept);
        if (!result.units.empty()) {
            result.baud = baud;
            break;
        }
        if (openedHere)
            link.closePort();
    }
    return result;
}

} // namespace ktv
