// Settings texts such as "9600,N,8,1": anything else is refused, never misread.

#include "protocol/SettingsText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto settings = ktv::parseSettingsText(text);
    if (settings && (settings->baudRate <= 0 || settings->dataBits < 5 || settings->dataBits > 8))
        std::abort();
    return 0;
}
