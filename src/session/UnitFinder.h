#pragma once
// Which addresses answer on the line. Every unit on a line hears every line,
// and only the one whose address a line names answers it, so the model query
// goes to each address in turn. Each address gets the read limit of one reply
// (a first character within 0.1 s), not the long waits of the identification,
// so a sweep of 0 to 99 takes about ten seconds.

#include "protocol/Models.h"

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

// The answers in what was read for one question: the CR-ended pieces, CRs
// removed, empty pieces left out. Each unit ends its answer with a CR, so
// two pieces are two units answering one question.
QStringList answersIn(const QString &raw);

inline constexpr int HighestAddress = 99;

// Asks one address for its model at the rate the port is open at. Nothing
// when no known model answered (or the port is closed, or the program ends).
std::optional<FoundUnit> probeAddress(UnitSession &session, int address);

// Asks every address from 0 to 99. before(address) is called ahead of each
// question; returning false ends the sweep there.
std::vector<FoundUnit> findUnits(UnitSession &session,
                                 const std::function<bool(int address)> &before = {});

} // namespace ktv
