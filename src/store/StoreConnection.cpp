#include "store/StoreConnection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace ktv {

StoreConnection::StoreConnection(const QString &path, Mode mode, int busyMilliseconds)
    : name_(QStringLiteral("ktv-store-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds);
    if (mode == Mode::ReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    opened_ = db.open();
    if (!opened_)
        error_ = db.lastError().text();
}

StoreConnection::~StoreConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase StoreConnection::db() const
{
    return QSqlDatabase::database(name_, false);
}

bool writeStoreTable(const QString &storePath, const std::function<bool(QSqlQuery &)> &work,
                     QString *problem)
{
    auto fail = [&](const QString &text) {
        if (problem)
            *problem = text;
        return false;
    };
    if (!QFileInfo::exists(storePath))
        return fail(QStringLiteral("The configuration file %1 is missing.").arg(storePath));
    const QString cannot = QStringLiteral("The configuration file %1 cannot be written: %2");
    StoreConnection connection(storePath, StoreConnection::Mode::ReadWrite);
    if (!connection.opened())
        return fail(cannot.arg(storePath, connection.error()));
    QString why;
    // The handles end inside, before the connection does.
    const bool written = [&] {
        QSqlDatabase db = connection.db();
        QSqlQuery query(db);
        const bool done = db.transaction() && work(query) && db.commit();
        if (!done) {
            why = query.lastError().isValid() ? query.lastError().text() : db.lastError().text();
            db.rollback();
        }
        return done;
    }();
    return written || fail(cannot.arg(storePath, why));
}

} // namespace ktv
