// The unit's answer to "$": recognised only by its exact first six characters.

#include "protocol/IdentityReply.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply =
        QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto identity = ktv::parseIdentityReply(reply);
    if (!identity)
        return 0;
    const QString id = reply.left(6);
    if (!id.startsWith(QLatin1String("KTRA")) && !id.startsWith(QLatin1String("VELD")))
        std::abort();
    if (!identity->versionText.startsWith(QLatin1String("Version: ") + id +
                                          QLatin1String(", Revision ")))
        std::abort();
    if (identity->versionText.size() > 37)
        std::abort(); // at most four revision characters
    return 0;
}
