#include "store/Journal.h"

#include "store/StoreConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

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

Journal::Journal(const QString &path) : path_(path) {}

Journal::~Journal() = default;

bool Journal::open(QString *problem)
{
    if (connection_)
        return true;
    auto fail = [&](const QString &why) {
        connection_.reset();
        if (problem)
            *problem =
                QStringLiteral("The change journal %1 cannot be written: %2").arg(path_, why);
        return false;
    };
    QDir().mkpath(QFileInfo(path_).absolutePath());
    connection_ = std::make_unique<StoreConnection>(path_, StoreConnection::Mode::ReadWrite);
    if (!connection_->opened())
        return fail(connection_->error());
    QSqlQuery query(connection_->db());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return fail(query.lastError().text());
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return fail(QStringLiteral("it was made by a newer program (schema %1).").arg(version));
    // The journal may be lost with the machine's power, never corrupted.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    if (version == SchemaVersion)
        return true;
    const bool made =
        query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS changes ("
                                  "id INTEGER PRIMARY KEY, time TEXT NOT NULL, model TEXT, "
                                  "revision TEXT, axis TEXT, field TEXT NOT NULL, profile TEXT, "
                                  "value TEXT NOT NULL, line TEXT NOT NULL, before TEXT, "
                                  "after TEXT, verdict TEXT NOT NULL)")) &&
        query.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
    if (!made)
        return fail(query.lastError().text());
    return true;
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
            *problem = QStringLiteral("The change journal %1 cannot be written: %2")
                           .arg(path_, query.lastError().text());
        connection_.reset(); // the next row tries afresh
        return false;
    }
    return true;
}

} // namespace ktv
