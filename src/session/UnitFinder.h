#pragma once
// Which units answer on the line, and at which rate. The address question
// "@%" carries no address: every unit on the line answers it with its own.
// So at each rate it is asked first: silence means no unit listens at that
// rate, one clean answer names the address, and the model query at that
// address names the unit. Only where answers collide (two units) or come
// garbled is the rate swept: the model query goes to each address in turn,
// and only the unit whose address a line names answers it. Each address gets
// the read limit of one reply (a first character within 0.1 s), not the long
// waits of the identification, so a sweep of 0 to 99 takes about ten seconds.
// What a sweep hears is never listed as it is: each address that answered is
// asked again by the exchange's rules, and a unit is listed only by its
// proven answer.

#include "protocol/Models.h"
#include "session/UnitExchange.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace ktv {

class UnitSession;

struct FoundUnit
{
    int address = 0;
    QString modelId;  // "KTRA20", "VELD40", ...; empty on a collision
    QString revision; // "1.07"
    Model panel = Model::KTRA10;
    // More than one unit answered at this address: no model is told.
    bool collision = false;
};

// How an address that more than one unit answers is listed.
inline const QString MoreThanOneUnitText = QStringLiteral("more than one unit answers");

inline constexpr int HighestAddress = 99;

// Asks one address for its model at the rate the port is open at, by the
// exchange's rules. Nothing when no known model answered (or the port is
// closed, or the program ends).
std::optional<FoundUnit>
probeAddress(UnitSession &session, int address,
             UnitExchange::Tries tries = UnitExchange::Tries::AskAgainOnce);

// A sweep's look at one address waits this long for a first character.
inline constexpr double SweepReplySeconds = 0.1;

// Asks every address from 0 to 99, then asks again, by the exchange's rules,
// each address that answered, and the silent ones an answer that came late
// may belong to. before(address) is called ahead of each question;
// returning false ends the sweep there, or, while asking again, the search
// (nothing is listed then).
std::vector<FoundUnit> findUnits(UnitSession &session,
                                 const std::function<bool(int address)> &before = {});

// What the address question heard at the rate the port is open at.
struct AddressAnswer
{
    enum Kind {
        Silent,  // nothing: no unit listens at this rate
        One,     // one whole answer naming an address
        Unclear, // two answers, or one that does not read as an address
    };
    Kind kind = Silent;
    int address = -1;
    QString raw; // as read, CRs included
};
// A unit answers the address question within half a second, like the
// identification's questions; the answer counts once its CR is there.
inline constexpr double AddressAnswerSeconds = 0.5;
AddressAnswer askAddress(UnitSession &session);

// What the operator's side does while a search runs; each returning false
// ends the search there.
struct FindHooks
{
    std::function<bool(int baud)> atRate;                     // before the rate is tried
    std::function<bool(int baud, int address)> beforeAddress; // ahead of each sweep question
};

struct FindResult
{
    int baud = 0; // where units answered; 0 when none did
    std::vector<FoundUnit> units;
    bool swept = false;      // the answers were unclear: every address was asked
    bool openFailed = false; // the port did not open (the reason in ConnectErrorText)
};

// Tries the rates in turn until units answer at one. A closed port is opened
// at each rate and closed again when nobody answered; a port already open
// (a connection) is used at its own rate and left open. With sweepAlways
// every address is asked without the address question (units that may not
// answer it).
FindResult findOnLine(UnitSession &session, const QList<int> &rates, bool sweepAlways,
                      const FindHooks &hooks = {});

} // namespace ktv
