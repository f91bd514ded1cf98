#include "store/JournalHistory.h"

#include "store/Journal.h"
#include "store/StoreConnection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ktv {

JournalHistory readJournal(const QString &path, const QString &unitModel)
{
    JournalHistory history;
    if (!QFileInfo::exists(path))
        return history;
    auto fail = [&](const QString &why) {
        history.rows.clear();
        history.problem = Journal::cannotReadText(path, why);
        return history;
    };
    int version = 0;
    QString why;
    const std::unique_ptr<StoreConnection> connection =
        Journal::openForReading(path, &version, &why);
    if (!connection)
        return fail(why);
    if (version == 0)
        return history; // made, but no row written yet
    QSqlQuery query(connection->db());
    query.prepare(
        QStringLiteral("SELECT time, model, revision, axis, field, profile, value, "
                       "line, before, after, verdict FROM changes") +
        (unitModel.isEmpty() ? QString() : QStringLiteral(" WHERE model = ? COLLATE NOCASE")) +
        QStringLiteral(" ORDER BY time DESC, id DESC"));
    if (!unitModel.isEmpty())
        query.addBindValue(unitModel);
    if (!query.exec())
        return fail(query.lastError().text());
    auto optional = [](const QVariant &value) {
        return value.isNull() ? std::nullopt : std::optional<QString>(value.toString());
    };
    while (query.next())
        history.rows.push_back(
            {query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
             query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
             query.value(6).toString(), query.value(7).toString(), optional(query.value(8)),
             optional(query.value(9)), query.value(10).toString()});
    return history;
}

} // namespace ktv
