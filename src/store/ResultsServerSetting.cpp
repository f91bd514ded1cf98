// The results server's setting, read with libpq's own parser, and the
// host's lookup within the bench's bound (ResultsServer.h).

#include "store/ResultsServerInternal.h"

#include "protocol/Threads.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

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

} // namespace

namespace results {

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
    // A lookup still running when the caller has stopped waiting ends by
    // the resolver's own timeout; the program waits for it as it ends.
    threads::start(QStringLiteral("host lookup"), [lookup, name = host.toUtf8()] {
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
    });
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

} // namespace results

using results::unreadableSetting;

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

} // namespace ktv
