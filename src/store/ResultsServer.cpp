#include "store/ResultsServer.h"

#include "store/ResultsSchema.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace ktv {

namespace {

// What libpq 15 understands; anything else is a typing error that libpq
// would only name at the first connection.
const QStringList &knownKeywords()
{
    static const QStringList keywords = {
        QStringLiteral("host"),
        QStringLiteral("hostaddr"),
        QStringLiteral("port"),
        QStringLiteral("dbname"),
        QStringLiteral("user"),
        QStringLiteral("passfile"),
        QStringLiteral("channel_binding"),
        QStringLiteral("connect_timeout"),
        QStringLiteral("client_encoding"),
        QStringLiteral("options"),
        QStringLiteral("application_name"),
        QStringLiteral("fallback_application_name"),
        QStringLiteral("keepalives"),
        QStringLiteral("keepalives_idle"),
        QStringLiteral("keepalives_interval"),
        QStringLiteral("keepalives_count"),
        QStringLiteral("tcp_user_timeout"),
        QStringLiteral("gssencmode"),
        QStringLiteral("sslmode"),
        QStringLiteral("requiressl"),
        QStringLiteral("sslcompression"),
        QStringLiteral("sslcert"),
        QStringLiteral("sslkey"),
        QStringLiteral("sslpassword"),
        QStringLiteral("sslrootcert"),
        QStringLiteral("sslcrl"),
        QStringLiteral("sslcrldir"),
        QStringLiteral("sslsni"),
        QStringLiteral("requirepeer"),
        QStringLiteral("ssl_min_protocol_version"),
        QStringLiteral("ssl_max_protocol_version"),
        QStringLiteral("krbsrvname"),
        QStringLiteral("gsslib"),
        QStringLiteral("service"),
        QStringLiteral("target_session_attrs"),
    };
    return keywords;
}

QString unreadableSetting(const QString &why)
{
    return QStringLiteral("The results database setting cannot be read: %1. Write it as "
                          "keyword=value pairs, such as "
                          "\"host=db.plant dbname=results user=bench\".")
        .arg(why);
}

// A value as libpq reads it back: quoted when it holds a space, a quote or
// a backslash, or is empty.
QString quoted(const QString &value)
{
    if (!value.isEmpty() && !value.contains(QLatin1Char(' ')) &&
        !value.contains(QLatin1Char('\'')) && !value.contains(QLatin1Char('\\')))
        return value;
    QString text = value;
    text.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    text.replace(QLatin1String("'"), QLatin1String("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// The driver binds a null QString as NULL; an empty text is a text.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant nullableText(const std::optional<QString> &value)
{
    return value ? text(*value) : QVariant(QMetaType::fromType<QString>());
}

QString isoText(const QDateTime &time)
{
    return time.toString(Qt::ISODateWithMs);
}

// The WHERE clause of a filter over "checks" (aliased c) and its values.
QString whereClause(const ResultsFilter &filter, QVariantList *values)
{
    QStringList terms;
    if (!filter.station.isEmpty()) {
        terms << QStringLiteral("c.station = ?");
        *values << filter.station;
    }
    if (!filter.unitModel.isEmpty()) {
        terms << QStringLiteral("lower(c.unit_model) = lower(?)");
        *values << filter.unitModel;
    }
    if (filter.since.isValid()) {
        terms << QStringLiteral("c.started >= CAST(? AS timestamptz)");
        *values << isoText(filter.since);
    }
    if (filter.failedOnly)
        terms << QStringLiteral("c.verdict <> 'pass'");
    if (!filter.serial.isEmpty()) {
        terms << QStringLiteral("c.serial = ?");
        *values << filter.serial;
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QLatin1String(" AND "));
}

// The WHERE clause over a yield view's station, day and unit_model.
QString viewWhereClause(const ResultsFilter &filter, QVariantList *values)
{
    QStringList terms;
    if (!filter.station.isEmpty()) {
        terms << QStringLiteral("station = ?");
        *values << filter.station;
    }
    if (!filter.unitModel.isEmpty()) {
        terms << QStringLiteral("lower(unit_model) = lower(?)");
        *values << filter.unitModel;
    }
    if (filter.since.isValid()) {
        terms << QStringLiteral("day >= CAST(? AS date)");
        *values << filter.since.date().toString(Qt::ISODate);
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QLatin1String(" AND "));
}

} // namespace

QString ConnectionSetting::value(const QString &keyword) const
{
    for (const auto &[key, value] : options)
        if (key == keyword)
            return value;
    return {};
}

QString ConnectionSetting::serverName() const
{
    QString host = value(QStringLiteral("host"));
    if (host.isEmpty())
        host = value(QStringLiteral("hostaddr"));
    if (host.isEmpty() || host.startsWith(QLatin1Char('/'))) {
        const QString service = value(QStringLiteral("service"));
        if (!service.isEmpty())
            return QStringLiteral("service %1").arg(service);
        if (host.isEmpty())
            return QStringLiteral("the local server");
    }
    const QString port = value(QStringLiteral("port"));
    return port.isEmpty() ? host : host + QLatin1Char(':') + port;
}

ConnectionSetting parseConnectionSetting(const QString &text)
{
    ConnectionSetting setting;
    auto fail = [&](const QString &why) {
        setting.options.clear();
        setting.problem = unreadableSetting(why);
        return setting;
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return fail(QStringLiteral("it is empty"));
    if (trimmed.startsWith(QLatin1String("postgres://")) ||
        trimmed.startsWith(QLatin1String("postgresql://")))
        return fail(QStringLiteral("it is a URI"));

    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipSpace = [&] {
        while (i < n && text.at(i).isSpace())
            ++i;
    };
    while (true) {
        skipSpace();
        if (i == n)
            break;
        const qsizetype start = i;
        while (i < n && text.at(i) != QLatin1Char('=') && !text.at(i).isSpace())
            ++i;
        const QString keyword = text.mid(start, i - start);
        skipSpace();
        if (keyword.isEmpty())
            return fail(QStringLiteral("a value has no keyword before its \"=\""));
        if (i == n || text.at(i) != QLatin1Char('='))
            return fail(QStringLiteral("\"%1\" has no \"=\" and value").arg(keyword));
        ++i;
        skipSpace();
        QString value;
        if (i < n && text.at(i) == QLatin1Char('\'')) {
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar c = text.at(i++);
                if (c == QLatin1Char('\\') && i < n) {
                    value += text.at(i++);
                } else if (c == QLatin1Char('\'')) {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed)
                return fail(
                    QStringLiteral("the quoted value of \"%1\" has no closing quote").arg(keyword));
        } else {
            while (i < n && !text.at(i).isSpace()) {
                const QChar c = text.at(i++);
                if (c == QLatin1Char('\\') && i < n)
                    value += text.at(i++);
                else
                    value += c;
            }
        }
        if (keyword == QLatin1String("password")) {
            setting.options.clear();
            setting.problem = QStringLiteral(
                "The results database setting holds a password: keep it in ~/.pgpass (or the "
                "file PGPASSFILE names), never in the setting.");
            return setting;
        }
        if (!knownKeywords().contains(keyword))
            return fail(QStringLiteral("\"%1\" is not a connection keyword").arg(keyword));
        setting.options.emplace_back(keyword, value);
    }
    return setting;
}

struct ResultsServer::Connection
{
    Connection()
        : name(QStringLiteral("ktv-results-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }

    QString name;
    bool ready = false; // opened and the schema current
};

ResultsServer::ResultsServer(const QString &setting) : setting_(parseConnectionSetting(setting)) {}

ResultsServer::~ResultsServer() = default;

QString ResultsServer::failure(const QString &what, const QString &detail) const
{
    return QStringLiteral("The results database on %1 %2: %3").arg(serverName(), what, detail);
}

void ResultsServer::drop()
{
    connection_.reset();
}

bool ResultsServer::connected() const
{
    return connection_ && connection_->ready;
}

bool ResultsServer::open(QString *problem)
{
    return connectAndUpgrade(problem);
}

bool ResultsServer::connectAndUpgrade(QString *problem)
{
    if (!setting_.problem.isEmpty()) {
        if (problem)
            *problem = setting_.problem;
        return false;
    }
    if (connection_ && connection_->ready)
        return true;
    connection_ = std::make_unique<Connection>();
    QString why;
    // The handles live inside, so that a failed connection is removed
    // with none of them left.
    const bool ready = [&] {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_->name);
        if (!db.isValid()) {
            why = failure(QStringLiteral("cannot be used"),
                          QStringLiteral("Qt's PostgreSQL driver (QPSQL) is not installed"));
            return false;
        }
        // QPSQL passes the options on to libpq after host, dbname and user,
        // turning ';' into a space, so those three go through its own fields
        // (quoted there) and the rest as quoted pairs.
        QStringList options;
        bool timeout = false;
        bool application = false;
        for (const auto &[key, value] : setting_.options) {
            if (key == QLatin1String("host"))
                db.setHostName(value);
            else if (key == QLatin1String("dbname"))
                db.setDatabaseName(value);
            else if (key == QLatin1String("user"))
                db.setUserName(value);
            else
                options << key + QLatin1Char('=') + quoted(value);
            timeout = timeout || key == QLatin1String("connect_timeout");
            application = application || key == QLatin1String("application_name");
        }
        // A server that does not answer must not hold the bench for long.
        if (!timeout)
            options << QStringLiteral("connect_timeout=5");
        if (!application)
            options << QStringLiteral("application_name=ktraveld");
        const QString joined = options.join(QLatin1Char(' '));
        if (joined.contains(QLatin1Char(';'))) {
            why = unreadableSetting(
                QStringLiteral("a value other than host, dbname and user holds a \";\""));
            return false;
        }
        db.setConnectOptions(joined);
        if (!db.open()) {
            why = failure(QStringLiteral("cannot be reached"),
                          db.lastError().databaseText().simplified());
            return false;
        }
        QString detail;
        if (!upgradeResultsSchema(db, ResultsSchemaVersion, &detail)) {
            why = failure(QStringLiteral("cannot be used"), detail);
            return false;
        }
        return true;
    }();
    if (!ready) {
        drop();
        if (problem)
            *problem = why;
        return false;
    }
    connection_->ready = true;
    return true;
}

SendOutcome ResultsServer::send(const CheckReport &report, QString *problem)
{
    if (report.id.isNull()) {
        if (problem)
            *problem = QStringLiteral("A result without its UUID is not sent.");
        return SendOutcome::Failed;
    }
    // A connection the server dropped (it restarted) fails the first time;
    // one fresh try is safe, since a UUID already there changes nothing.
    for (int attempt = 1;; ++attempt) {
        if (!connectAndUpgrade(problem))
            return SendOutcome::Failed;
        QString detail;
        const SendOutcome outcome = [&] {
            QSqlDatabase db = connection_->db();
            QSqlQuery query(db);
            auto failed = [&] {
                detail = query.lastError().databaseText().simplified();
                if (detail.isEmpty())
                    detail = db.lastError().databaseText().simplified();
                if (db.isOpen())
                    db.rollback();
                return SendOutcome::Failed;
            };
            if (!db.transaction())
                return failed();
            query.prepare(QStringLiteral(
                "INSERT INTO checks (uuid, station, operator, unit_model, revision, axis, baud, "
                "device, by_id, serial_number, sheet_name, sheet_sha256, loaded, started, ended, "
                "utc_offset, verdict, problem, serial) VALUES (CAST(? AS uuid), ?, ?, ?, ?, ?, ?, "
                "?, ?, ?, ?, ?, ?, CAST(? AS timestamptz), CAST(? AS timestamptz), ?, ?, ?, ?) "
                "ON CONFLICT (uuid) DO NOTHING RETURNING uuid"));
            const CheckedUnit &unit = report.unit;
            for (const QVariant &value : QVariantList{
                     report.id.toString(QUuid::WithoutBraces), text(report.station),
                     text(report.operatorName), text(unit.unitModel), text(unit.revision),
                     unit.axis, unit.baud, text(unit.device), text(unit.byId),
                     text(unit.serialNumber), text(report.sheetName), text(report.sheetSha256),
                     report.loaded, isoText(report.started), isoText(report.ended),
                     report.started.offsetFromUtc(), checkVerdictText(report.verdict),
                     text(report.problem), text(report.serial)})
                query.addBindValue(value);
            if (!query.exec())
                return failed();
            if (!query.next()) { // the UUID was there: its values are too
                if (!db.commit())
                    return failed();
                return SendOutcome::AlreadyThere;
            }
            if (!report.values.empty()) {
                QStringList rows;
                for (size_t i = 0; i < report.values.size(); ++i)
                    rows << QStringLiteral("(CAST(? AS uuid), ?, ?, ?, ?, ?, ?, ?, ?)");
                query.prepare(QStringLiteral("INSERT INTO check_values (check_uuid, position, "
                                             "profile, field, caption, sheet_value, unit_value, "
                                             "verdict, problem) VALUES ") +
                              rows.join(QLatin1String(", ")));
                int position = 0;
                for (const CheckedValue &value : report.values) {
                    query.addBindValue(report.id.toString(QUuid::WithoutBraces));
                    query.addBindValue(++position);
                    query.addBindValue(value.profile);
                    query.addBindValue(text(value.key));
                    query.addBindValue(text(value.caption));
                    query.addBindValue(text(value.sheetValue));
                    query.addBindValue(nullableText(value.unitValue));
                    query.addBindValue(valueVerdictText(value.verdict));
                    query.addBindValue(text(value.problem));
                }
                if (!query.exec())
                    return failed();
            }
            if (!db.commit())
                return failed();
            return SendOutcome::Stored;
        }();
        if (outcome != SendOutcome::Failed)
            return outcome;
        // A server that still answers refused this result: trying again
        // changes nothing. A lost connection is made afresh once.
        const bool answers = [&] {
            const QSqlDatabase db = connection_->db();
            QSqlQuery ping(db);
            return db.isOpen() && ping.exec(QStringLiteral("SELECT 1"));
        }();
        if (!answers)
            drop();
        if (answers || attempt == 2) {
            if (problem)
                *problem = failure(QStringLiteral("did not take the result"), detail);
            return SendOutcome::Failed;
        }
    }
}

std::optional<std::vector<CheckReport>> ResultsServer::list(const ResultsFilter &filter,
                                                            QString *problem)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    auto result = [&]() -> std::optional<std::vector<CheckReport>> {
        QSqlDatabase db = connection_->db();
        QVariantList values;
        const QString where = whereClause(filter, &values);
        QSqlQuery query(db);
        auto fail = [&] {
            if (problem)
                *problem = failure(QStringLiteral("cannot be read"),
                                   query.lastError().databaseText().simplified());
            return std::nullopt;
        };
        query.setForwardOnly(true);
        query.prepare(
            QStringLiteral(
                "SELECT c.uuid, c.station, c.operator, c.unit_model, c.revision, c.axis, "
                "c.baud, c.device, c.by_id, c.serial_number, c.sheet_name, c.sheet_sha256, "
                "c.loaded, CAST(round(extract(epoch FROM c.started) * 1000) AS bigint), "
                "CAST(round(extract(epoch FROM c.ended) * 1000) AS bigint), c.utc_offset, "
                "c.verdict, c.problem, c.serial FROM checks c") +
            where + QStringLiteral(" ORDER BY c.started DESC, c.uuid"));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return fail();
        std::vector<CheckReport> reports;
        QHash<QUuid, size_t> at;
        while (query.next()) {
            CheckReport report;
            report.id = QUuid::fromString(query.value(0).toString());
            report.station = query.value(1).toString();
            report.operatorName = query.value(2).toString();
            report.unit.unitModel = query.value(3).toString();
            report.unit.revision = query.value(4).toString();
            report.unit.axis = query.value(5).toInt();
            report.unit.baud = query.value(6).toInt();
            report.unit.device = query.value(7).toString();
            report.unit.byId = query.value(8).toString();
            report.unit.serialNumber = query.value(9).toString();
            report.sheetName = query.value(10).toString();
            report.sheetSha256 = query.value(11).toString();
            report.loaded = query.value(12).toBool();
            const int offset = query.value(15).toInt();
            report.started = QDateTime::fromMSecsSinceEpoch(query.value(13).toLongLong(),
                                                            Qt::OffsetFromUTC, offset);
            report.ended = QDateTime::fromMSecsSinceEpoch(query.value(14).toLongLong(),
                                                          Qt::OffsetFromUTC, offset);
            report.verdict = checkVerdictFromText(query.value(16).toString());
            report.problem = query.value(17).toString();
            report.serial = query.value(18).toString();
            at.insert(report.id, reports.size());
            reports.push_back(std::move(report));
        }
        query.prepare(QStringLiteral("SELECT v.check_uuid, v.profile, v.field, v.caption, "
                                     "v.sheet_value, v.unit_value, v.verdict, v.problem FROM "
                                     "check_values v JOIN checks c ON c.uuid = v.check_uuid") +
                      where + QStringLiteral(" ORDER BY v.check_uuid, v.position"));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return fail();
        while (query.next()) {
            const auto found = at.constFind(QUuid::fromString(query.value(0).toString()));
            if (found == at.constEnd())
                continue; // a check that arrived between the two reads
            CheckedValue value;
            value.profile = query.value(1).toInt();
            value.key = query.value(2).toString();
            value.caption = query.value(3).toString();
            value.sheetValue = query.value(4).toString();
            if (!query.isNull(5))
                value.unitValue = query.value(5).toString();
            value.verdict = valueVerdictFromText(query.value(6).toString());
            value.problem = query.value(7).toString();
            reports[*found].values.push_back(std::move(value));
        }
        return reports;
    }();
    if (!result)
        drop(); // the next call connects afresh
    return result;
}

std::optional<std::vector<StationYield>> ResultsServer::yield(const ResultsFilter &filter,
                                                              QString *problem)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    auto result = [&]() -> std::optional<std::vector<StationYield>> {
        QVariantList values;
        const QString where = whereClause(filter, &values);
        QSqlQuery query(connection_->db());
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT c.station, CAST(CAST((c.started AT TIME ZONE 'UTC') + "
                                     "c.utc_offset * interval '1 second' AS date) AS text) AS day, "
                                     "count(*) FILTER (WHERE c.verdict = 'pass'), count(*) "
                                     "FROM checks c") +
                      where +
                      QStringLiteral(" GROUP BY c.station, day ORDER BY day DESC, c.station"));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            if (problem)
                *problem = failure(QStringLiteral("cannot be read"),
                                   query.lastError().databaseText().simplified());
            return std::nullopt;
        }
        std::vector<StationYield> yields;
        while (query.next())
            yields.push_back({query.value(0).toString(),
                              QDate::fromString(query.value(1).toString(), Qt::ISODate),
                              query.value(2).toInt(), query.value(3).toInt()});
        return yields;
    }();
    if (!result)
        drop();
    return result;
}

template <typename Row>
std::optional<std::vector<Row>>
ResultsServer::readView(const QString &select, const ResultsFilter &filter, const QString &order,
                        Row (*rowOf)(const QSqlQuery &), QString *problem)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    QVariantList values;
    QSqlQuery query(connection_->db());
    query.setForwardOnly(true);
    query.prepare(select + viewWhereClause(filter, &values) + QStringLiteral(" ORDER BY ") + order);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        if (problem)
            *problem = failure(QStringLiteral("cannot be read"),
                               query.lastError().databaseText().simplified());
        drop();
        return std::nullopt;
    }
    std::vector<Row> rows;
    while (query.next())
        rows.push_back(rowOf(query));
    return rows;
}

std::optional<std::vector<YieldFigures>> ResultsServer::yieldFigures(const ResultsFilter &filter,
                                                                     QString *problem)
{
    return readView<YieldFigures>(
        QStringLiteral("SELECT station, CAST(day AS text), unit_model, units, first_pass, "
                       "final_pass, checks FROM yield_per_station_day"),
        filter, QStringLiteral("day, station COLLATE \"C\", unit_model COLLATE \"C\""),
        [](const QSqlQuery &query) {
            return YieldFigures{query.value(0).toString(),
                                QDate::fromString(query.value(1).toString(), Qt::ISODate),
                                query.value(2).toString(),
                                query.value(3).toInt(),
                                query.value(4).toInt(),
                                query.value(5).toInt(),
                                query.value(6).toInt()};
        },
        problem);
}

std::optional<std::vector<FieldFailures>> ResultsServer::fieldFailures(const ResultsFilter &filter,
                                                                       QString *problem)
{
    return readView<FieldFailures>(
        QStringLiteral("SELECT station, CAST(day AS text), unit_model, name, failures FROM "
                       "failing_fields"),
        filter,
        QStringLiteral("day, station COLLATE \"C\", unit_model COLLATE \"C\", name COLLATE \"C\""),
        [](const QSqlQuery &query) {
            return FieldFailures{query.value(0).toString(),
                                 QDate::fromString(query.value(1).toString(), Qt::ISODate),
                                 query.value(2).toString(), query.value(3).toString(),
                                 query.value(4).toInt()};
        },
        problem);
}

} // namespace ktv
