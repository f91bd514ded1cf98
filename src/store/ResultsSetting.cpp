#include "store/ResultsSetting.h"

#include "store/ResultsServer.h"
#include "store/StoreConnection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ktv {

StoredResultsSetting readResultsSetting(const QString &storePath)
{
    StoredResultsSetting stored;
    if (!QFileInfo::exists(storePath)) {
        stored.problem = QStringLiteral("The configuration file %1 is missing.").arg(storePath);
        return stored;
    }
    StoreConnection connection(storePath, StoreConnection::Mode::ReadOnly);
    QSqlQuery query(connection.db());
    if (!connection.opened() ||
        !query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                   "AND name = 'Results Database'")) ||
        !query.next()) {
        stored.problem = QStringLiteral("The configuration file %1 cannot be read: %2")
                             .arg(storePath, connection.opened() ? query.lastError().text()
                                                                 : connection.error());
        return stored;
    }
    if (query.value(0).toInt() == 0)
        return stored;
    if (!query.exec(QStringLiteral("SELECT Setting FROM \"Results Database\" WHERE ID = 1"))) {
        stored.problem = QStringLiteral("The configuration file %1 cannot be read: %2")
                             .arg(storePath, query.lastError().text());
        return stored;
    }
    if (query.next())
        stored.setting = query.value(0).toString();
    return stored;
}

bool writeResultsSetting(const QString &storePath, const QString &setting, QString *problem)
{
    const QString trimmed = setting.trimmed();
    if (!trimmed.isEmpty()) {
        const ConnectionSetting parsed = parseConnectionSetting(trimmed);
        if (!parsed.problem.isEmpty()) {
            if (problem)
                *problem = parsed.problem;
            return false;
        }
    }
    return writeStoreTable(
        storePath,
        [&](QSqlQuery &query) {
            if (!query.exec(QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS \"Results Database\" (ID INTEGER PRIMARY KEY "
                    "CHECK (ID = 1), Setting TEXT NOT NULL)")))
                return false;
            if (trimmed.isEmpty())
                return query.exec(QStringLiteral("DELETE FROM \"Results Database\""));
            query.prepare(QStringLiteral(
                "INSERT OR REPLACE INTO \"Results Database\" (ID, Setting) VALUES (1, ?)"));
            query.addBindValue(trimmed);
            return query.exec();
        },
        problem);
}

} // namespace ktv
