#pragma once
// The one table of names for what a unit keeps: each parameter and drive
// setting (and the error code) with its caption, the letters of its lines,
// its sheet key, its command-line name and the name its range messages use.
// Panels, line meanings, sheets, Compare, the journal and the command-line
// tool all read it, so a caption never differs between two places.

#include "protocol/Models.h"

#include <QString>
#include <optional>

namespace ktv {

struct Term
{
    Field field;
    const char *caption;   // "Accel/Decel", "Microstep Resolution": what every table shows
    char queryItem;        // after "V" in its read-back query ("@0VA1", "@0V+"); '!' alone
    char letter;           // a parameter send's command letter ("@0A1_10"); 0 for settings
    const char *sheetKey;  // "accel", "resolution"; empty for the error code
    const char *toolName;  // the command line's NAME and JSON member: "accel", "error-code"
    const char *rangeName; // the range messages' name ("Complete Number"); parameters only
};

inline constexpr int TermCount = 13;
const Term *vocabulary(); // TermCount rows, in the order of Field
const Term &termOf(Field field);
inline const Term &termOf(ParamKey key)
{
    return termOf(fieldOf(key));
}

// The setting an option button sets: CW -> Direction, Res8 -> Resolution.
Field optionField(Option option);

std::optional<ParamKey> paramKeyOfLetter(char letter);
// The field a "V" query asks for by its item letter: 'A' -> Accel, '+' -> Direction.
std::optional<Field> fieldOfQueryItem(char item);
std::optional<Field> fieldOfSheetKey(const QString &key);

} // namespace ktv
