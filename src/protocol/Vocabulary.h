#pragma once
// The one table of names for what a unit keeps: each parameter and drive
// setting (and the error code) with its caption, the letters of its lines,
// its sheet key, its command-line name and the name its range messages use.
// Panels, line meanings, sheets, Compare, the journal and the command-line
// tool all read it, so a caption never differs between two places. Beside it
// the one table of the drive options' words.

#include "protocol/Models.h"

#include <QString>
#include <QStringList>
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

// Each drive option: the setting it sets and its word, as sheets, the
// journal and the command line spell it ("cw", "on", "8", "yes"). An option
// button's caption is the word in capitals ("CW", "ON").
struct OptionTerm
{
    Option option;
    Field field;
    const char *word;
};

inline constexpr int OptionCount = 12;
const OptionTerm *optionVocabulary(); // OptionCount rows, in the order of Option
const OptionTerm &termOf(Option option);

// The setting an option button sets: CW -> Direction, Res8 -> Resolution.
Field optionField(Option option);
// The words of a setting's options, in the order of Option: "cw", "ccw".
QStringList optionWords(Field field);
// The option that sets a setting to a word (exact, lower case); none for a
// word the setting has not.
std::optional<Option> optionOfWord(Field field, const QString &word);

std::optional<ParamKey> paramKeyOfLetter(char letter);
// The field a "V" query asks for by its item letter: 'A' -> Accel, '+' -> Direction.
std::optional<Field> fieldOfQueryItem(char item);
std::optional<Field> fieldOfSheetKey(const QString &key);

} // namespace ktv
