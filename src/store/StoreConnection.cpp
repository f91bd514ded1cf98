#include "store/StoreConnection.h"

#include <QSqlError>
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

} // namespace ktv
