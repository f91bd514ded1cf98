#include "store/CheckResults.h"

#include "store/Journal.h"
#include "store/StoreConnection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <map>

namespace ktv {

namespace {

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

// ISO 8601 with its offset from UTC, as the bench's clock showed it.
QString timeText(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

CheckResults::CheckResults(const QString &journalPath, int busyMilliseconds)
    : path_(journalPath),
      busyMilliseconds_(busyMilliseconds < 0 ? Journal::BusyMilliseconds : busyMilliseconds)
{
}

bool CheckResults::record(const CheckReport &report, QString *problem)
{
    QString why;
    auto fail = [&](const QString &text) {
        if (problem)
            *problem = Journal::cannotWriteText(path_, text);
        return false;
    };
    const std::unique_ptr<StoreConnection> connection =
        Journal::openForWriting(path_, &why, busyMilliseconds_);
    if (!connection)
        return fail(why);
    QSqlDatabase db = connection->db();
    if (!db.transaction())
        return fail(db.lastError().text());
    QSqlQuery query(db);
    auto rollback = [&](const QString &text) {
        db.rollback();
        return fail(text);
    };
    query.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO checks (uuid, station, operator, model, revision, axis, baud, "
        "device, by_id, serial_number, sheet_name, sheet_sha256, loaded, started, ended, "
        "started_utc, verdict, problem, serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?)"));
    const CheckedUnit &unit = report.unit;
    for (const QVariant &value : QVariantList{
             report.id.toString(QUuid::WithoutBraces), report.station,
             textOrNull(report.operatorName), unit.unitModel, unit.revision, unit.axis, unit.baud,
             unit.device, textOrNull(unit.byId), textOrNull(unit.serialNumber), report.sheetName,
             report.sheetSha256, report.loaded ? 1 : 0, timeText(report.started),
             timeText(report.ended), report.started.toUTC().toString(Qt::ISODateWithMs),
             checkVerdictText(report.verdict), textOrNull(report.problem),
             textOrNull(report.serial)})
        query.addBindValue(value);
    if (!query.exec())
        return rollback(query.lastError().text());
    if (query.numRowsAffected() == 0) {
        db.rollback(); // recorded before: once is enough
        return true;
    }
    const QVariant checkId = query.lastInsertId();
    query.prepare(QStringLiteral(
        "INSERT INTO check_values (check_id, position, profile, key, caption, sheet_value, "
        "unit_value, verdict, problem) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    int position = 0;
    for (const CheckedValue &value : report.values) {
        query.addBindValue(checkId);
        query.addBindValue(position++);
        query.addBindValue(value.profile > 0 ? QVariant(value.profile) : QVariant());
        query.addBindValue(value.key);
        query.addBindValue(value.caption);
        query.addBindValue(value.sheetValue);
        query.addBindValue(value.unitValue ? QVariant(*value.unitValue) : QVariant());
        query.addBindValue(valueVerdictText(value.verdict));
        query.addBindValue(textOrNull(value.problem));
        if (!query.exec())
            return rollback(query.lastError().text());
    }
    if (!db.commit())
        return rollback(db.lastError().text());
    return true;
}

std::vector<CheckReport> CheckResults::list(const ResultsFilter &filter, QString *problem,
                                            QHash<QUuid, QDateTime> *sent) const
{
    QStringList where;
    QVariantList binds;
    if (!filter.station.isEmpty()) {
        where << QStringLiteral("station = ?");
        binds << filter.station;
    }
    if (!filter.unitModel.isEmpty()) {
        where << QStringLiteral("model = ? COLLATE NOCASE");
        binds << filter.unitModel;
    }
    if (filter.since.isValid()) {
        where << QStringLiteral("started_utc >= ?");
        binds << filter.since.toUTC().toString(Qt::ISODateWithMs);
    }
    if (filter.before.isValid()) {
        where << QStringLiteral("started_utc < ?");
        binds << filter.before.toUTC().toString(Qt::ISODateWithMs);
    }
    if (filter.failedOnly)
        where << QStringLiteral("verdict <> 'pass'");
    if (!filter.serial.isEmpty()) {
        where << QStringLiteral("serial = ?");
        binds << filter.serial;
    }
    if (filter.unsentOnly)
        where << QStringLiteral("sent IS NULL");
    QString order = QStringLiteral("started_utc DESC, id DESC");
    if (filter.limit > 0)
        order += QStringLiteral(" LIMIT %1 OFFSET %2").arg(filter.limit).arg(filter.offset);
    return select(where, binds, order, problem, sent);
}

std::vector<CheckReport> CheckResults::waiting(QString *problem) const
{
    return select({QStringLiteral("sent IS NULL")}, {}, QStringLiteral("started_utc, id"), problem);
}

bool CheckResults::markSent(const QUuid &id, QString *problem)
{
    QString why;
    const std::unique_ptr<StoreConnection> connection =
        Journal::openForWriting(path_, &why, busyMilliseconds_);
    bool marked = false;
    if (connection) {
        QSqlQuery query(connection->db());
        query.prepare(QStringLiteral("UPDATE checks SET sent = ? WHERE uuid = ? AND sent IS NULL"));
        query.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        query.addBindValue(id.toString(QUuid::WithoutBraces));
        marked = query.exec();
        if (!marked)
            why = query.lastError().text();
    }
    if (!marked && problem)
        *problem = Journal::cannotWriteText(path_, why);
    return marked;
}

std::vector<CheckReport> CheckResults::select(const QStringList &where, const QVariantList &binds,
                                              const QString &order, QString *problem,
                                              QHash<QUuid, QDateTime> *sent) const
{
    std::vector<CheckReport> reports;
    if (!QFileInfo::exists(path_))
        return reports;
    auto fail = [&](const QString &why) {
        if (problem)
            *problem = Journal::cannotReadText(path_, why);
        return std::vector<CheckReport>();
    };
    int version = 0;
    QString why;
    const std::unique_ptr<StoreConnection> connection =
        Journal::openForReading(path_, &version, &why);
    if (!connection)
        return fail(why);
    if (version < 2)
        return reports; // no check recorded yet
    if (version < 3 && where.contains(QStringLiteral("serial = ?")))
        return reports; // no serial number recorded yet
    QSqlQuery query(connection->db());

    const QString whereClause =
        where.isEmpty() ? QString()
                        : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    query.prepare(QStringLiteral("SELECT id, uuid, station, operator, model, revision, axis, baud, "
                                 "device, by_id, serial_number, sheet_name, sheet_sha256, loaded, "
                                 "started, ended, verdict, problem, %1, sent FROM checks")
                      .arg(version >= 3 ? QStringLiteral("serial") : QStringLiteral("NULL")) +
                  whereClause + QStringLiteral(" ORDER BY ") + order);
    for (const QVariant &bind : binds)
        query.addBindValue(bind);
    if (!query.exec())
        return fail(query.lastError().text());
    std::map<qint64, std::size_t> byId;
    while (query.next()) {
        CheckReport report;
        auto text = [&query](int column) { return query.value(column).toString(); };
        report.id = QUuid(text(1));
        report.station = text(2);
        report.operatorName = text(3);
        report.unit = {text(4), text(5), query.value(6).toInt(), query.value(7).toInt(), text(8),
                       text(9), text(10)};
        report.sheetName = text(11);
        report.sheetSha256 = text(12);
        report.loaded = query.value(13).toInt() != 0;
        report.started = QDateTime::fromString(text(14), Qt::ISODateWithMs);
        report.ended = QDateTime::fromString(text(15), Qt::ISODateWithMs);
        report.verdict = checkVerdictFromText(text(16));
        report.problem = text(17);
        report.serial = text(18);
        if (sent && !query.isNull(19))
            sent->insert(report.id, QDateTime::fromString(text(19), Qt::ISODateWithMs));
        byId.emplace(query.value(0).toLongLong(), reports.size());
        reports.push_back(std::move(report));
    }
    if (reports.empty())
        return reports;
    query.prepare(QStringLiteral("SELECT check_id, profile, key, caption, sheet_value, "
                                 "unit_value, verdict, problem FROM check_values WHERE check_id IN "
                                 "(SELECT id FROM checks") +
                  whereClause + QStringLiteral(" ORDER BY ") + order +
                  QStringLiteral(") ORDER BY check_id, position"));
    for (const QVariant &bind : binds)
        query.addBindValue(bind);
    if (!query.exec())
        return fail(query.lastError().text());
    while (query.next()) {
        const auto it = byId.find(query.value(0).toLongLong());
        if (it == byId.end())
            continue;
        const QVariant unitValue = query.value(5);
        reports[it->second].values.push_back(
            {query.value(1).toInt(), query.value(2).toString(), query.value(3).toString(),
             query.value(4).toString(),
             unitValue.isNull() ? std::nullopt : std::optional<QString>(unitValue.toString()),
             valueVerdictFromText(query.value(6).toString()), query.value(7).toString()});
    }
    return reports;
}

} // namespace ktv
