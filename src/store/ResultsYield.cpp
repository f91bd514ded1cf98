#include "store/ResultsYield.h"

#include <QHash>
#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

namespace ktv {

namespace {

QDate benchDay(const CheckReport &report)
{
    return report.started.date(); // the time keeps the bench's own offset
}

// The filter's terms that a yield row can answer: station, unit model, and
// since by its calendar day.
bool passes(const ResultsFilter &filter, const QString &station, const QString &unitModel,
            const QDate &day)
{
    if (!filter.station.isEmpty() && station != filter.station)
        return false;
    if (!filter.unitModel.isEmpty() && unitModel.compare(filter.unitModel, Qt::CaseInsensitive))
        return false;
    return !filter.since.isValid() || day >= filter.since.date();
}

} // namespace

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

QString unitOfCheck(const CheckReport &report)
{
    return report.serial.isEmpty()
               ? QStringLiteral("check ") + report.id.toString(QUuid::WithoutBraces)
               : report.serial;
}

std::vector<YieldFigures> yieldPerStationDay(const std::vector<CheckReport> &reports)
{
    std::vector<const CheckReport *> ordered;
    ordered.reserve(reports.size());
    for (const CheckReport &report : reports)
        ordered.push_back(&report);
    std::sort(ordered.begin(), ordered.end(), [](const CheckReport *a, const CheckReport *b) {
        const qint64 at = a->started.toMSecsSinceEpoch();
        const qint64 bt = b->started.toMSecsSinceEpoch();
        if (at != bt)
            return at < bt;
        return a->id.toString(QUuid::WithoutBraces) < b->id.toString(QUuid::WithoutBraces);
    });
    struct Unit
    {
        const CheckReport *first = nullptr;
        const CheckReport *last = nullptr;
        int checks = 0;
    };
    QHash<QString, Unit> units;
    for (const CheckReport *report : ordered) {
        Unit &unit = units[unitOfCheck(*report)];
        if (!unit.first)
            unit.first = report;
        unit.last = report;
        ++unit.checks;
    }
    std::map<std::tuple<qint64, QString, QString>, YieldFigures> groups;
    for (const Unit &unit : std::as_const(units)) {
        const CheckReport &first = *unit.first;
        const QDate day = benchDay(first);
        YieldFigures &group = groups[{day.toJulianDay(), first.station, first.unit.unitModel}];
        group.station = first.station;
        group.day = day;
        group.unitModel = first.unit.unitModel;
        ++group.units;
        group.firstPassed += first.verdict == CheckVerdict::Pass ? 1 : 0;
        group.finalPassed += unit.last->verdict == CheckVerdict::Pass ? 1 : 0;
        group.checks += unit.checks;
    }
    std::vector<YieldFigures> rows;
    rows.reserve(groups.size());
    for (auto &[key, group] : groups)
        rows.push_back(std::move(group));
    return rows;
}

std::vector<YieldFigures> yieldBy(const std::vector<YieldFigures> &rows, YieldBy by,
                                  const ResultsFilter &filter)
{
    std::map<std::pair<qint64, QString>, YieldFigures> groups;
    for (const YieldFigures &row : rows) {
        if (!passes(filter, row.station, row.unitModel, row.day))
            continue;
        const bool byStation = by == YieldBy::Station || by == YieldBy::StationDay;
        const bool byDay = by == YieldBy::Day || by == YieldBy::StationDay;
        // Days first, so that per station and day the days come in order.
        YieldFigures &group =
            groups[{byDay ? row.day.toJulianDay() : 0, byStation ? row.station : QString()}];
        if (byStation)
            group.station = row.station;
        if (byDay)
            group.day = row.day;
        group.units += row.units;
        group.firstPassed += row.firstPassed;
        group.finalPassed += row.finalPassed;
        group.checks += row.checks;
    }
    std::vector<YieldFigures> summed;
    summed.reserve(groups.size());
    for (auto &[key, group] : groups)
        summed.push_back(std::move(group));
    return summed;
}

QString unfinishedCause(const CheckReport &report)
{
    auto anyValue = [&report](const QString &problem) {
        return std::any_of(report.values.begin(), report.values.end(),
                           [&](const CheckedValue &value) { return value.problem == problem; });
    };
    const QString lineLost = QStringLiteral("line lost");
    const QString cancelled = QStringLiteral("cancelled");
    if (report.verdict == CheckVerdict::Refused)
        return QStringLiteral("refused");
    if (report.problem.startsWith(lineLost) || anyValue(lineLost))
        return lineLost;
    if (report.verdict != CheckVerdict::Error)
        return {};
    if (report.problem == cancelled || anyValue(cancelled))
        return QStringLiteral("stopped");
    return QStringLiteral("no answer");
}

std::vector<FieldFailures> failingFields(const std::vector<CheckReport> &reports)
{
    // Keyed by the name, and whether it is a cause.
    std::map<std::tuple<qint64, QString, QString, bool, QString>, FieldFailures> groups;
    for (const CheckReport &report : reports) {
        const QDate day = benchDay(report);
        auto count = [&](const QString &name, bool unfinished) {
            FieldFailures &group = groups[{day.toJulianDay(), report.station, report.unit.unitModel,
                                           unfinished, name}];
            group.station = report.station;
            group.day = day;
            group.unitModel = report.unit.unitModel;
            group.name = name;
            group.unfinished = unfinished;
            ++group.failures;
        };
        const QString cause = unfinishedCause(report);
        if (!cause.isEmpty())
            count(cause, true);
        for (const CheckedValue &value : report.values)
            if (value.verdict != ValueVerdict::Match && (cause.isEmpty() || value.unitValue))
                count(checkedValueName(value), false);
    }
    std::vector<FieldFailures> rows;
    rows.reserve(groups.size());
    for (auto &[key, group] : groups)
        rows.push_back(std::move(group));
    return rows;
}

std::vector<RankedField> rankFields(const std::vector<FieldFailures> &rows,
                                    const ResultsFilter &filter)
{
    std::map<std::pair<QString, bool>, int> byName;
    int total = 0;
    for (const FieldFailures &row : rows) {
        if (!passes(filter, row.station, row.unitModel, row.day))
            continue;
        byName[{row.name, row.unfinished}] += row.failures;
        total += row.failures;
    }
    std::vector<RankedField> ranked;
    ranked.reserve(byName.size());
    for (const auto &[name, failures] : byName)
        ranked.push_back({name.first, failures, 0, name.second});
    std::stable_sort(ranked.begin(), ranked.end(), [](const RankedField &a, const RankedField &b) {
        return a.failures > b.failures;
    });
    int running = 0;
    for (RankedField &field : ranked) {
        running += field.failures;
        field.cumulativePercent = 100.0 * running / total;
    }
    return ranked;
}

QString percentText(int part, int whole)
{
    return whole > 0 ? QStringLiteral("%1 %").arg(100.0 * part / whole, 0, 'f', 1)
                     : QStringLiteral("-");
}

} // namespace ktv
