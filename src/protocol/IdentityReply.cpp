#include "protocol/IdentityReply.h"

#include "protocol/UnitCatalogue.h"

namespace ktv {

std::optional<UnitIdentity> parseIdentityReply(const QString &reply)
{
    // Positions 1-6: the model id; 5-6: its number; 7-8: not read; 9-12: the revision.
    const QStringView head = QStringView(reply).left(6);
    // Checked in the catalogue's order; the first id that matches decides.
    for (const UnitModel &unit : unitModels()) {
        if (head != unit.id)
            continue;
        UnitIdentity identity{unit.panel, QString(), unit.id};
        identity.versionText = (isKtra(unit.panel) ? QStringLiteral("Version: KTRA")
                                                   : QStringLiteral("Version: VELD")) +
                               reply.mid(4, 2) + QStringLiteral(", Revision ") + reply.mid(8, 4);
        return identity;
    }
    return std::nullopt;
}

} // namespace ktv
