#include "Workbench.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

namespace ktv::test {

MessageRecorder::MessageRecorder()
{
    setProgramEnding(false);
    setMessageSink([this](MessageIcon icon, const QString &text) {
        messages.append({icon, text});
        if (onMessage)
            onMessage(messages.last());
    });
}

MessageRecorder::~MessageRecorder()
{
    setMessageSink({});
}

QStringList MessageRecorder::texts() const
{
    QStringList result;
    for (const RecordedMessage &m : messages)
        result << m.text;
    return result;
}

bool writeStore(const QString &path, const QVariant &comPort, const QMap<int, QString> &portMap)
{
    const QString name = QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
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
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

Workbench::Workbench(const QString &device, int comPort)
{
    storePath = dir.filePath(QStringLiteral("config.qdr"));
    QMap<int, QString> map;
    if (!device.isEmpty())
        map.insert(1, device);
    writeStore(storePath, comPort, map);
    window = std::make_unique<MainWindow>(state, link, storePath);
}

Workbench::~Workbench()
{
    link.closePort();
    window.reset();
    setProgramEnding(false);
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
