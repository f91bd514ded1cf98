#include "PgServer.h"

#include "Helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUuid>
#include <QVariant>

#include <algorithm>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ktv::test {

namespace {

// The newest installed server's tools (Debian keeps them out of PATH).
QString serverTools()
{
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &version : versions)
        if (QFile::exists(root.filePath(version + QStringLiteral("/bin/initdb"))))
            return root.filePath(version + QStringLiteral("/bin"));
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}

QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// One QPSQL connection as the superuser, removed when it goes.
struct SuperuserConnection
{
    SuperuserConnection(int port, const QString &dbname)
        : name(QStringLiteral("pgserver-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(port);
        db.setDatabaseName(dbname);
        db.setUserName(QStringLiteral("ktv"));
        opened = db.open();
        if (!opened)
            qWarning("PgServer: %s", qPrintable(db.lastError().text()));
    }
    ~SuperuserConnection()
    {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    QString name;
    bool opened = false;
};

} // namespace

PgServer::PgServer(bool durable) : durable_(durable)
{
    bin_ = serverTools();
    if (bin_.isEmpty()) {
        problem_ = QStringLiteral("no PostgreSQL server is installed (initdb not found)");
        return;
    }
    if (!dir_.isValid()) {
        problem_ = QStringLiteral("no temporary folder");
        return;
    }
    asNobody_ = ::geteuid() == 0;
    if (asNobody_) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(QFile::encodeName(dir_.path()).constData(), nobody->pw_uid,
                               nobody->pw_gid) != 0) {
            problem_ = QStringLiteral("the temporary folder cannot be given to nobody");
            return;
        }
    }
    const QString data = dir_.filePath(QStringLiteral("data"));
    QString output;
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("ktv"),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
             &output)) {
        problem_ = QStringLiteral("initdb failed: ") + output;
        return;
    }
    QFile hba(data + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        hba.write("local all all trust\n"
                  "host all guarded 127.0.0.1/32 scram-sha-256\n"
                  "host all all 127.0.0.1/32 trust\n") < 0) {
        problem_ = QStringLiteral("pg_hba.conf cannot be written");
        return;
    }
    hba.close();

    // Stops the server and removes the folder when this program ends without
    // the destructor: its stdin closes with us.
    const QString stopCommand =
        (asNobody_ ? QStringLiteral("runuser -u nobody -- ") : QString()) +
        shellQuoted(bin_ + QStringLiteral("/pg_ctl")) + QStringLiteral(" -D ") + shellQuoted(data) +
        QStringLiteral(" stop -m immediate >/dev/null 2>&1; rm -rf ") + shellQuoted(dir_.path());
    watchdog_.setChildProcessModifier([] { ::setsid(); });
    watchdog_.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("read line; ") + stopCommand});
    if (!watchdog_.waitForStarted()) {
        problem_ = QStringLiteral("the watchdog did not start");
        return;
    }
    for (int attempt = 0; attempt < 3 && !running_; ++attempt) {
        port_ = freePort();
        running_ = startOnce();
    }
    if (!running_) {
        problem_ = QStringLiteral("the server did not start: ") + QString::fromLocal8Bit([&] {
                       QFile log(dir_.filePath(QStringLiteral("log")));
                       return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
                   }());
        return;
    }
    if (!exec(QStringLiteral("postgres"),
              QStringLiteral("CREATE ROLE guarded LOGIN PASSWORD 'right horse'")))
        problem_ = QStringLiteral("the role guarded cannot be made");
}

PgServer::~PgServer()
{
    if (running_)
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("stop"),
             QStringLiteral("-m"), QStringLiteral("immediate")});
    if (watchdog_.state() != QProcess::NotRunning) {
        watchdog_.kill();
        watchdog_.waitForFinished(3000);
    }
}

bool PgServer::run(const QString &tool, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir_.path());
    const QString program = bin_ + QLatin1Char('/') + tool;
    if (asNobody_)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("nobody"),
                                  QStringLiteral("--"), program} +
                          arguments);
    else
        process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PgServer::startOnce()
{
    return run(
        QStringLiteral("pg_ctl"),
        {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
         dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-t"),
         QStringLiteral("30"), QStringLiteral("-o"),
         QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1%3")
             .arg(port_)
             .arg(shellQuoted(dir_.path()),
                  durable_ ? QString() : QStringLiteral(" -c fsync=off -c full_page_writes=off")),
         QStringLiteral("start")});
}

QString PgServer::setting(const QString &dbname, const QString &user) const
{
    return QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3").arg(port_).arg(dbname, user);
}

QString PgServer::createDatabase()
{
    const QString name = QStringLiteral("results_%1").arg(++databases_);
    return exec(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + name) ? name
                                                                                       : QString();
}

bool PgServer::stop()
{
    running_ =
        !run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-w"),
              QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("fast")});
    return !running_;
}

bool PgServer::start()
{
    running_ = startOnce();
    return running_;
}

bool PgServer::exec(const QString &dbname, const QString &sql)
{
    SuperuserConnection connection(port_, dbname);
    if (!connection.opened)
        return false;
    QSqlQuery query(QSqlDatabase::database(connection.name, false));
    if (query.exec(sql))
        return true;
    qWarning("PgServer: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    return false;
}

QStringList PgServer::rows(const QString &dbname, const QString &sql)
{
    SuperuserConnection connection(port_, dbname);
    if (!connection.opened)
        return {QStringLiteral("(no connection)")};
    QSqlQuery query(QSqlDatabase::database(connection.name, false));
    if (!query.exec(sql))
        return {QStringLiteral("(error) ") + query.lastError().databaseText().simplified()};
    QStringList out;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        out << columns.join(QLatin1Char('|'));
    }
    return out;
}

} // namespace ktv::test
