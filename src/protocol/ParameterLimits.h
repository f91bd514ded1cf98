#pragma once
// The limits of every numeric parameter per model, and the checks an entry
// must pass before it is sent. Pure functions: they take texts and return the
// warning to show, or nothing when the entry passes.

#include "protocol/Models.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace ktv {

// Send: the operator clicked the Send button. Leave: the entry box lost focus.
enum class EntryPath { Send, Leave };

struct ParameterLimit
{
    Model model;
    ParamKey key;
    double lower;
    double upper;      // Send path
    double upperLeave; // Leave path (differs for VELD10 Accel only)
    QString defaultText;
    int maxLength; // 0: no limit of its own
    QString lowerMessage;
    QString upperMessage;
    QString upperLeaveMessage;
};

const std::vector<ParameterLimit> &ParameterLimits();
const ParameterLimit *findParameterLimit(Model model, ParamKey key);
// The keys of a model's panel, in the order of the limits table.
std::vector<ParamKey> parameterKeys(Model model);

// Reads the number at the start of a text the way the unit's operators expect:
// blanks, tabs and line feeds ignored anywhere, optional sign, digits with at
// most one full stop, optional exponent (E or D). No number reads 0. The full
// stop is the decimal separator whatever the locale.
double ParseLeadingNumber(const QString &text);

// The two limit checks of one row.
std::optional<QString> CheckParameterRange(Model model, ParamKey key, EntryPath path,
                                           const QString &text);

// The order checks between the speed boxes of one panel. boxText gives the
// current text of the panel's box for a key.
std::optional<QString> CheckParameterOrder(Model model, ParamKey key,
                                           const std::function<QString(ParamKey)> &boxText);

// A text that would break the frame or smuggle another command onto the line
// (control characters, "@", anything outside printable ASCII) is refused.
std::optional<QString> CheckParameterText(Model model, ParamKey key, const QString &text);

// What becomes of one entry.
struct EntryVerdict
{
    enum class Kind {
        Accepted,     // send it
        Refused,      // show message, send nothing
        NotConnected, // no unit: the Send path says so, the leave path stays silent
    };
    Kind kind = Kind::Accepted;
    QString message; // the warning of a refusal
    bool accepted() const { return kind == Kind::Accepted; }
};

// A rule of a caller's own, run after the text check and before the limits
// (a sheet holds only what a unit holds).
using ValueRule = std::function<std::optional<QString>(Model, ParamKey, const QString &)>;

// The one check of an entry, for the window's Send button and leave action,
// the command-line tool, sheets and write-back alike: the text, the caller's
// own rule, the limits, then (only with a unit connected) the order against
// the panel's other boxes. boxText(key) is the entry's own text too; range
// messages come whether or not a unit is connected, order messages only when
// one is.
EntryVerdict CheckParameterEntry(Model model, ParamKey key, EntryPath path,
                                 const std::function<QString(ParamKey)> &boxText,
                                 bool unitConnected, const ValueRule &ownRule = {});

} // namespace ktv
