// The results server's reads: the checks newest first, a page at a time,
// and the yield views (ResultsServer.h).

#include "store/ResultsServerInternal.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace ktv {

using results::isoText;
using results::statementError;

namespace {

// The WHERE clause of a filter over "checks" (aliased c) and its values.
QString whereClause(const ResultsFilter &filter, QVariantList *values)
{
    QStringList terms;
    if (!filter.station.isEmpty()) {
        terms << QStringLiteral("c.station = ?");
        *values << filter.station;
    }
    if (!filter.unitModel.isEmpty()) {
        terms << QStringLiteral("lower(c.unit_model) = lower(?)");
        *values << filter.unitModel;
    }
    if (filter.since.isValid()) {
        terms << QStringLiteral("c.started >= CAST(? AS timestamptz)");
        *values << isoText(filter.since);
    }
    if (filter.before.isValid()) {
        terms << QStringLiteral("c.started < CAST(? AS timestamptz)");
        *values << isoText(filter.before);
    }
    if (filter.failedOnly)
        terms << QStringLiteral("c.verdict <> 'pass'");
    if (!filter.serial.isEmpty()) {
        terms << QStringLiteral("c.serial = ?");
        *values << filter.serial;
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QLatin1String(" AND "));
}

// The WHERE clause over a yield view's station, day and unit_model.
QString viewWhereClause(const ResultsFilter &filter, QVariantList *values)
{
    QStringList terms;
    if (!filter.station.isEmpty()) {
        terms << QStringLiteral("station = ?");
        *values << filter.station;
    }
    if (!filter.unitModel.isEmpty()) {
        terms << QStringLiteral("lower(unit_model) = lower(?)");
        *values << filter.unitModel;
    }
    if (filter.since.isValid()) {
        terms << QStringLiteral("day >= CAST(? AS date)");
        *values << filter.since.date().toString(Qt::ISODate);
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QLatin1String(" AND "));
}

} // namespace

std::optional<std::vector<CheckReport>> ResultsServer::list(const ResultsFilter &filter,
                                                            QString *problem,
                                                            QHash<QUuid, QDateTime> *received)
{
    return again([&] { return listOnce(filter, problem, received); });
}

std::optional<std::vector<CheckReport>> ResultsServer::listOnce(const ResultsFilter &filter,
                                                                QString *problem,
                                                                QHash<QUuid, QDateTime> *received)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    auto result = [&]() -> std::optional<std::vector<CheckReport>> {
        QSqlDatabase db = connection_->db();
        QVariantList values;
        const QString where = whereClause(filter, &values);
        const QString page =
            filter.limit > 0
                ? QStringLiteral(" LIMIT %1 OFFSET %2").arg(filter.limit).arg(filter.offset)
                : QString();
        QSqlQuery query(db);
        auto fail = [&] {
            if (problem)
                *problem =
                    failure(QStringLiteral("cannot be read"), statementError(query.lastError()));
            return std::nullopt;
        };
        query.setForwardOnly(true);
        const bool prepared = query.prepare(
            QStringLiteral(
                "SELECT c.uuid, c.station, c.operator, c.unit_model, c.revision, c.axis, "
                "c.baud, c.device, c.by_id, c.serial_number, c.sheet_name, c.sheet_sha256, "
                "c.loaded, CAST(round(extract(epoch FROM c.started) * 1000) AS bigint), "
                "CAST(round(extract(epoch FROM c.ended) * 1000) AS bigint), c.utc_offset, "
                "c.verdict, c.problem, c.serial, "
                "CAST(round(extract(epoch FROM c.received) * 1000) AS bigint) FROM checks c") +
            where + QStringLiteral(" ORDER BY c.started DESC, c.uuid") + page);
        if (!prepared)
            return fail();
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return fail();
        std::vector<CheckReport> reports;
        QHash<QUuid, size_t> at;
        while (query.next()) {
            CheckReport report;
            report.id = QUuid::fromString(query.value(0).toString());
            report.station = query.value(1).toString();
            report.operatorName = query.value(2).toString();
            report.unit.unitModel = query.value(3).toString();
            report.unit.revision = query.value(4).toString();
            report.unit.axis = query.value(5).toInt();
            report.unit.baud = query.value(6).toInt();
            report.unit.device = query.value(7).toString();
            report.unit.byId = query.value(8).toString();
            report.unit.serialNumber = query.value(9).toString();
            report.sheetName = query.value(10).toString();
            report.sheetSha256 = query.value(11).toString();
            report.loaded = query.value(12).toBool();
            const int offset = query.value(15).toInt();
            report.started = QDateTime::fromMSecsSinceEpoch(query.value(13).toLongLong(),
                                                            Qt::OffsetFromUTC, offset);
            report.ended = QDateTime::fromMSecsSinceEpoch(query.value(14).toLongLong(),
                                                          Qt::OffsetFromUTC, offset);
            report.verdict = checkVerdictFromText(query.value(16).toString());
            report.problem = query.value(17).toString();
            report.serial = query.value(18).toString();
            if (received)
                received->insert(report.id,
                                 QDateTime::fromMSecsSinceEpoch(query.value(19).toLongLong()));
            at.insert(report.id, reports.size());
            reports.push_back(std::move(report));
        }
        const bool valuesPrepared =
            query.prepare(QStringLiteral("SELECT v.check_uuid, v.profile, v.field, v.caption, "
                                         "v.sheet_value, v.unit_value, v.verdict, v.problem FROM "
                                         "check_values v WHERE v.check_uuid IN (SELECT c.uuid FROM "
                                         "checks c") +
                          where + QStringLiteral(" ORDER BY c.started DESC, c.uuid") + page +
                          QStringLiteral(") ORDER BY v.check_uuid, v.position"));
        if (!valuesPrepared)
            return fail();
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return fail();
        while (query.next()) {
            const auto found = at.constFind(QUuid::fromString(query.value(0).toString()));
            if (found == at.constEnd())
                continue; // a check that arrived between the two reads
            CheckedValue value;
            value.profile = query.value(1).toInt();
            value.key = query.value(2).toString();
            value.caption = query.value(3).toString();
            value.sheetValue = query.value(4).toString();
            if (!query.isNull(5))
                value.unitValue = query.value(5).toString();
            value.verdict = valueVerdictFromText(query.value(6).toString());
            value.problem = query.value(7).toString();
            reports[*found].values.push_back(std::move(value));
        }
        return reports;
    }();
    if (!result)
        drop(); // the next call connects afresh
    return result;
}

std::optional<std::vector<StationYield>> ResultsServer::yield(const ResultsFilter &filter,
                                                              QString *problem)
{
    return again([&] { return yieldOnce(filter, problem); });
}

std::optional<std::vector<StationYield>> ResultsServer::yieldOnce(const ResultsFilter &filter,
                                                                  QString *problem)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    auto result = [&]() -> std::optional<std::vector<StationYield>> {
        QVariantList values;
        const QString where = whereClause(filter, &values);
        QSqlQuery query(connection_->db());
        query.setForwardOnly(true);
        const bool prepared = query.prepare(
            QStringLiteral("SELECT c.station, CAST(CAST((c.started AT TIME ZONE 'UTC') + "
                           "c.utc_offset * interval '1 second' AS date) AS text) AS day, "
                           "count(*) FILTER (WHERE c.verdict = 'pass'), count(*) "
                           "FROM checks c") +
            where + QStringLiteral(" GROUP BY c.station, day ORDER BY day DESC, c.station"));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!prepared || !query.exec()) {
            if (problem)
                *problem =
                    failure(QStringLiteral("cannot be read"), statementError(query.lastError()));
            return std::nullopt;
        }
        std::vector<StationYield> yields;
        while (query.next())
            yields.push_back({query.value(0).toString(),
                              QDate::fromString(query.value(1).toString(), Qt::ISODate),
                              query.value(2).toInt(), query.value(3).toInt()});
        return yields;
    }();
    if (!result)
        drop();
    return result;
}

template <typename Row>
std::optional<std::vector<Row>>
ResultsServer::readView(const QString &select, const ResultsFilter &filter, const QString &order,
                        Row (*rowOf)(const QSqlQuery &), QString *problem, const QString &group)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    QVariantList values;
    QSqlQuery query(connection_->db());
    query.setForwardOnly(true);
    const bool prepared = query.prepare(select + viewWhereClause(filter, &values) + group +
                                        QStringLiteral(" ORDER BY ") + order);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!prepared || !query.exec()) {
        if (problem)
            *problem = failure(QStringLiteral("cannot be read"), statementError(query.lastError()));
        drop();
        return std::nullopt;
    }
    std::vector<Row> rows;
    while (query.next())
        rows.push_back(rowOf(query));
    return rows;
}

std::optional<std::vector<YieldFigures>> ResultsServer::yieldFigures(const ResultsFilter &filter,
                                                                     QString *problem)
{
    return again([&] {
        return readView<YieldFigures>(
            QStringLiteral("SELECT station, CAST(day AS text), unit_model, units, first_pass, "
                           "final_pass, checks FROM yield_per_station_day"),
            filter, QStringLiteral("day, station COLLATE \"C\", unit_model COLLATE \"C\""),
            [](const QSqlQuery &query) {
                return YieldFigures{query.value(0).toString(),
                                    QDate::fromString(query.value(1).toString(), Qt::ISODate),
                                    query.value(2).toString(),
                                    query.value(3).toInt(),
                                    query.value(4).toInt(),
                                    query.value(5).toInt(),
                                    query.value(6).toInt()};
            },
            problem);
    });
}

std::optional<std::vector<FieldFailures>> ResultsServer::fieldFailures(const ResultsFilter &filter,
                                                                       QString *problem)
{
    return again([&] {
        return readView<FieldFailures>(
            QStringLiteral("SELECT station, CAST(day AS text), unit_model, name, failures, "
                           "field = '' FROM failing_fields"),
            filter,
            QStringLiteral(
                "day, station COLLATE \"C\", unit_model COLLATE \"C\", name COLLATE \"C\""),
            [](const QSqlQuery &query) {
                return FieldFailures{query.value(0).toString(),
                                     QDate::fromString(query.value(1).toString(), Qt::ISODate),
                                     query.value(2).toString(),
                                     query.value(3).toString(),
                                     query.value(4).toInt(),
                                     query.value(5).toBool()};
            },
            problem);
    });
}

std::optional<std::vector<HourCount>> ResultsServer::checksPerHour(const ResultsFilter &filter,
                                                                   QString *problem)
{
    auto hours = again([&] {
        return readView<HourCount>(
            QStringLiteral("SELECT CAST(day AS text), hour, CAST(sum(passed) AS bigint), "
                           "CAST(sum(other) AS bigint) FROM checks_per_hour"),
            filter, QStringLiteral("day, hour"),
            [](const QSqlQuery &query) {
                return HourCount{QDate::fromString(query.value(0).toString(), Qt::ISODate),
                                 query.value(1).toInt(), query.value(2).toInt(),
                                 query.value(3).toInt()};
            },
            problem, QStringLiteral(" GROUP BY day, hour"));
    });
    if (hours && filter.failedOnly)
        for (HourCount &hour : *hours)
            hour.passed = 0;
    return hours;
}

} // namespace ktv
