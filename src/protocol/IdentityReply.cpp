#include "protocol/IdentityReply.h"

namespace ktv {

namespace {

struct KnownUnit
{
    const char *id;
    Model panel;
};

// Checked in this order; the first id that matches decides.
constexpr KnownUnit KnownUnits[] = {
    {"KTRA10", Model::KTRA10}, {"KTRA20", Model::KTRA20}, {"KTRA30", Model::KTRA30},
    {"VELD10", Model::VELD10}, {"VELD20", Model::VELD20}, {"VELD30", Model::VELD30},
    {"VELD40", Model::VELD30}, {"VELD50", Model::VELD30},
};

} // namespace

std::optional<UnitIdentity> parseIdentityReply(const QString &reply)
{
    // Positions 1-6: the model id; 5-6: its number; 7-8: not read; 9-12: the revision.
    const QStringView head = QStringView(reply).left(6);
    for (const KnownUnit &unit : KnownUnits) {
        if (head != QLatin1String(unit.id))
            continue;
        UnitIdentity identity{unit.panel, QString(), false};
        identity.versionText = (isKtra(unit.panel) ? QStringLiteral("Version: KTRA")
                                                   : QStringLiteral("Version: VELD")) +
                               reply.mid(4, 2) + QStringLiteral(", Revision ") + reply.mid(8, 4);
        identity.isVeld50 = head == QLatin1String("VELD50");
        return identity;
    }
    return std::nullopt;
}

} // namespace ktv
