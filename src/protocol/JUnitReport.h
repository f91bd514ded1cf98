#pragma once
// A check's report as a JUnit XML file, for the test dashboards a
// production line already reads: one test suite per check, one test case
// per value (class "KTRA20.Profile 1" or "KTRA20.Drive Settings", name the
// field's caption).
//
//   a match            passes
//   differs, not kept  <failure message="sheet 5000, unit 4000">
//   refused            <failure message="why">
//   no answer          <failure message="what came">
//   not verifiable     <failure message="not verifiable">
//   not written        <error message="not written">
//
// So every value the check fails on is counted, and a dashboard reads a
// failed check where the exit code says one. A problem of the whole check
// (a refused sheet, a lost line, a unit that did not answer) is one more
// case, "Check" of the model's class: an error when the check could not
// run, else a failure.
//
// A character XML cannot carry (a control character from a name or a
// reply) is written as U+FFFD; *replaced gets the name of each field that
// changed so ("operator", "Profile 1, Max Speed"), so that it can be said.

#include "protocol/CheckReport.h"

#include <QByteArray>
#include <QStringList>

namespace ktv {

QByteArray writeJUnitReport(const CheckReport &report, QStringList *replaced = nullptr);

} // namespace ktv
