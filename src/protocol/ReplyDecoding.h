#pragma once
// Turning the unit's replies into what the panels show. Pure functions: the
// reply text goes in as read (CR already removed by the caller where the run
// removes it), the shown value comes out.

#include "protocol/Models.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace ktv::decode {

QString direction(const QString &reply);     // "CW" when the first character is "1", else "CCW"
QString onOff(const QString &reply);         // analog speed, reduced current: "ON" / "OFF"
int resolutionSetting(const QString &reply); // 1, 2 or 4 by the first character, else 8
Option resolutionOption(int setting);        // Res1 ... Res8

// Ramp down, "YES" or "NO". KTRA10 and KTRA20 read the whole reply (CR kept) as
// a decimal number and say "YES" only for 1; a reply that is not a number reads
// "NO". KTRA30 looks at the first character only.
QString rampDown(Model model, const QString &rawReply);

// The reply discipline of every read but the panel's own read-back run (the
// command-line tool, sheets, the journal, Find, Axis Define, write-back). A
// reply counts only when it is one whole reply: its text, then a single CR,
// nothing before or after, and no other CR or LF in it.
// wholeReply gives the text without its CR, or none.
std::optional<QString> wholeReply(const QString &raw);
// A whole reply whose text is one the query can be answered with: decimal
// digits for a parameter and the error code, "1" or "0" for direction,
// reduced current, analog speed and ramp down, "1", "2", "4" or "8" for the
// microstep resolution. The text without its CR, or none: no answer.
std::optional<QString> validReply(Field field, const QString &raw);
// The answer to the address query "@%": one or two digits.
std::optional<QString> validAddressReply(const QString &raw);

} // namespace ktv::decode

namespace ktv {

// The answers in what was read for one question: the CR-ended pieces, CRs
// removed, empty pieces left out. Each unit ends its answer with a CR, so
// two pieces are two units answering one question.
QStringList answersIn(const QString &raw);
// A reply that is no answer, as the operator reads it: "unreadable reply
// "77"" (whole, but not a value), "incomplete reply "100"" (no CR came).
QString replyProblemText(const QString &raw);

} // namespace ktv
