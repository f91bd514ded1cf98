#pragma once
// One check of a unit against a parameter sheet: which unit, where, by whom,
// with which sheet, when, and each value's verdict. Pure data: the JSON
// report, the JUnit file, the journal's results table, the results server
// and the printed page are all made from this one object, so they cannot
// tell different stories.
//
// A value's verdict comes from what the unit answered after the writes,
// never from what was sent.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>
#include <vector>

namespace ktv {

enum class ValueVerdict {
    Match,         // the unit holds the sheet's value
    Differs,       // the unit holds another value (nothing was written)
    NotKept,       // written, and the unit holds another value
    NoAnswer,      // the unit did not answer, or not validly; unitValue empty
    NotVerifiable, // the model cannot be asked for this value
    Refused,       // the sheet's value would not be given to the unit
    NotWritten,    // the line was lost before this value was written
};
QString valueVerdictText(ValueVerdict verdict); // "match", "differs", "not kept", ...
// The verdict a stored text names; a text no verdict has reads as no answer.
ValueVerdict valueVerdictFromText(const QString &text);

enum class CheckVerdict {
    Pass,    // every value matches
    Fail,    // a value differs, was not kept, or could not be read
    Refused, // the sheet was refused (another model, a refused value): nothing sent
    Error,   // a line or unit problem: no unit, the line lost
};
QString checkVerdictText(CheckVerdict verdict); // "pass", "fail", "refused", "error"
// The verdict a stored text names; a text no verdict has reads as an error.
CheckVerdict checkVerdictFromText(const QString &text);

struct CheckedUnit
{
    QString unitModel; // as the unit names itself: "KTRA20", "VELD40"
    QString revision;  // "1.07"
    int axis = 0;
    int baud = 0;
    QString device;       // "/dev/ttyUSB0"
    QString byId;         // its /dev/serial/by-id name, for a USB adapter; else empty
    QString serialNumber; // the adapter's serial number; else empty
};

struct CheckedValue
{
    int profile = 0; // 0: a drive setting
    QString key;     // the sheet key: "max-speed", "resolution"
    QString caption; // the field's caption: "Max Speed", "Resolution"
    QString sheetValue;
    std::optional<QString> unitValue; // none when the unit gave no valid answer
    ValueVerdict verdict = ValueVerdict::NoAnswer;
    QString problem; // what came instead of an answer, why it was refused
};

// How a value is named to the operator: "Profile 1, Max Speed", "Ramp Down".
QString checkedValueName(const CheckedValue &value);

struct CheckReport
{
    QUuid id; // made on the bench; a result is stored and sent once under it
    CheckedUnit unit;
    QString serial;  // the unit's own serial number, scanned or typed; empty: none given
    QString station; // default: the host name
    QString operatorName;
    QString sheetName;   // the file name, without its folder
    QString sheetSha256; // of the file's bytes, lower-case hex
    bool loaded = false; // the sheet was written before the read-back
    // Loaded at reply pace: the values the unit kept only when written again
    // with the fixed waits ("Profile 1, Max Speed").
    QStringList fixedWaits;
    // Loaded at reply pace: the values the unit held right after their
    // writes and no longer held at the end.
    QStringList notKept;
    QDateTime started; // local time with its offset from UTC
    QDateTime ended;
    std::vector<CheckedValue> values; // in the sheet's order
    CheckVerdict verdict = CheckVerdict::Error;
    QString problem; // for Refused and Error: the message the operator saw

    int count(ValueVerdict verdict) const;
};

// "this unit needed the fixed waits for 2 values"; empty when it needed none.
QString fixedWaitsText(const QStringList &values);
// "not kept: the unit lost 2 values it held right after their writes";
// empty when it lost none.
QString notKeptText(const QStringList &values);

} // namespace ktv
