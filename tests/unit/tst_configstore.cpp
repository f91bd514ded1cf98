// The configuration store: reading the COM port and the port map from good and
// broken files, and writing the port back without touching anything else.

#include "Helpers.h"

#include "store/ConfigStore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace ktv;

namespace {

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Runs statements on a store through a connection of the test's own.
bool exec(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString &s : statements)
            ok = ok && q.exec(s);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
    return ok;
}

QVariant query(const QString &path, const QString &sql)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("q"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            value = q.value(0);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("q"));
    return value;
}

} // namespace

class TestConfigStore : public QObject
{
    Q_OBJECT
  private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }
    void reads_data();
    void reads();
    void readingNeverChangesTheFile();
    void writesOnlyTheThirdFieldOfTheFirstRecord();
    void failedWriteLeavesTheFileAsItWas();
    void portMapEntryAddsOrReplacesOneRow();
    void upgradeStep_data();
    void upgradeStep();
    void shippedDefaultIsCurrent();

  private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestConfigStore::reads_data()
{
    QTest::addColumn<QStringList>("statements"); // empty: no file at all
    QTest::addColumn<QByteArray>("rawBytes");    // written instead of a database when not empty
    QTest::addColumn<int>("port");               // -1: not read
    QTest::addColumn<QString>("problem");        // part of the reason
    QTest::addColumn<QString>("mappedDevice");   // what COM 2 opens, when mapped

    const QString table = QStringLiteral(
        "CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name TEXT, ComPort INTEGER)");
    QTest::newRow("COM 3") << QStringList{table, "INSERT INTO \"Main Table\" VALUES (1, 'x', 3)"}
                           << QByteArray() << 3 << QString() << QString();
    QTest::newRow("first record by rowid, third field by position")
        << QStringList{"CREATE TABLE \"Main Table\" (A, B, C, D)",
                       "INSERT INTO \"Main Table\" (rowid, A, B, C, D) VALUES (5, 1, 2, 9, 4)",
                       "INSERT INTO \"Main Table\" (rowid, A, B, C, D) VALUES (2, 1, 2, 7, 4)"}
        << QByteArray() << 7 << QString() << QString();
    QTest::newRow("a number stored as text")
        << QStringList{table, "INSERT INTO \"Main Table\" VALUES (1, 'x', '12')"} << QByteArray()
        << 12 << QString() << QString();
    QTest::newRow("with a port map")
        << QStringList{table, "INSERT INTO \"Main Table\" VALUES (1, 'x', 2)",
                       "CREATE TABLE \"Port Map\" (Port INTEGER PRIMARY KEY, Device TEXT NOT NULL)",
                       "INSERT INTO \"Port Map\" VALUES (2, '/dev/ttyUSB0')"}
        << QByteArray() << 2 << QString() << "/dev/ttyUSB0";
    QTest::newRow("missing file") << QStringList() << QByteArray() << -1 << "is missing"
                                  << QString();
    QTest::newRow("not a database") << QStringList() << QByteArray("this is not a database, really")
                                    << -1 << "cannot" << QString();
    QTest::newRow("no Main Table") << QStringList{"CREATE TABLE Other (A)"} << QByteArray() << -1
                                   << "cannot be read" << QString();
    QTest::newRow("no record") << QStringList{table} << QByteArray() << -1 << "no record"
                               << QString();
    QTest::newRow("not a number")
        << QStringList{table, "INSERT INTO \"Main Table\" VALUES (1, 'x', 'COM3')"} << QByteArray()
        << -1 << "not a number" << QString();
    QTest::newRow("empty field") << QStringList{table,
                                                "INSERT INTO \"Main Table\" VALUES (1, 'x', NULL)"}
                                 << QByteArray() << -1 << "not a number" << QString();
    QTest::newRow("two fields only") << QStringList{"CREATE TABLE \"Main Table\" (A, B)",
                                                    "INSERT INTO \"Main Table\" VALUES (1, 2)"}
                                     << QByteArray() << -1 << "fewer than three" << QString();
}

void TestConfigStore::reads()
{
    QFETCH(QStringList, statements);
    QFETCH(QByteArray, rawBytes);
    QFETCH(int, port);
    QFETCH(QString, problem);
    QFETCH(QString, mappedDevice);
    const QString path = dir->filePath(QString::fromLatin1(QTest::currentDataTag()) + ".qdr");
    if (!rawBytes.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(rawBytes);
    } else if (!statements.isEmpty()) {
        QVERIFY(exec(path, statements));
    }
    const StoredConfiguration stored = readConfiguration(path);
    if (port >= 0) {
        QVERIFY2(stored.comPort.has_value(), qPrintable(stored.problem));
        QCOMPARE(*stored.comPort, port);
        QVERIFY(stored.problem.isEmpty());
    } else {
        QVERIFY(!stored.comPort.has_value());
        QVERIFY2(stored.problem.contains(problem), qPrintable(stored.problem));
        QVERIFY2(stored.problem.contains(path), "the message names the file");
    }
    if (!mappedDevice.isEmpty())
        QCOMPARE(stored.portMap.value(2), mappedDevice);
    // Reading never creates a file that was not there.
    if (statements.isEmpty() && rawBytes.isEmpty())
        QVERIFY(!QFile::exists(path));
}

void TestConfigStore::readingNeverChangesTheFile()
{
    const QString path = dir->filePath(QStringLiteral("config.qdr"));
    QVERIFY(test::writeStore(path, 4, {{4, QStringLiteral("/dev/pts/9")}}));
    const QByteArray before = fileHash(path);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(readConfiguration(path).comPort.value_or(-1), 4);
    QCOMPARE(fileHash(path), before);
}

void TestConfigStore::writesOnlyTheThirdFieldOfTheFirstRecord()
{
    const QString path = dir->filePath(QStringLiteral("config.qdr"));
    QVERIFY(exec(path, {"CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name TEXT, Port "
                        "INTEGER, Extra TEXT)",
                        "INSERT INTO \"Main Table\" VALUES (1, 'Setup', 1, 'keep')",
                        "INSERT INTO \"Main Table\" VALUES (2, 'Second', 1, 'keep too')",
                        "CREATE TABLE Notes (T TEXT)", "INSERT INTO Notes VALUES ('untouched')"}));
    QString problem;
    QVERIFY2(writeComPort(path, 5, &problem), qPrintable(problem));
    QCOMPARE(readConfiguration(path).comPort.value_or(-1), 5);
    QCOMPARE(query(path, "SELECT Name || '|' || Extra FROM \"Main Table\" WHERE ID = 1").toString(),
             QStringLiteral("Setup|keep"));
    QCOMPARE(query(path, "SELECT Port FROM \"Main Table\" WHERE ID = 2").toInt(), 1);
    QCOMPARE(query(path, "SELECT T FROM Notes").toString(), QStringLiteral("untouched"));
}

void TestConfigStore::failedWriteLeavesTheFileAsItWas()
{
    const QString path = dir->filePath(QStringLiteral("config.qdr"));
    QVERIFY(test::writeStore(path, 3, {}));
    const QByteArray before = fileHash(path);

    // Another program holds the file locked for writing.
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QString problem;
        QVERIFY(!writeComPort(path, 5, &problem));
        QVERIFY(!problem.isEmpty());
        QVERIFY(!writePortMapEntry(path, 2, QStringLiteral("/dev/ttyUSB0"), &problem));
        q.exec(QStringLiteral("ROLLBACK"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    QCOMPARE(fileHash(path), before);

    // A store that has gone away is not created anew.
    QFile::remove(path);
    QString problem;
    QVERIFY(!writeComPort(path, 5, &problem));
    QVERIFY(!QFile::exists(path));
}

void TestConfigStore::portMapEntryAddsOrReplacesOneRow()
{
    // A store of the old kind, without the table.
    const QString path = dir->filePath(QStringLiteral("config.qdr"));
    QVERIFY(exec(path, {"CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name TEXT, ComPort "
                        "INTEGER)",
                        "INSERT INTO \"Main Table\" VALUES (1, 'Setup', 2)"}));
    QString problem;
    QVERIFY2(writePortMapEntry(path, 3, QStringLiteral("/dev/ttyUSB0"), &problem),
             qPrintable(problem));
    QVERIFY2(writePortMapEntry(path, 4, QStringLiteral("/dev/ttyUSB1"), &problem),
             qPrintable(problem));
    QVERIFY2(writePortMapEntry(path, 3, QStringLiteral("/dev/ttyACM0"), &problem),
             qPrintable(problem));

    const StoredConfiguration stored = readConfiguration(path);
    QCOMPARE(stored.comPort, std::optional<int>(2));
    QCOMPARE(stored.portMap, (QMap<int, QString>{{3, QStringLiteral("/dev/ttyACM0")},
                                                 {4, QStringLiteral("/dev/ttyUSB1")}}));
    QCOMPARE(query(path, "SELECT Name FROM \"Main Table\"").toString(), QStringLiteral("Setup"));
}

void TestConfigStore::upgradeStep_data()
{
    QTest::addColumn<QStringList>("statements"); // the store as found
    QTest::addColumn<bool>("readOnly");          // file mode 0444
    QTest::addColumn<int>("outcome");            // StoreUpgrade
    QTest::addColumn<int>("version");            // user_version afterwards
    QTest::addColumn<bool>("hasPortMap");        // afterwards

    const QString table = QStringLiteral(
        "CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name TEXT, ComPort INTEGER)");
    const QString row = QStringLiteral("INSERT INTO \"Main Table\" VALUES (1, 'Setup', 6)");
    const QString portMap = QStringLiteral(
        "CREATE TABLE \"Port Map\" (Port INTEGER PRIMARY KEY, Device TEXT NOT NULL)");
    const int upgraded = int(StoreUpgrade::Upgraded), current = int(StoreUpgrade::Current),
              left = int(StoreUpgrade::LeftAsItIs);
    QTest::newRow("version 1 without Port Map gains it")
        << QStringList{table, row, "PRAGMA user_version = 1"} << false << upgraded << 2 << true;
    QTest::newRow("unversioned store without Port Map gains it")
        << QStringList{table, row} << false << upgraded << 2 << true;
    QTest::newRow("unversioned store with a hand-made Port Map keeps its rows")
        << QStringList{table, row, portMap, "INSERT INTO \"Port Map\" VALUES (6, '/dev/ttyUSB0')"}
        << false << upgraded << 2 << true;
    QTest::newRow("current store is not written")
        << QStringList{table, row, portMap, "PRAGMA user_version = 2"} << false << current << 2
        << true;
    QTest::newRow("store of a newer version is not written")
        << QStringList{table, row, "PRAGMA user_version = 7"} << false << current << 7 << false;
    QTest::newRow("read-only old store is left and still read")
        << QStringList{table, row, "PRAGMA user_version = 1"} << true << left << 1 << false;
}

void TestConfigStore::upgradeStep()
{
    QFETCH(QStringList, statements);
    QFETCH(bool, readOnly);
    QFETCH(int, outcome);
    QFETCH(int, version);
    QFETCH(bool, hasPortMap);
    const QString path = dir->filePath(QStringLiteral("config.qdr"));
    QVERIFY(exec(path, statements));
    const QMap<int, QString> mapBefore = readConfiguration(path).portMap;
    if (readOnly)
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther));
    const QByteArray before = fileHash(path);

    QString problem;
    QCOMPARE(int(upgradeStore(path, &problem)), outcome);
    QCOMPARE(query(path, "PRAGMA user_version").toInt(), version);
    QCOMPARE(query(path, "SELECT count(*) FROM sqlite_master WHERE name = 'Port Map'").toInt(),
             hasPortMap ? 1 : 0);
    if (outcome != int(StoreUpgrade::Upgraded))
        QCOMPARE(fileHash(path), before);
    if (outcome == int(StoreUpgrade::LeftAsItIs))
        QCOMPARE(problem, QStringLiteral("the store is read-only"));
    // "Main Table" and any port map rows are as they were, and read as before.
    const StoredConfiguration stored = readConfiguration(path);
    QCOMPARE(stored.comPort, std::optional<int>(6));
    QCOMPARE(stored.portMap, mapBefore);
    // A second run finds nothing to do.
    if (outcome == int(StoreUpgrade::Upgraded))
        QCOMPARE(int(upgradeStore(path)), int(StoreUpgrade::Current));
}

void TestConfigStore::shippedDefaultIsCurrent()
{
    QCOMPARE(query(QStringLiteral(KTV_DEFAULT_STORE), "PRAGMA user_version").toInt(),
             StoreSchemaVersion);
    const StoredConfiguration stored = readConfiguration(QStringLiteral(KTV_DEFAULT_STORE));
    QCOMPARE(stored.comPort, std::optional<int>(1));
    QCOMPARE(query(QStringLiteral(KTV_DEFAULT_STORE),
                   "SELECT count(*) FROM sqlite_master WHERE name = 'Port Map'")
                 .toInt(),
             1);
}

QTEST_MAIN(TestConfigStore)
#include "tst_configstore.moc"
