#pragma once
// The yield per station and day of checks already listed, for a list that
// did not come from the results server (this bench's journal): the same
// figures ResultsServer::yield gives.

#include "store/ResultsServer.h"

#include <vector>

namespace ktv {

// Grouped by station and by the calendar day the check started on at the
// bench (its own offset from UTC); newest day first, stations by name.
std::vector<StationYield> stationYields(const std::vector<CheckReport> &reports);

} // namespace ktv
