#pragma once
// Seven checks of five units over two days at two stations, for the yield's
// tests: SN-A fails at bench-1 and passes at bench-2 the next day, SN-B
// passes at once, SN-C fails twice, and two checks without a serial number
// (one failing, one passing) are units of their own. Then checks that
// could not finish, for the failing fields' causes.

#include "protocol/CheckReport.h"

#include <vector>

namespace ktv::test {

inline std::vector<CheckReport> yieldSeed()
{
    struct Seed
    {
        const char *serial;
        const char *station;
        const char *model;
        const char *started;
        CheckVerdict verdict;
        std::vector<std::pair<int, ValueVerdict>>
            values; // profile 0/1 max-speed, accel, resolution
    };
    const ValueVerdict ok = ValueVerdict::Match;
    const Seed seeds[] = {
        {"SN-A",
         "bench-1",
         "KTRA20",
         "2026-12-07T09:00:00.000+01:00",
         CheckVerdict::Fail,
         {{1, ValueVerdict::Differs}, {1, ok}, {0, ok}}},
        {"SN-B",
         "bench-1",
         "KTRA20",
         "2026-12-07T10:00:00.000+01:00",
         CheckVerdict::Pass,
         {{1, ok}, {1, ok}, {0, ok}}},
        {"SN-C",
         "bench-2",
         "KTRA20",
         "2026-12-07T11:00:00.000+01:00",
         CheckVerdict::Fail,
         {{1, ValueVerdict::NotKept}, {1, ValueVerdict::NoAnswer}, {0, ok}}},
        {"SN-A",
         "bench-2",
         "KTRA20",
         "2026-12-08T09:00:00.000+01:00",
         CheckVerdict::Pass,
         {{1, ok}, {1, ok}, {0, ok}}},
        {"SN-C",
         "bench-2",
         "KTRA20",
         "2026-12-08T10:00:00.000+01:00",
         CheckVerdict::Fail,
         {{1, ValueVerdict::Differs}, {1, ok}, {0, ok}}},
        {"",
         "bench-2",
         "VELD30",
         "2026-12-08T11:00:00.000+01:00",
         CheckVerdict::Fail,
         {{1, ok}, {1, ok}, {0, ValueVerdict::Differs}}},
        {"",
         "bench-2",
         "VELD30",
         "2026-12-08T12:00:00.000+01:00",
         CheckVerdict::Pass,
         {{1, ok}, {1, ok}, {0, ok}}},
    };
    const char *const keys[] = {"max-speed", "accel", "resolution"};
    const char *const captions[] = {"Max Speed", "Accel/Decel", "Resolution"};
    std::vector<CheckReport> reports;
    int number = 0;
    for (const Seed &seed : seeds) {
        CheckReport report;
        report.id = QUuid(
            QStringLiteral("{00000000-0000-4000-8000-%1}").arg(++number, 12, 10, QLatin1Char('0')));
        report.serial = QString::fromLatin1(seed.serial);
        report.station = QString::fromLatin1(seed.station);
        report.unit = {QString::fromLatin1(seed.model),
                       QStringLiteral("1.07"),
                       0,
                       9600,
                       QStringLiteral("/dev/ttyUSB0"),
                       {},
                       {}};
        report.sheetName = QStringLiteral("line3.json");
        report.sheetSha256 = QStringLiteral("9f86d081");
        report.started =
            QDateTime::fromString(QString::fromLatin1(seed.started), Qt::ISODateWithMs);
        report.ended = report.started.addSecs(16);
        report.verdict = seed.verdict;
        for (std::size_t i = 0; i < seed.values.size(); ++i)
            report.values.push_back({seed.values[i].first,
                                     QString::fromLatin1(keys[i]),
                                     QString::fromLatin1(captions[i]),
                                     QStringLiteral("5"),
                                     QStringLiteral("5"),
                                     seed.values[i].second,
                                     {}});
        reports.push_back(std::move(report));
    }
    return reports;
}

// Five checks at bench-3 on 2026-12-09 that could not finish: two lost
// their line (the first after a value the unit gave, and that differs),
// one was refused, one found no unit, one was stopped.
inline std::vector<CheckReport> unfinishedSeed()
{
    using V = ValueVerdict;
    const struct
    {
        CheckVerdict verdict;
        const char *problem;
        std::vector<std::pair<V, const char *>> values; // as yieldSeed's, in order
    } seeds[] = {
        {CheckVerdict::Fail,
         "line lost after 1 of 3 values",
         {{V::Differs, ""}, {V::NoAnswer, "line lost"}, {V::NoAnswer, "line lost"}}},
        {CheckVerdict::Fail,
         "line lost after 0 of 3 values",
         {{V::NoAnswer, "line lost"}, {V::NoAnswer, "line lost"}, {V::NoAnswer, "line lost"}}},
        {CheckVerdict::Refused, "Profile 1, Max Speed: 0 is below 1", {{V::Refused, "below 1"}}},
        {CheckVerdict::Error, "There in no unit connected!", {}},
        {CheckVerdict::Error,
         "1 of 3 values written",
         {{V::Match, ""}, {V::NotWritten, "cancelled"}, {V::NotWritten, "cancelled"}}}};
    std::vector<CheckReport> reports;
    for (const auto &seed : seeds) {
        CheckReport report = yieldSeed().front();
        const int n = int(reports.size()) + 1;
        report.id = QUuid(QStringLiteral("{00000000-0000-4000-9000-00000000000%1}").arg(n));
        report.serial = QStringLiteral("SN-U%1").arg(n);
        report.station = QStringLiteral("bench-3");
        report.started = QDateTime::fromString(
            QStringLiteral("2026-12-09T08:0%1:00.000+01:00").arg(n), Qt::ISODateWithMs);
        report.ended = report.started.addSecs(5);
        report.verdict = seed.verdict;
        report.problem = QString::fromLatin1(seed.problem);
        report.values.resize(seed.values.size());
        for (std::size_t i = 0; i < seed.values.size(); ++i) {
            CheckedValue &value = report.values[i];
            value.verdict = seed.values[i].first;
            value.problem = QString::fromLatin1(seed.values[i].second);
            if (value.verdict != V::Match && value.verdict != V::Differs)
                value.unitValue.reset();
            else if (value.verdict == V::Differs)
                value.unitValue = QStringLiteral("4");
        }
        reports.push_back(std::move(report));
    }
    return reports;
}

} // namespace ktv::test
