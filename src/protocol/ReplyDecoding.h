#pragma once
// Turning the unit's replies into what the panels show. Pure functions: the
// reply text goes in as read (CR already removed by the caller where the run
// removes it), the shown value comes out.

#include "protocol/Models.h"

#include <QString>

namespace ktv::decode {

QString direction(const QString &reply);     // "CW" when the first character is "1", else "CCW"
QString onOff(const QString &reply);         // analog speed, reduced current: "ON" / "OFF"
int resolutionSetting(const QString &reply); // 1, 2 or 4 by the first character, else 8
Option resolutionOption(int setting);        // Res1 ... Res8

// Ramp down, "YES" or "NO". KTRA10 and KTRA20 read the whole reply (CR kept) as
// a decimal number and say "YES" only for 1; a reply that is not a number reads
// "NO". KTRA30 looks at the first character only.
QString rampDown(Model model, const QString &rawReply);

} // namespace ktv::decode
