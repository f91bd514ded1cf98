#pragma once
// The unit's answer to "$": model id in positions 1-6, revision in 9-12.

#include "protocol/Models.h"

#include <QString>
#include <optional>

namespace ktv {

struct UnitIdentity
{
    Model panel;         // the panel that serves the unit (VELD40/50 -> VELD30)
    QString versionText; // "Version: KTRA20, Revision 1.07"
    QString unitModel;   // the id as the unit gave it: "VELD50"
};

// Exact, case-sensitive match of the first six characters against the ids of
// the unit models (UnitCatalogue); anything shorter than six characters is
// not recognised.
std::optional<UnitIdentity> parseIdentityReply(const QString &reply);

} // namespace ktv
