#include "store/ResultsYield.h"

#include <map>
#include <utility>

namespace ktv {

std::vector<StationYield> stationYields(const std::vector<CheckReport> &reports)
{
    // Keyed by the day negated in Julian days, so the newest day comes first.
    std::map<std::pair<qint64, QString>, StationYield> groups;
    for (const CheckReport &report : reports) {
        const QDate day = report.started.date();
        StationYield &group = groups[{-day.toJulianDay(), report.station}];
        group.station = report.station;
        group.day = day;
        group.passed += report.verdict == CheckVerdict::Pass ? 1 : 0;
        ++group.total;
    }
    std::vector<StationYield> yields;
    yields.reserve(groups.size());
    for (auto &[key, group] : groups)
        yields.push_back(std::move(group));
    return yields;
}

} // namespace ktv
