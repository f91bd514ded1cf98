#include "store/ConfigStore.h"

#include "store/StoreConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>
#include <optional>

namespace ktv {

namespace {

QString firstRecordQuery()
{
    return QStringLiteral("SELECT * FROM \"Main Table\" ORDER BY rowid LIMIT 1");
}

} // namespace

StoredConfiguration readConfiguration(const QString &path)
{
    StoredConfiguration result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.problem = QStringLiteral("The configuration file %1 is missing.").arg(path);
        return result;
    }
    StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
    if (!connection.opened()) {
        result.problem = QStringLiteral("The configuration file %1 cannot be opened: %2")
                             .arg(path, connection.error());
        return result;
    }
    QSqlQuery query(connection.db());
    if (!query.exec(firstRecordQuery())) {
        result.problem = QStringLiteral("The configuration file %1 cannot be read: %2")
                             .arg(path, query.lastError().text());
        return result;
    }
    if (!query.next()) {
        result.problem =
            QStringLiteral("The configuration file %1 has no record in \"Main Table\".").arg(path);
        return result;
    }
    if (query.record().count() < 3) {
        result.problem =
            QStringLiteral(
                "The configuration file %1 has fewer than three fields in \"Main Table\".")
                .arg(path);
        return result;
    }
    bool ok = false;
    const QVariant field = query.value(2);
    const int port = field.toString().trimmed().toInt(&ok);
    if (!ok || field.isNull()) {
        result.problem = QStringLiteral("The configuration file %1 holds \"%2\" as the COM port "
                                        "number, which is not a number.")
                             .arg(path, field.toString());
        return result;
    }
    result.comPort = port;

    // The port map is optional; a store without it uses the platform names.
    QSqlQuery map(connection.db());
    if (map.exec(QStringLiteral("SELECT Port, Device FROM \"Port Map\""))) {
        while (map.next())
            result.portMap.insert(map.value(0).toInt(), map.value(1).toString());
    }
    return result;
}

namespace {

// Runs one change of the store in a transaction: work returns what went
// wrong, or nothing; on any failure the store is left as it was.
bool changeStore(const QString &path, QString *problem,
                 const std::function<std::optional<QString>(QSqlDatabase &)> &work)
{
    auto fail = [&](const QString &why) {
        if (problem)
            *problem = why;
        return false;
    };
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("the file does not exist"));
    StoreConnection connection(path, StoreConnection::Mode::ReadWrite);
    if (!connection.opened())
        return fail(connection.error());
    QSqlDatabase db = connection.db();
    if (!db.transaction())
        return fail(db.lastError().text());
    if (const std::optional<QString> why = work(db)) {
        db.rollback();
        return fail(*why);
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        return fail(why);
    }
    return true;
}

} // namespace

StoreUpgrade upgradeStore(const QString &path, QString *problem)
{
    auto leave = [&](const QString &why) {
        if (problem)
            *problem = why;
        return StoreUpgrade::LeftAsItIs;
    };
    int version = -1;
    {
        StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
        if (!QFileInfo::exists(path) || !connection.opened())
            return leave(QStringLiteral("the store cannot be opened"));
        QSqlQuery query(connection.db());
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
            return leave(query.lastError().text());
        version = query.value(0).toInt();
    }
    if (version >= StoreSchemaVersion)
        return StoreUpgrade::Current;
    // Root may write any file; a store the user marked read-only stays so.
    if (!(QFile::permissions(path) & QFileDevice::WriteOwner))
        return leave(QStringLiteral("the store is read-only"));
    QString why;
    const bool upgraded = changeStore(path, &why, [](QSqlDatabase &db) -> std::optional<QString> {
        // Every step is written so that it may meet a store that already
        // has what it adds (a table made by hand, say).
        const char *const steps[] = {
            "CREATE TABLE IF NOT EXISTS \"Port Map\" (Port INTEGER PRIMARY KEY, Device "
            "TEXT NOT NULL)",
        };
        QSqlQuery query(db);
        for (const char *step : steps) {
            if (!query.exec(QString::fromLatin1(step)))
                return query.lastError().text();
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(StoreSchemaVersion)))
            return query.lastError().text();
        return std::nullopt;
    });
    return upgraded ? StoreUpgrade::Upgraded : leave(why);
}

bool writeComPort(const QString &path, int comPort, QString *problem)
{
    return changeStore(path, problem, [comPort](QSqlDatabase &db) -> std::optional<QString> {
        QSqlQuery select(db);
        if (!select.exec(
                QStringLiteral("SELECT rowid, * FROM \"Main Table\" ORDER BY rowid LIMIT 1")) ||
            !select.next())
            return select.lastError().isValid() ? select.lastError().text()
                                                : QStringLiteral("\"Main Table\" has no record");
        // The third field of the record, by position: column 3 of "rowid, *".
        const qint64 rowid = select.value(0).toLongLong();
        const QString column = select.record().fieldName(3);
        select.finish();
        QSqlQuery update(db);
        update.prepare(QStringLiteral("UPDATE \"Main Table\" SET \"%1\" = ? WHERE rowid = ?")
                           .arg(QString(column).replace(QLatin1Char('"'), QStringLiteral("\"\""))));
        update.addBindValue(comPort);
        update.addBindValue(rowid);
        if (!update.exec() || update.numRowsAffected() != 1) {
            const QString why = update.lastError().text();
            return why.isEmpty() ? QStringLiteral("the record was not changed") : why;
        }
        return std::nullopt;
    });
}

bool writePortMapEntry(const QString &path, int comPort, const QString &device, QString *problem)
{
    return changeStore(path, problem, [&](QSqlDatabase &db) -> std::optional<QString> {
        QSqlQuery create(db);
        if (!create.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS \"Port Map\" (Port "
                                        "INTEGER PRIMARY KEY, Device TEXT NOT NULL)")))
            return create.lastError().text();
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT OR REPLACE INTO \"Port Map\" (Port, Device) VALUES (?, ?)"));
        insert.addBindValue(comPort);
        insert.addBindValue(device);
        if (!insert.exec())
            return insert.lastError().text();
        return std::nullopt;
    });
}

bool removePortMapEntry(const QString &path, int comPort, QString *problem)
{
    return changeStore(path, problem, [comPort](QSqlDatabase &db) -> std::optional<QString> {
        QSqlQuery exists(db);
        if (!exists.exec(QStringLiteral(
                "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'Port Map'")) ||
            !exists.next())
            return exists.lastError().text();
        if (exists.value(0).toInt() == 0)
            return std::nullopt;
        exists.finish();
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM \"Port Map\" WHERE Port = ?"));
        remove.addBindValue(comPort);
        if (!remove.exec())
            return remove.lastError().text();
        return std::nullopt;
    });
}

} // namespace ktv
