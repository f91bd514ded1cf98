// No operator input may put a frame on the line that holds a CR or LF before
// its end: the address comes from the digit-only axis boxes, the value from an
// entry box whose text passed the checks.

#include "protocol/CommandFrame.h"
#include "protocol/ParameterLimits.h"

#include <cstdint>
#include <cstdlib>

namespace {

void requireOneLine(const QByteArray &line)
{
    if (line.isEmpty() || line.back() != '\r')
        std::abort();
    const QByteArray body = line.chopped(1);
    if (body.contains('\r') || body.contains('\n'))
        std::abort();
    if (!body.isEmpty() && body.indexOf('@', 1) != -1)
        std::abort(); // a second command start inside the line
}

QString digitsOnly(const QString &text)
{
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    return text.left(2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QString address =
        digitsOnly(QString::fromLatin1(reinterpret_cast<const char *>(data), 2));
    const QString profile = QString::number(1 + data[0] % 4);
    const QString value =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const QString addr = address.isEmpty() ? QStringLiteral("0") : address;

    for (const ktv::ParameterLimit &row : ktv::ParameterLimits()) {
        if (ktv::CheckParameterText(row.model, row.key, value))
            continue; // refused: never reaches the line
        requireOneLine(ktv::frame::parameterLine(addr, row.key, profile, value));
    }
    for (int o = 0; o <= static_cast<int>(ktv::Option::AnalogOff); ++o)
        requireOneLine(ktv::frame::optionLine(addr, static_cast<ktv::Option>(o)));
    for (int f = 0; f <= static_cast<int>(ktv::Field::ErrorCode); ++f)
        requireOneLine(ktv::frame::queryLine(addr, static_cast<ktv::Field>(f), profile));
    for (auto m :
         {ktv::frame::Motion::Go, ktv::frame::Motion::StopSoft, ktv::frame::Motion::StopAll})
        requireOneLine(ktv::frame::motionLine(addr, m, profile));
    requireOneLine(ktv::frame::modelQuery(addr));
    requireOneLine(ktv::frame::errorCodeQuery(addr));
    if (!address.isEmpty())
        requireOneLine(ktv::frame::addressChangeLine(address));
    return 0;
}
