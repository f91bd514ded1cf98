#include "store/ResultsServer.h"

#include "store/ResultsSchema.h"
#include "store/ResultsServerInternal.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace ktv {

namespace results {

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

} // namespace results

using results::ConnectMilliseconds;
using results::givenTimeout;
using results::isAddress;
using results::lookUp;
using results::LookupMilliseconds;
using results::quoted;
using results::unreadableSetting;

namespace {

// What libpq says when the server turned the login down, as against a
// server it could not reach.
bool loginRefused(const QString &detail)
{
    return detail.contains(QLatin1String("password authentication failed")) ||
           detail.contains(QLatin1String("no password supplied")) ||
           detail.contains(QLatin1String("authentication failed for user")) ||
           detail.contains(QLatin1String("no pg_hba.conf entry"));
}

} // namespace

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

} // namespace ktv
