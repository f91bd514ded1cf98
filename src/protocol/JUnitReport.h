#pragma once
// A check's report as a JUnit XML file, for the test dashboards a
// production line already reads: one test suite per check, one test case
// per value (class "KTRA20.Profile 1" or "KTRA20.Drive Settings", name the
// field's caption).
//
//   a match            passes
//   differs, not kept  <failure message="sheet 5000, unit 4000">
//   refused            <failure message="why">
//   no answer          <error message="what came">
//   not written        <error message="not written">
//   not verifiable     <skipped message="not verifiable">
//
// A problem of the whole check (a refused sheet, a lost line) is one more
// case, "Check" of the model's class.

#include "protocol/CheckReport.h"

#include <QByteArray>

namespace ktv {

QByteArray writeJUnitReport(const CheckReport &report);

} // namespace ktv
