// Whatever a unit sends back, decoding gives one of the values the panels know.

#include "protocol/ReplyDecoding.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply =
        QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString direction = ktv::decode::direction(reply);
    if (direction != QLatin1String("CW") && direction != QLatin1String("CCW"))
        std::abort();
    const QString onOff = ktv::decode::onOff(reply);
    if (onOff != QLatin1String("ON") && onOff != QLatin1String("OFF"))
        std::abort();
    const int setting = ktv::decode::resolutionSetting(reply);
    if (setting != 1 && setting != 2 && setting != 4 && setting != 8)
        std::abort();
    ktv::decode::resolutionOption(setting);
    for (ktv::Model model : ktv::AllModels) {
        const QString ramp = ktv::decode::rampDown(model, reply);
        if (ramp != QLatin1String("YES") && ramp != QLatin1String("NO"))
            std::abort();
    }
    return 0;
}
