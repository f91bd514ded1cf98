#include "store/SerialSetting.h"

#include "store/StoreConnection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ktv {

StoredSerialSetting readSerialSetting(const QString &storePath)
{
    StoredSerialSetting stored;
    if (!QFileInfo::exists(storePath))
        return stored;
    StoreConnection connection(storePath, StoreConnection::Mode::ReadOnly);
    if (!connection.opened())
        return stored;
    QSqlQuery query(connection.db());
    // No table yet: nothing asked.
    if (query.exec(QStringLiteral("SELECT Ask, Pattern FROM \"Serial Number\" WHERE ID = 1")) &&
        query.next()) {
        stored.ask = query.value(0).toInt() != 0;
        stored.pattern = query.value(1).toString();
    }
    return stored;
}

bool writeSerialSetting(const QString &storePath, const StoredSerialSetting &setting,
                        QString *problem)
{
    return writeStoreTable(
        storePath,
        [&](QSqlQuery &query) {
            if (!query.exec(QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS \"Serial Number\" (ID INTEGER PRIMARY KEY CHECK "
                    "(ID = 1), Ask INTEGER NOT NULL, Pattern TEXT NOT NULL)")))
                return false;
            query.prepare(QStringLiteral(
                "INSERT OR REPLACE INTO \"Serial Number\" (ID, Ask, Pattern) VALUES (1, ?, ?)"));
            query.addBindValue(setting.ask ? 1 : 0);
            query.addBindValue(setting.pattern);
            return query.exec();
        },
        problem);
}

} // namespace ktv
