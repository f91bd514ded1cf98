#include "store/Journal.h"

#include "store/StoreConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <iterator>

namespace ktv {

namespace {

QVariant optionalText(const std::optional<QString> &text)
{
    return text ? QVariant(*text) : QVariant();
}

} // namespace

QString journalVerdictText(JournalVerdict verdict)
{
    switch (verdict) {
    case JournalVerdict::Confirmed:
        return QStringLiteral("confirmed");
    case JournalVerdict::NotHeld:
        return QStringLiteral("not held");
    case JournalVerdict::NotReadBack:
        return QStringLiteral("not read back");
    }
    return {};
}

QString Journal::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("journal.sqlite"));
}

QString Journal::lineText(const QByteArray &line)
{
    QString text;
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            text += QLatin1String("\\r");
        else if (u < 0x20 || u > 0x7E)
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString Journal::cannotWriteText(const QString &path, const QString &why)
{
    return QStringLiteral("The change journal %1 cannot be written: %2").arg(path, why);
}

QString Journal::cannotReadText(const QString &path, const QString &why)
{
    return QStringLiteral("The change journal %1 cannot be read: %2").arg(path, why);
}

Journal::Journal(const QString &path, int busyMilliseconds)
    : path_(path), busyMilliseconds_(busyMilliseconds)
{
}

Journal::~Journal() = default;

namespace {

// The schema steps, oldest first: step n takes a journal of schema n-1 to n.
const char *const SchemaSteps[][3] = {
    {"CREATE TABLE IF NOT EXISTS changes ("
     "id INTEGER PRIMARY KEY, time TEXT NOT NULL, model TEXT, "
     "revision TEXT, axis TEXT, field TEXT NOT NULL, profile TEXT, "
     "value TEXT NOT NULL, line TEXT NOT NULL, before TEXT, "
     "after TEXT, verdict TEXT NOT NULL)",
     nullptr, nullptr},
    // The checks and their values. "sent" is when the shared results
    // server took the check (null until then), for an outbox to find what
    // has not gone yet.
    {"CREATE TABLE IF NOT EXISTS checks ("
     "id INTEGER PRIMARY KEY, uuid TEXT NOT NULL UNIQUE, station TEXT NOT NULL, "
     "operator TEXT, model TEXT NOT NULL, revision TEXT, axis INTEGER, baud INTEGER, "
     "device TEXT, by_id TEXT, serial_number TEXT, sheet_name TEXT, sheet_sha256 TEXT, "
     "loaded INTEGER NOT NULL, started TEXT NOT NULL, ended TEXT NOT NULL, "
     "started_utc TEXT NOT NULL, verdict TEXT NOT NULL, problem TEXT, sent TEXT)",
     "CREATE TABLE IF NOT EXISTS check_values ("
     "check_id INTEGER NOT NULL REFERENCES checks(id) ON DELETE CASCADE, "
     "position INTEGER NOT NULL, profile INTEGER, key TEXT NOT NULL, caption TEXT, "
     "sheet_value TEXT, unit_value TEXT, verdict TEXT NOT NULL, problem TEXT, "
     "PRIMARY KEY (check_id, position))",
     "CREATE INDEX IF NOT EXISTS checks_by_time ON checks (started_utc)"},
    // The unit's own serial number (scanned or typed at the check; null
    // when none was given), and one unit's checks in order.
    {"ALTER TABLE checks ADD COLUMN serial TEXT",
     "CREATE INDEX IF NOT EXISTS checks_by_serial ON checks (serial, started_utc) "
     "WHERE serial IS NOT NULL",
     nullptr},
};
static_assert(std::size(SchemaSteps) == Journal::SchemaVersion);

// The file's schema version; false, and *why, when it cannot be read or a
// newer program made the file.
bool readSchemaVersion(const QSqlDatabase &db, int *version, QString *why)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        *why = query.lastError().text();
        return false;
    }
    *version = query.value(0).toInt();
    if (*version > Journal::SchemaVersion) {
        *why = QStringLiteral("it was made by a newer program (schema %1).").arg(*version);
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<StoreConnection> Journal::openForWriting(const QString &path, QString *why,
                                                         int busyMilliseconds)
{
    auto fail = [why](const QString &text) {
        if (why)
            *why = text;
        return nullptr;
    };
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto connection =
        std::make_unique<StoreConnection>(path, StoreConnection::Mode::ReadWrite, busyMilliseconds);
    if (!connection->opened())
        return fail(connection->error());
    QSqlDatabase db = connection->db();
    int version = 0;
    QString problem;
    if (!readSchemaVersion(db, &version, &problem))
        return fail(problem);
    QSqlQuery query(db);
    // The journal may be lost with the machine's power, never corrupted.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    query.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    // Each step under the write lock, the version read again inside it: two
    // connections may open an older journal at once (a station's lines), and
    // the second finds the step taken by the first.
    while (version < SchemaVersion) {
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return fail(query.lastError().text());
        auto rollback = [&](const QString &error) {
            query.exec(QStringLiteral("ROLLBACK"));
            return fail(error);
        };
        if (!readSchemaVersion(db, &version, &problem))
            return rollback(problem);
        if (version >= SchemaVersion) {
            query.exec(QStringLiteral("ROLLBACK"));
            break;
        }
        for (const char *statement : SchemaSteps[version]) {
            if (statement && !query.exec(QString::fromLatin1(statement)))
                return rollback(query.lastError().text());
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1)) ||
            !query.exec(QStringLiteral("COMMIT")))
            return rollback(query.lastError().text());
        ++version;
    }
    return connection;
}

std::unique_ptr<StoreConnection> Journal::openForReading(const QString &path, int *version,
                                                         QString *why)
{
    auto connection =
        std::make_unique<StoreConnection>(path, StoreConnection::Mode::ReadOnly, BusyMilliseconds);
    QString problem;
    if (!connection->opened())
        problem = connection->error();
    else if (readSchemaVersion(connection->db(), version, &problem))
        return connection;
    if (why)
        *why = problem;
    return nullptr;
}

bool Journal::open(QString *problem)
{
    if (connection_)
        return true;
    QString why;
    connection_ = openForWriting(path_, &why, busyMilliseconds_);
    if (connection_)
        return true;
    if (problem)
        *problem = cannotWriteText(path_, why);
    return false;
}

bool Journal::append(const JournalEntry &entry, QString *problem)
{
    if (!open(problem))
        return false;
    QSqlQuery query(connection_->db());
    query.prepare(QStringLiteral(
        "INSERT INTO changes (time, model, revision, axis, field, profile, value, line, before, "
        "after, verdict) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(entry.time.toUTC().toString(Qt::ISODateWithMs));
    query.addBindValue(entry.unitModel);
    query.addBindValue(entry.revision);
    query.addBindValue(entry.axis);
    query.addBindValue(entry.field);
    query.addBindValue(entry.profile);
    query.addBindValue(entry.value);
    query.addBindValue(lineText(entry.line));
    query.addBindValue(optionalText(entry.before));
    query.addBindValue(optionalText(entry.after));
    query.addBindValue(journalVerdictText(entry.verdict));
    if (!query.exec()) {
        if (problem)
            *problem = cannotWriteText(path_, query.lastError().text());
        connection_.reset(); // the next row tries afresh
        return false;
    }
    return true;
}

} // namespace ktv
