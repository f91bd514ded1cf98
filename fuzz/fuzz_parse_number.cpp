// Any text in an entry box: the number reader and the checks built on it must
// neither crash nor hang, and must give a number the limits can be held to.

#include "protocol/ParameterLimits.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const double value = ktv::ParseLeadingNumber(text);
    if (std::isnan(value))
        std::abort();
    for (const ktv::ParameterLimit &row : ktv::ParameterLimits()) {
        for (ktv::EntryPath path : {ktv::EntryPath::Send, ktv::EntryPath::Leave}) {
            const auto message = ktv::CheckParameterRange(row.model, row.key, path, text);
            // A value the check lets through lies within the row's limits.
            const double upper = path == ktv::EntryPath::Send ? row.upper : row.upperLeave;
            if (!message && (value < row.lower || value > upper))
                std::abort();
        }
        ktv::CheckParameterOrder(row.model, row.key, [&](ktv::ParamKey) { return text; });
    }
    return 0;
}
