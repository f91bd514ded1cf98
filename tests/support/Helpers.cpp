#include "Helpers.h"

#include "store/StoreConnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ktv::test {

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool writeStore(const QString &path, const QVariant &comPort, const QMap<int, QString> &portMap)
{
    StoreConnection store(path, StoreConnection::Mode::ReadWrite);
    QSqlQuery q(store.db());
    bool ok = store.opened();
    ok = ok && q.exec(QStringLiteral("CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, "
                                     "Name TEXT, ComPort INTEGER)"));
    q.prepare(QStringLiteral("INSERT INTO \"Main Table\" VALUES (1, 'Setup', ?)"));
    q.addBindValue(comPort);
    ok = ok && q.exec();
    ok = ok && q.exec(QStringLiteral("CREATE TABLE \"Port Map\" (Port INTEGER PRIMARY KEY, "
                                     "Device TEXT NOT NULL)"));
    for (auto it = portMap.begin(); it != portMap.end(); ++it) {
        q.prepare(QStringLiteral("INSERT INTO \"Port Map\" VALUES (?, ?)"));
        q.addBindValue(it.key());
        q.addBindValue(it.value());
        ok = ok && q.exec();
    }
    return ok;
}

QStringList journalRows(const QString &path, const QString &columns)
{
    if (!QFileInfo::exists(path))
        return {};
    StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
    QSqlQuery query(connection.db());
    if (!query.exec(QStringLiteral("SELECT %1 FROM changes ORDER BY id").arg(columns)))
        return {QStringLiteral("(no table)")};
    QStringList out;
    while (query.next()) {
        QStringList cells;
        for (int i = 0; i < query.record().count(); ++i)
            cells << (query.isNull(i) ? QStringLiteral("null") : query.value(i).toString());
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray writtenFile(const QString &path)
{
    waitUntil([&] { return QFileInfo::exists(path); }, 10000);
    return fileBytes(path);
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

} // namespace ktv::test
