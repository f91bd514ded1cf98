#pragma once
// Every line the program puts on the wire, built as bytes. A line is "@", the
// axis address, the command (or "V" and the item for a query), an optional
// value and CR; no LF, no checksum. The functions are pure: callers pass the
// address and profile texts as they hold them, and these go out unchanged.

#include "protocol/Models.h"

#include <QByteArray>
#include <QString>

namespace ktv::frame {

inline constexpr char CR = '\r';

// Set-up command of a drive option: "@0+\r", "@0C1\r", "@0R8\r", "@0E0\r".
QByteArray optionLine(const QString &address, Option option);

// Parameter send: "@" address letter profile "_" value CR. The value text goes
// out exactly as the entry box holds it.
QByteArray parameterLine(const QString &address, ParamKey key, const QString &profile,
                         const QString &valueText);

enum class Motion { Go, StopSoft, StopAll };
// "@0G1\r" (Go carries the profile), "@0S\r", "@0H\r".
QByteArray motionLine(const QString &address, Motion motion, const QString &profile);

// Read-back query: "@0VA1\r" for profile-bound fields, "@0V+\r" for settings,
// "@0!\r" for the error code.
QByteArray queryLine(const QString &address, Field field, const QString &profile);

// Identification: a lone CR, then the error-code and the model queries.
QByteArray loneCarriageReturn();
QByteArray errorCodeQuery(const QString &address); // "@0!\r"
QByteArray modelQuery(const QString &address);     // "@0$\r"

// Axis lines carry no address: every unit on the line hears them.
QByteArray addressQueryLine();                           // "@%\r"
QByteArray addressChangeLine(const QString &newAddress); // "@~12\r"

} // namespace ktv::frame
