#include "store/StoreLocation.h"

#include "store/ConfigStore.h"
#include "store/StoreConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace ktv {

namespace {

const QString StoreFileName = QStringLiteral("config.qdr");

// A copied store must be writable by its owner even when its source (an
// installed file, say) was not.
bool makeOwnerWritable(const QString &path)
{
    return QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOwner |
                                           QFileDevice::WriteOwner);
}

// Copies through a temporary file in the target folder (QFile::copy), so an
// interrupted first run never leaves half a store behind.
bool copyStore(const QString &from, const QString &to)
{
    return QFile::copy(from, to) && makeOwnerWritable(to);
}

} // namespace

bool canWriteStore(const QString &path)
{
    const QFileInfo info(path);
    QTemporaryFile probe(QDir(info.absolutePath()).filePath(QStringLiteral(".ktraveld-XXXXXX")));
    if (!probe.open())
        return false;
    probe.close();
    QFile file(path);
    return file.open(QIODevice::ReadWrite); // neither truncates nor writes
}

bool createFreshStore(const QString &path, QString *problem)
{
    // Built under another name and renamed, so a failure leaves no store.
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    QString why;
    {
        StoreConnection store(partial, StoreConnection::Mode::ReadWrite);
        if (!store.opened()) {
            why = store.error();
        } else {
            QSqlQuery query(store.db());
            const QString statements[] = {
                QStringLiteral("CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name "
                               "TEXT, ComPort INTEGER)"),
                QStringLiteral("INSERT INTO \"Main Table\" VALUES (1, 'Setup', 1)"),
                QStringLiteral("CREATE TABLE \"Port Map\" (Port INTEGER PRIMARY KEY, Device "
                               "TEXT NOT NULL)"),
                QStringLiteral("PRAGMA user_version = %1").arg(StoreSchemaVersion)};
            for (const QString &statement : statements) {
                if (!query.exec(statement)) {
                    why = query.lastError().text();
                    break;
                }
            }
        }
    }
    if (why.isEmpty() && !QFile::rename(partial, path))
        why = QStringLiteral("%1 cannot be renamed to %2").arg(partial, path);
    if (why.isEmpty())
        return true;
    QFile::remove(partial);
    if (problem)
        *problem = why;
    return false;
}

StoreLocation resolveStoreLocation(const QString &programDir, const QString &userConfigDir,
                                   const QString &packagedDefault,
                                   const StoreWritableCheck &writable)
{
    StoreLocation result{QDir(userConfigDir).filePath(StoreFileName), {}, {}};
    // Made on an earlier run: it is the store from then on, never overwritten
    // and never passed over. A portable copy whose card is read-only on some
    // runs would otherwise switch between two stores with different settings.
    if (QFileInfo::exists(result.path))
        return result;

    const QString beside = QDir(programDir).filePath(StoreFileName);
    const bool besideExists = QFileInfo(beside).isFile();
    if (besideExists && writable(beside))
        return {beside, {}, {}};

    if (!QDir().mkpath(userConfigDir)) {
        result.problem =
            QStringLiteral("The folder %1 for the configuration store cannot be created.")
                .arg(userConfigDir);
        return result;
    }
    if (besideExists) {
        if (copyStore(beside, result.path)) {
            result.notice =
                QStringLiteral("The configuration store beside the program (%1) cannot be "
                               "written, so it was copied to %2, where your settings are kept "
                               "from now on, also when %1 can be written again.")
                    .arg(beside, result.path);
        } else {
            result.problem = QStringLiteral("The configuration store beside the program (%1) "
                                            "cannot be written, and copying it to %2 failed.")
                                 .arg(beside, result.path);
        }
        return result;
    }
    if (QFileInfo(packagedDefault).isFile()) {
        if (!copyStore(packagedDefault, result.path))
            result.problem =
                QStringLiteral("The default configuration store %1 cannot be copied to %2.")
                    .arg(packagedDefault, result.path);
        return result;
    }
    QString why;
    if (!createFreshStore(result.path, &why))
        result.problem = QStringLiteral("The configuration store %1 cannot be created: %2")
                             .arg(result.path, why);
    return result;
}

StoreLocation locateStore()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString packagedDefault = QDir::cleanPath(
        QDir(programDir).filePath(QStringLiteral("../share/ktraveld/") + StoreFileName));
    StoreLocation location = resolveStoreLocation(
        programDir, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
        packagedDefault);
    // A store made by an older version gains what this one reads (the
    // "Port Map" the commands of docs/operator.md fill in); one that cannot be written
    // is still read as it is.
    if (location.problem.isEmpty())
        upgradeStore(location.path);
    return location;
}

} // namespace ktv
