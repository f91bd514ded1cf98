#include "store/ResultsServer.h"

#include "store/ResultsSchema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <libpq-fe.h>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace ktv {

namespace {

QString unreadableSetting(const QString &why)
{
    return QStringLiteral("The results database setting cannot be read: %1. Write it as "
                          "keyword=value pairs, such as "
                          "\"host=db.plant dbname=results user=bench\".")
        .arg(why);
}

// A value as libpq reads it back, always quoted: a tab or a line break
// left bare would end it there, and what follows would be read as options.
QString quoted(const QString &value)
{
    QString text = value;
    text.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    text.replace(QLatin1String("'"), QLatin1String("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString passwordText()
{
    return QStringLiteral(
        "The results database setting holds a password: keep it in the password file "
        "~/.pgpass (or the file PGPASSFILE names), or name a service of the service file "
        "~/.pg_service.conf with service=, never in the setting.");
}

// The keywords whose values libpq treats as secrets (shown as "*"):
// password and sslpassword.
const QStringList &secretKeywords()
{
    static const QStringList keywords = [] {
        QStringList found;
        if (PQconninfoOption *defaults = PQconndefaults()) {
            for (PQconninfoOption *option = defaults; option->keyword; ++option)
                if (option->dispchar && option->dispchar[0] == '*')
                    found << QString::fromLatin1(option->keyword);
            PQconninfoFree(defaults);
        }
        for (const char *keyword : {"password", "sslpassword"})
            if (!found.contains(QLatin1String(keyword)))
                found << QLatin1String(keyword);
        return found;
    }();
    return keywords;
}

// The service files libpq reads, the user's first: PGSERVICEFILE (else
// ~/.pg_service.conf), then pg_service.conf in PGSYSCONFDIR (else the
// folder libpq was built with).
QStringList serviceFiles()
{
    QStringList files;
    const QString user = qEnvironmentVariable("PGSERVICEFILE");
    files << (user.isEmpty() ? QDir::home().filePath(QStringLiteral(".pg_service.conf")) : user);
    const QString system = qEnvironmentVariable("PGSYSCONFDIR");
    files << QDir(system.isEmpty() ? QStringLiteral(KTV_PG_SYSCONFDIR) : system)
                 .filePath(QStringLiteral("pg_service.conf"));
    return files;
}

// Why the named service brings a secret with it (a password= line in its
// section of a service file); empty when it does not.
QString serviceSecret(const QString &service)
{
    for (const QString &path : serviceFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        bool inService = false;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            if (line.startsWith(QLatin1Char('['))) {
                inService = line == QLatin1Char('[') + service + QLatin1Char(']');
                continue;
            }
            const QString keyword = line.section(QLatin1Char('='), 0, 0).trimmed();
            if (inService && line.contains(QLatin1Char('=')) && secretKeywords().contains(keyword))
                return QStringLiteral(
                           "The service %1 in %2 holds a password: keep it in the password "
                           "file ~/.pgpass (or the file PGPASSFILE names), never in the setting "
                           "or a service file.")
                    .arg(service, QDir::toNativeSeparators(path));
        }
    }
    return {};
}

// The server's own words for a statement that failed, and its code,
// without the statement quoted back ("LINE 1: PREPARE ... ^").
QString statementError(const QSqlError &error)
{
    const QString text = error.databaseText().simplified();
    const qsizetype quoted = text.indexOf(QLatin1String(" LINE "));
    if (quoted < 0)
        return text;
    const QString code = error.nativeErrorCode();
    const QString tail = QStringLiteral(" (%1)").arg(code);
    return text.left(quoted) + (!code.isEmpty() && text.endsWith(tail) ? tail : QString());
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

// Always with its offset from UTC ("2026-12-08T14:00:00.000+01:00"): a time
// without one would be read in the server's own time zone.
QString isoText(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// The longest the bench waits for a connection, the host name's lookup
// included; libpq's own connect_timeout counts from the address on, and
// again for each address a name gives.
constexpr int ConnectMilliseconds = 5000;
// Of that, the most the lookup may take: libpq waits at least 2 s.
constexpr int LookupMilliseconds = 3000;

// Windows' sockets answer only once started, and libpq starts them only
// when it connects.
void startSockets()
{
#ifdef Q_OS_WIN
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started);
#endif
}

// The host's first address, looked up on a thread of its own so that a
// name server that does not answer holds the bench for waitMs at most; a
// lookup still running then ends by itself, unheard.
QString lookUp(const QString &host, int waitMs, QString *problem)
{
    struct Lookup
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QString address;
        QString problem;
    };
    startSockets();
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, name = host.toUtf8()] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const int failed = getaddrinfo(name.constData(), nullptr, &hints, &found);
        QString address;
        QString problem;
        if (failed == 0 && found) {
            char text[NI_MAXHOST] = {};
            if (getnameinfo(found->ai_addr, socklen_t(found->ai_addrlen), text, sizeof text,
                            nullptr, 0, NI_NUMERICHOST) == 0)
                address = QString::fromLatin1(text);
        } else {
            problem = QString::fromLocal8Bit(gai_strerror(failed));
        }
        if (found)
            freeaddrinfo(found);
        const std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->finished = true;
        lookup->address = address;
        lookup->problem = problem;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(waitMs),
                               [&] { return lookup->finished; })) {
        *problem = QStringLiteral("the name %1 was not found within %2 s")
                       .arg(host)
                       .arg(waitMs / 1000.0, 0, 'f', 0);
        return {};
    }
    if (lookup->address.isEmpty())
        *problem = QStringLiteral("the name %1 was not found (%2)")
                       .arg(host, lookup->problem.isEmpty() ? QStringLiteral("no address")
                                                            : lookup->problem);
    return lookup->address;
}

// The connect_timeout written, in seconds, within the bench's bound.
qint64 givenTimeout(const ConnectionSetting &setting)
{
    bool number = false;
    const int seconds = setting.value(QStringLiteral("connect_timeout")).trimmed().toInt(&number);
    return number && seconds > 0 ? std::min(seconds, ConnectMilliseconds / 1000)
                                 : ConnectMilliseconds / 1000;
}

bool isAddress(const QString &host)
{
    startSockets();
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo *found = nullptr;
    const bool numeric = getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) == 0;
    if (found)
        freeaddrinfo(found);
    return numeric;
}

// What libpq says when the server turned the login down, as against a
// server it could not reach.
bool loginRefused(const QString &detail)
{
    return detail.contains(QLatin1String("password authentication failed")) ||
           detail.contains(QLatin1String("no password supplied")) ||
           detail.contains(QLatin1String("authentication failed for user")) ||
           detail.contains(QLatin1String("no pg_hba.conf entry"));
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
    if (filter.before.isValid()) {
        terms << QStringLiteral("c.started < CAST(? AS timestamptz)");
        *values << isoText(filter.before);
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

    // Read as libpq itself reads it, so that nothing it would see is missed.
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(text.toUtf8().constData(), &error);
    if (!parsed) {
        const QString why = error ? QString::fromUtf8(error).trimmed()
                                  : QStringLiteral("there is no memory to read it");
        PQfreemem(error);
        return fail(why);
    }
    bool secret = false;
    for (PQconninfoOption *option = parsed; option->keyword; ++option) {
        if (!option->val)
            continue;
        const QString keyword = QString::fromLatin1(option->keyword);
        secret = secret || secretKeywords().contains(keyword);
        setting.options.emplace_back(keyword, QString::fromUtf8(option->val));
    }
    PQconninfoFree(parsed);
    if (secret) {
        setting.options.clear();
        setting.problem = passwordText();
        return setting;
    }
    // A dbname holding "=" is itself read as a connection string by
    // some clients: what it hides counts as written here.
    const QString dbname = setting.value(QStringLiteral("dbname"));
    if (dbname.contains(QLatin1Char('=')) || dbname.startsWith(QLatin1String("postgres://")) ||
        dbname.startsWith(QLatin1String("postgresql://"))) {
        if (dbname.contains(QLatin1String("password"))) {
            setting.options.clear();
            setting.problem = passwordText();
            return setting;
        }
        return fail(QStringLiteral("the value of \"dbname\" holds a connection string"));
    }
    const QString problem = setting.secretProblem();
    if (!problem.isEmpty()) {
        setting.options.clear();
        setting.problem = problem;
    }
    return setting;
}

QString ConnectionSetting::secretProblem() const
{
    QString service = value(QStringLiteral("service"));
    if (service.isEmpty())
        service = qEnvironmentVariable("PGSERVICE");
    return service.isEmpty() ? QString() : serviceSecret(service);
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
    bool ready = false;    // opened
    bool upgraded = false; // and the schema current
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
    return connection_ && connection_->ready && connection_->upgraded;
}

bool ResultsServer::open(QString *problem)
{
    return connectAndUpgrade(problem);
}

QString ResultsServer::settingNote() const
{
    const QString given = setting_.value(QStringLiteral("connect_timeout"));
    if (given.isEmpty())
        return {};
    bool number = false;
    const int seconds = given.trimmed().toInt(&number);
    if (number && seconds > 0 && seconds * 1000 <= ConnectMilliseconds)
        return {};
    return QStringLiteral("connect_timeout=%1 is capped: the bench waits at most %2 s for the "
                          "server, the host name's lookup included.")
        .arg(given)
        .arg(ConnectMilliseconds / 1000);
}

bool ResultsServer::connectAndUpgrade(QString *problem)
{
    if (!connect(problem, nullptr))
        return false;
    if (connection_->upgraded)
        return true;
    QString detail;
    if (!upgradeResultsSchema(connection_->db(), ResultsSchemaVersion, &detail) ||
        !fillResultsSummaries(connection_->db(), progress_, &detail)) {
        drop();
        if (problem)
            *problem = failure(QStringLiteral("cannot be used"), detail);
        return false;
    }
    connection_->upgraded = true;
    return true;
}

bool ResultsServer::connect(QString *problem, bool *refused)
{
    if (refused)
        *refused = false;
    if (!setting_.problem.isEmpty()) {
        if (problem)
            *problem = setting_.problem;
        return false;
    }
    if (connection_ && connection_->ready)
        return true;
    // The service file may have changed since the setting was read.
    if (const QString secret = setting_.secretProblem(); !secret.isEmpty()) {
        if (problem)
            *problem = secret;
        return false;
    }
    connection_ = std::make_unique<Connection>();
    QString why;
    bool turnedDown = false;
    QElapsedTimer clock;
    clock.start();
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
        QString host;
        QString serverOptions;
        bool hostaddr = false;
        bool application = false;
        QStringList given;
        for (const auto &[key, value] : setting_.options) {
            given << key;
            if (key == QLatin1String("host")) {
                db.setHostName(value);
                host = value;
            } else if (key == QLatin1String("dbname")) {
                db.setDatabaseName(value);
            } else if (key == QLatin1String("user")) {
                db.setUserName(value);
            } else if (key == QLatin1String("connect_timeout")) {
                continue; // set below, within the bench's bound
            } else if (key == QLatin1String("options")) {
                serverOptions = value;
            } else {
                options << key + QLatin1Char('=') + quoted(value);
            }
            hostaddr = hostaddr || key == QLatin1String("hostaddr");
            application = application || key == QLatin1String("application_name");
        }
        // The name is looked up here, within the bound, and libpq is given
        // the one address (the name still serves for TLS and ~/.pgpass).
        // (localhost is read from the hosts file, no name server asked, and
        // libpq tries both its addresses where a server may listen on one.)
        if (!hostaddr && !host.isEmpty() && !host.startsWith(QLatin1Char('/')) &&
            !host.contains(QLatin1Char(',')) && host != QLatin1String("localhost") &&
            !isAddress(host)) {
            QString lookupProblem;
            const QString address = lookUp(host, LookupMilliseconds, &lookupProblem);
            if (address.isEmpty()) {
                why = failure(QStringLiteral("cannot be reached"), lookupProblem);
                return false;
            }
            options << QStringLiteral("hostaddr=") + quoted(address);
        }
        const qint64 left = ConnectMilliseconds - clock.elapsed();
        options << QStringLiteral("connect_timeout=%1")
                       .arg(std::max<qint64>(
                           2, std::min<qint64>((left + 100) / 1000, givenTimeout(setting_))));
        // A link that drops in the middle of an exchange ends it within
        // 15 s: keepalives while the line is idle, the user timeout while
        // data waits for its acknowledgement.
        const std::pair<const char *, const char *> bounds[] = {{"keepalives", "1"},
                                                                {"keepalives_idle", "5"},
                                                                {"keepalives_interval", "2"},
                                                                {"keepalives_count", "3"},
                                                                {"tcp_user_timeout", "12000"}};
        for (const auto &[key, value] : bounds)
            if (!given.contains(QLatin1String(key)))
                options << QLatin1String(key) + QLatin1Char('=') + QLatin1String(value);
        // And no statement waits longer on the server (a lock, a full disk).
        // Nor is one compiled first: the views' branches that count from the
        // rows (until the summaries are filled) cost millions in the
        // planner's eyes, and compiling them took 0.8 s of a read of 0.01 s.
        serverOptions =
            (serverOptions + QStringLiteral(" -c statement_timeout=15000 -c jit=off")).trimmed();
        options << QStringLiteral("options=") + quoted(serverOptions);
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
            const QString detail = db.lastError().databaseText().simplified();
            turnedDown = loginRefused(detail);
            why = turnedDown ? failure(QStringLiteral("refused the login"), detail)
                             : failure(QStringLiteral("cannot be reached"), detail);
            return false;
        }
        return true;
    }();
    if (!ready) {
        drop();
        if (problem)
            *problem = why;
        if (refused)
            *refused = turnedDown;
        return false;
    }
    connection_->ready = true;
    return true;
}

ServerProbe ResultsServer::probe()
{
    ServerProbe probe;
    QString problem;
    bool refused = false;
    if (!connect(&problem, &refused)) {
        probe.outcome = !setting_.problem.isEmpty() ? ProbeOutcome::SettingProblem
                        : refused                   ? ProbeOutcome::LoginRefused
                                                    : ProbeOutcome::Unreachable;
        probe.text = problem;
        return probe;
    }
    QString detail;
    probe.version = resultsSchemaVersion(connection_->db(), &detail);
    if (probe.version < 0) {
        drop();
        probe.outcome = ProbeOutcome::Unreachable;
        probe.text = failure(QStringLiteral("cannot be read"), detail);
        return probe;
    }
    probe.outcome = ProbeOutcome::Reached;
    const QString name = serverName();
    if (probe.version == ResultsSchemaVersion)
        probe.text =
            QStringLiteral("Connected to %1: schema version %2.").arg(name).arg(probe.version);
    else if (probe.version == 0)
        probe.text = QStringLiteral("Connected to %1: no results tables yet; the first result "
                                    "sent makes them.")
                         .arg(name);
    else if (probe.version < ResultsSchemaVersion)
        probe.text = QStringLiteral("Connected to %1: schema version %2; the first result sent "
                                    "brings it to version %3.")
                         .arg(name)
                         .arg(probe.version)
                         .arg(ResultsSchemaVersion);
    else
        probe.text = QStringLiteral("Connected to %1: its schema is version %2, newer than this "
                                    "program's %3; results cannot go there.")
                         .arg(name)
                         .arg(probe.version)
                         .arg(ResultsSchemaVersion);
    return probe;
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
                detail = statementError(query.lastError());
                if (detail.isEmpty())
                    detail = db.lastError().databaseText().simplified();
                if (db.isOpen())
                    db.rollback();
                return SendOutcome::Failed;
            };
            if (!db.transaction())
                return failed();
            // A prepare that failed (a lock not granted in time) says why;
            // running the statement anyway would only name its placeholders.
            if (!query.prepare(QStringLiteral(
                    "INSERT INTO checks (uuid, station, operator, unit_model, revision, axis, "
                    "baud, "
                    "device, by_id, serial_number, sheet_name, sheet_sha256, loaded, started, "
                    "ended, "
                    "utc_offset, verdict, problem, serial) VALUES (CAST(? AS uuid), ?, ?, ?, ?, ?, "
                    "?, "
                    "?, ?, ?, ?, ?, ?, CAST(? AS timestamptz), CAST(? AS timestamptz), ?, ?, ?, ?) "
                    "ON CONFLICT (uuid) DO NOTHING RETURNING uuid")))
                return failed();
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
                if (!query.prepare(QStringLiteral("INSERT INTO check_values (check_uuid, "
                                                  "position, profile, field, caption, "
                                                  "sheet_value, unit_value, verdict, problem) "
                                                  "VALUES ") +
                                   rows.join(QLatin1String(", "))))
                    return failed();
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
                                                            QString *problem,
                                                            QHash<QUuid, QDateTime> *received)
{
    return again([&] { return listOnce(filter, problem, received); });
}

std::optional<std::vector<CheckReport>> ResultsServer::listOnce(const ResultsFilter &filter,
                                                                QString *problem,
                                                                QHash<QUuid, QDateTime> *received)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    auto result = [&]() -> std::optional<std::vector<CheckReport>> {
        QSqlDatabase db = connection_->db();
        QVariantList values;
        const QString where = whereClause(filter, &values);
        const QString page =
            filter.limit > 0
                ? QStringLiteral(" LIMIT %1 OFFSET %2").arg(filter.limit).arg(filter.offset)
                : QString();
        QSqlQuery query(db);
        auto fail = [&] {
            if (problem)
                *problem =
                    failure(QStringLiteral("cannot be read"), statementError(query.lastError()));
            return std::nullopt;
        };
        query.setForwardOnly(true);
        const bool prepared = query.prepare(
            QStringLiteral(
                "SELECT c.uuid, c.station, c.operator, c.unit_model, c.revision, c.axis, "
                "c.baud, c.device, c.by_id, c.serial_number, c.sheet_name, c.sheet_sha256, "
                "c.loaded, CAST(round(extract(epoch FROM c.started) * 1000) AS bigint), "
                "CAST(round(extract(epoch FROM c.ended) * 1000) AS bigint), c.utc_offset, "
                "c.verdict, c.problem, c.serial, "
                "CAST(round(extract(epoch FROM c.received) * 1000) AS bigint) FROM checks c") +
            where + QStringLiteral(" ORDER BY c.started DESC, c.uuid") + page);
        if (!prepared)
            return fail();
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
            if (received)
                received->insert(report.id,
                                 QDateTime::fromMSecsSinceEpoch(query.value(19).toLongLong()));
            at.insert(report.id, reports.size());
            reports.push_back(std::move(report));
        }
        const bool valuesPrepared =
            query.prepare(QStringLiteral("SELECT v.check_uuid, v.profile, v.field, v.caption, "
                                         "v.sheet_value, v.unit_value, v.verdict, v.problem FROM "
                                         "check_values v WHERE v.check_uuid IN (SELECT c.uuid FROM "
                                         "checks c") +
                          where + QStringLiteral(" ORDER BY c.started DESC, c.uuid") + page +
                          QStringLiteral(") ORDER BY v.check_uuid, v.position"));
        if (!valuesPrepared)
            return fail();
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
    return again([&] { return yieldOnce(filter, problem); });
}

std::optional<std::vector<StationYield>> ResultsServer::yieldOnce(const ResultsFilter &filter,
                                                                  QString *problem)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    auto result = [&]() -> std::optional<std::vector<StationYield>> {
        QVariantList values;
        const QString where = whereClause(filter, &values);
        QSqlQuery query(connection_->db());
        query.setForwardOnly(true);
        const bool prepared = query.prepare(
            QStringLiteral("SELECT c.station, CAST(CAST((c.started AT TIME ZONE 'UTC') + "
                           "c.utc_offset * interval '1 second' AS date) AS text) AS day, "
                           "count(*) FILTER (WHERE c.verdict = 'pass'), count(*) "
                           "FROM checks c") +
            where + QStringLiteral(" GROUP BY c.station, day ORDER BY day DESC, c.station"));
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!prepared || !query.exec()) {
            if (problem)
                *problem =
                    failure(QStringLiteral("cannot be read"), statementError(query.lastError()));
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
                        Row (*rowOf)(const QSqlQuery &), QString *problem, const QString &group)
{
    if (!connectAndUpgrade(problem))
        return std::nullopt;
    QVariantList values;
    QSqlQuery query(connection_->db());
    query.setForwardOnly(true);
    const bool prepared = query.prepare(select + viewWhereClause(filter, &values) + group +
                                        QStringLiteral(" ORDER BY ") + order);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!prepared || !query.exec()) {
        if (problem)
            *problem = failure(QStringLiteral("cannot be read"), statementError(query.lastError()));
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
    return again([&] {
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
    });
}

std::optional<std::vector<FieldFailures>> ResultsServer::fieldFailures(const ResultsFilter &filter,
                                                                       QString *problem)
{
    return again([&] {
        return readView<FieldFailures>(
            QStringLiteral("SELECT station, CAST(day AS text), unit_model, name, failures, "
                           "field = '' FROM failing_fields"),
            filter,
            QStringLiteral(
                "day, station COLLATE \"C\", unit_model COLLATE \"C\", name COLLATE \"C\""),
            [](const QSqlQuery &query) {
                return FieldFailures{query.value(0).toString(),
                                     QDate::fromString(query.value(1).toString(), Qt::ISODate),
                                     query.value(2).toString(),
                                     query.value(3).toString(),
                                     query.value(4).toInt(),
                                     query.value(5).toBool()};
            },
            problem);
    });
}

std::optional<std::vector<HourCount>> ResultsServer::checksPerHour(const ResultsFilter &filter,
                                                                   QString *problem)
{
    auto hours = again([&] {
        return readView<HourCount>(
            QStringLiteral("SELECT CAST(day AS text), hour, CAST(sum(passed) AS bigint), "
                           "CAST(sum(other) AS bigint) FROM checks_per_hour"),
            filter, QStringLiteral("day, hour"),
            [](const QSqlQuery &query) {
                return HourCount{QDate::fromString(query.value(0).toString(), Qt::ISODate),
                                 query.value(1).toInt(), query.value(2).toInt(),
                                 query.value(3).toInt()};
            },
            problem, QStringLiteral(" GROUP BY day, hour"));
    });
    if (hours && filter.failedOnly)
        for (HourCount &hour : *hours)
            hour.passed = 0;
    return hours;
}

} // namespace ktv
