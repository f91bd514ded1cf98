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
        history.problem = QStringLiteral("The change journal %1 cannot be read: %2").arg(path, why);
        return history;
    };
    const StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
    if (!connection.opened())
        return fail(connection.error());
    QSqlQuery query(connection.db());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return fail(query.lastError().text());
    const int version = query.value(0).toInt();
    if (version == 0)
        return history; // made, but no row written yet
    if (version > Journal::SchemaVersion)
        return fail(QStringLiteral("it was made by a newer program (schema %1).").arg(version));
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
