#include "session/UnitFinder.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ParameterSheet.h"
#include "protocol/ReplyDecoding.h"
#include "session/UnitSession.h"

#include <QElapsedTimer>
#include <map>
#include <set>

namespace ktv {

std::optional<FoundUnit> probeAddress(UnitSession &session, int address, UnitExchange::Tries tries)
{
    const std::optional<UnitSession::AxisUnit> unit =
        session.askUnitAt(QString::number(address), tries);
    if (!unit)
        return std::nullopt;
    if (unit->collision)
        return FoundUnit{address, QString(), QString(), Model::KTRA10, true};
    return FoundUnit{address, unit->model, unit->revision, *panelOfUnitModel(unit->model)};
}

std::vector<FoundUnit> findUnits(UnitSession &session,
                                 const std::function<bool(int address)> &before)
{
    UnitExchange &exchange = session.exchange;
    const auto going = [&] { return !session.isEnding() && session.link.PortOpen(); };
    struct Glance
    {
        int address;
        double at;         // seconds into the sweep, when its question went out
        qsizetype answers; // whole answers heard; -1 for part of one
    };
    std::vector<Glance> glances;
    std::set<int> suspects; // silent addresses whose answer may have come late
    const auto suspectBefore = [&](double at) {
        for (const Glance &glance : glances) {
            if (glance.answers == 0 && glance.at < at &&
                at - glance.at <= UnitExchange::LateSeconds + SweepReplySeconds)
                suspects.insert(glance.address);
        }
    };
    QElapsedTimer clock;
    clock.start();
    for (int address = 0; address <= HighestAddress; ++address) {
        if (!going() || (before && !before(address)))
            break;
        const int strays = exchange.strays();
        const double at = clock.nsecsElapsed() / 1e9;
        const QString raw =
            exchange.glance(frame::modelQuery(QString::number(address)), SweepReplySeconds);
        // Bytes before the question: an earlier address answered late.
        if (exchange.strays() != strays)
            suspectBefore(at);
        glances.push_back(
            {address, at,
             raw.isEmpty() || raw.endsWith(QLatin1Char('\r')) ? answersIn(raw).size() : -1});
    }
    // The sweep's last questions may still be answered late.
    exchange.owe();
    // Only an answer the exchange proves names a unit: each address that was
    // heard is asked again by its rules. One that then stays silent, or
    // proves one unit where the sweep heard more, heard an earlier address's
    // late answer: the silent addresses asked within the late window before
    // it are asked too.
    std::map<int, FoundUnit> found;
    const auto confirm = [&](int address, UnitExchange::Tries tries) {
        if (!going() || (before && !before(address)))
            return false;
        if (const std::optional<FoundUnit> unit = probeAddress(session, address, tries))
            found[address] = *unit;
        return true;
    };
    for (const Glance &glance : glances) {
        if (glance.answers == 0)
            continue;
        if (!confirm(glance.address, UnitExchange::Tries::AskAgainOnce))
            return {};
        const auto unit = found.find(glance.address);
        if (unit == found.end() || (!unit->second.collision && glance.answers != 1))
            suspectBefore(glance.at);
    }
    if (!suspects.empty())
        session.link.note(QStringLiteral("a late answer: asking the addresses before it again"));
    // Silence is an answer there: most of them hold no unit.
    for (int address : suspects) {
        if (!confirm(address, UnitExchange::Tries::AgainUnlessSilent))
            return {};
    }
    std::vector<FoundUnit> units;
    for (const auto &[address, unit] : found)
        units.push_back(unit);
    return units;
}

AddressAnswer askAddress(UnitSession &session)
{
    AddressAnswer answer;
    if (session.isEnding() || !session.link.PortOpen())
        return answer;
    UnitExchange &exchange = session.exchange;
    const Outcome<QString> address = exchange.ask(
        frame::addressQueryLine(),
        [](const QString &raw) { return decode::validAddressReply(raw); },
        UnitExchange::Tries::AgainUnlessSilent, AddressAnswerSeconds);
    answer.raw = exchange.lastRaw();
    if (address) {
        answer.kind = AddressAnswer::One;
        answer.address = address->toInt();
    } else if (!answer.raw.isEmpty()) {
        // Two units' answers, or one that does not read as an address.
        answer.kind = AddressAnswer::Unclear;
    }
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
