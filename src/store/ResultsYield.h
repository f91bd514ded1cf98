#pragma once
// Yield: how many units passed their first check, how many passed in the
// end, and how many checks it took. The arithmetic here is the one for a
// list of checks that did not come from the results server (this bench's
// journal); the server's views (ResultsSchema.h) do the same sums, and
// ResultsServer reads them into the same rows.
//
// A unit is its serial number; a check without one is a unit of its own.
// A unit counts once, at the station, day and unit model of its first
// check; its retests count there too, wherever they were done. First and
// last are by start time (ties by the check's UUID text).

#include "store/ResultsServer.h"

#include <vector>

namespace ktv {

// Grouped by station and by the calendar day the check started on at the
// bench (its own offset from UTC); newest day first, stations by name.
std::vector<StationYield> stationYields(const std::vector<CheckReport> &reports);

// The unit a check is of: its serial number, else "check " and its UUID.
QString unitOfCheck(const CheckReport &report);

// What the view yield_per_station_day holds for these checks, with its
// rows in the view's order (day, station, unit model).
std::vector<YieldFigures> yieldPerStationDay(const std::vector<CheckReport> &reports);

enum class YieldBy { All, Station, Day, StationDay };

// The rows of yieldPerStationDay that the filter lets through (station,
// unit model, and since by its calendar day; failed only and the serial
// number do not apply to a yield), summed per group: stations by name, days
// oldest first. All gives one row (none without units).
std::vector<YieldFigures> yieldBy(const std::vector<YieldFigures> &rows, YieldBy by,
                                  const ResultsFilter &filter);

// Why a check could not finish: "line lost" (the line went during it),
// "stopped" (stopped before its end), "no answer" (no unit to ask: none
// connected or answering, two at one address), "refused" (its sheet was
// refused: nothing sent). Empty for a check that ran to its end.
QString unfinishedCause(const CheckReport &report);

// What the view failing_fields holds: per station, day, unit model and
// field, the checks in which that field's value was not a match. A check
// that could not finish counts once, under its cause, and none of the
// values it could not get count against their fields; a value the unit
// did give, and that differs, still does.
std::vector<FieldFailures> failingFields(const std::vector<CheckReport> &reports);

// The fields and causes the filter lets through (as yieldBy), summed per
// name and ranked for a Pareto chart: most failures first, then by name.
std::vector<RankedField> rankFields(const std::vector<FieldFailures> &rows,
                                    const ResultsFilter &filter);

// "87.5 %", the share of part in whole ("-" for none).
QString percentText(int part, int whole);

} // namespace ktv
