#pragma once
// One check of a connected unit against a parameter sheet: the sheet for
// another model refused as a load refuses it, then (when asked) the sheet
// written as a load writes it, then every value read back and compared.
// Identifying the unit is the caller's, once, before the check.
//
// Every value's verdict comes from what the unit answered after the writes:
// a value written and then read back as something else was not kept; a
// value that never came back whole has no answer, with what came instead.
// A line lost in the middle fails the check ("line lost after 5 of 14
// values"): a unit pulled during its load never passes.
//
// The writes and reads are SheetOperations' own, with its waits, progress
// and cancel (between values).

#include "protocol/CheckReport.h"
#include "protocol/ParameterSheet.h"
#include "session/SheetOperations.h"

#include <QString>
#include <optional>

namespace ktv {

class UnitSession;

// What one check is asked to do.
struct CheckRequest
{
    ParameterSheet sheet;
    QString sheetName;   // the file name, without its folder
    QString sheetSha256; // of the file's bytes, lower-case hex
    bool load = false;   // write the sheet before the read-back
    QString serial;      // the unit's serial number; empty: none given
    QString station;     // empty: the host name
    QString operatorName;
};

// The request for a sheet file: its sheet, name and SHA-256, read once;
// none (and problem, naming the file) when it does not read.
std::optional<CheckRequest> checkRequestFromFile(const QString &path, QString *problem);

// The identity of the unit the session has identified: the model and
// revision it gave, the axis and rate in force, the device, and for a USB
// adapter its /dev/serial/by-id name and serial number.
CheckedUnit checkedUnitOf(const UnitSession &session, const UnitDescription &unit);

// "line lost after 5 of 14 values"
QString lineLostAfterText(int done, int total);
// "the unit stopped answering after 5 of 14 values"
QString stoppedAnsweringText(int done, int total);

class CheckRun
{
  public:
    CheckRun(UnitSession &session, CheckedUnit unit);

    void setProgress(SheetOperations::Progress progress) { operations_.setProgress(progress); }
    // Safe to call from a slot that runs during one of the waits.
    void cancel() { operations_.cancel(); }

    // The number of value lines a load of the sheet writes.
    int valueCount(const ParameterSheet &sheet) const { return operations_.valueCount(sheet); }

    CheckReport run(const CheckRequest &request);

  private:
    // The values in the order a load writes them, with their verdicts.
    void fillValues(CheckReport &report, const ParameterSheet &sheet,
                    const std::optional<ParameterSheet> &unit,
                    const std::vector<UnreadValue> &unread, int written,
                    const QString &notReadProblem) const;

    UnitSession &session_;
    CheckedUnit unit_;
    SheetOperations operations_;
};

} // namespace ktv
