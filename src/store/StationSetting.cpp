#include "store/StationSetting.h"

#include "store/StoreConnection.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

namespace ktv {

std::optional<StoredStationSetting> readStationSetting(const QString &storePath)
{
    if (!QFileInfo::exists(storePath))
        return std::nullopt;
    StoreConnection connection(storePath, StoreConnection::Mode::ReadOnly);
    if (!connection.opened())
        return std::nullopt;
    QSqlQuery query(connection.db());
    if (!query.exec(QStringLiteral("SELECT Sheet, Station, Ports, Baud, Pace, Example FROM "
                                   "\"Station\" WHERE ID = 1")) ||
        !query.next())
        return std::nullopt;
    return StoredStationSetting{query.value(0).toString(), query.value(1).toString(),
                                query.value(2).toString(), query.value(3).toInt(),
                                query.value(4).toInt(),    query.value(5).toString()};
}

bool writeStationSetting(const QString &storePath, const StoredStationSetting &setting,
                         QString *problem)
{
    return writeStoreTable(
        storePath,
        [&](QSqlQuery &query) {
            if (!query.exec(QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS \"Station\" (ID INTEGER PRIMARY KEY CHECK (ID = "
                    "1), Sheet TEXT NOT NULL, Station TEXT NOT NULL, Ports TEXT NOT NULL, Baud "
                    "INTEGER NOT NULL, Pace INTEGER NOT NULL, Example TEXT NOT NULL)")))
                return false;
            query.prepare(QStringLiteral(
                "INSERT OR REPLACE INTO \"Station\" (ID, Sheet, Station, Ports, Baud, Pace, "
                "Example) VALUES (1, ?, ?, ?, ?, ?, ?)"));
            for (const QVariant &value :
                 {QVariant(setting.sheet), QVariant(setting.station), QVariant(setting.ports),
                  QVariant(setting.baud), QVariant(setting.pace), QVariant(setting.serialExample)})
                query.addBindValue(value);
            return query.exec();
        },
        problem);
}

} // namespace ktv
