// Where the configuration store lives: in the user's configuration folder
// once a store is there; before that beside the program when it can be
// written there, otherwise in the user's configuration folder, filled on the
// first run from the store beside the program, the installed default, or a
// fresh store.

#include "Helpers.h"

#include "store/ConfigStore.h"
#include "store/StoreConnection.h"
#include "store/StoreLocation.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace ktv;

namespace {

// Ports that tell the stores apart.
constexpr int BesidePort = 5;
constexpr int DefaultPort = 7;
constexpr int UserPort = 9;
constexpr int FreshPort = 1;

int storedPort(const QString &path)
{
    return readConfiguration(path).comPort.value_or(-1);
}

} // namespace

class TestStoreLocation : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void resolves_data();
    void resolves();
    void freshStoreHasTheSchema();
    void copiedStoreIsKeptOnLaterRuns_data();
    void copiedStoreIsKeptOnLaterRuns();
    void unmakeableUserFolderIsAProblem();
    void writeCheckTriesForReal();

  private:
    QString programDir() const { return dir->filePath(QStringLiteral("bin")); }
    QString userDir() const { return dir->filePath(QStringLiteral("home/.config/ktraveld")); }
    QString packagedDefault() const
    {
        return dir->filePath(QStringLiteral("share/ktraveld/config.qdr"));
    }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestStoreLocation::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir().mkpath(programDir()));
    QVERIFY(QDir().mkpath(QFileInfo(packagedDefault()).absolutePath()));
}

void TestStoreLocation::resolves_data()
{
    QTest::addColumn<bool>("besideStore");
    QTest::addColumn<bool>("besideWritable");
    QTest::addColumn<bool>("userStore"); // left by an earlier run
    QTest::addColumn<bool>("defaultStore");
    QTest::addColumn<bool>("usesBeside");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("notice");

    QTest::newRow("beside and writable")
        << true << true << false << true << true << BesidePort << false;
    // The user's store, once made, is the store: no switching back and forth.
    QTest::newRow("beside and writable, user store kept")
        << true << true << true << true << false << UserPort << false;
    QTest::newRow("beside but not writable: copied")
        << true << false << false << true << false << BesidePort << true;
    QTest::newRow("beside but not writable, user store kept")
        << true << false << true << true << false << UserPort << false;
    QTest::newRow("none beside: from the default")
        << false << true << false << true << false << DefaultPort << false;
    QTest::newRow("none beside, user store kept")
        << false << true << true << true << false << UserPort << false;
    QTest::newRow("none beside and no default: fresh")
        << false << true << false << false << false << FreshPort << false;
}

void TestStoreLocation::resolves()
{
    QFETCH(bool, besideStore);
    QFETCH(bool, besideWritable);
    QFETCH(bool, userStore);
    QFETCH(bool, defaultStore);
    QFETCH(bool, usesBeside);
    QFETCH(int, port);
    QFETCH(bool, notice);

    const QString beside = QDir(programDir()).filePath(QStringLiteral("config.qdr"));
    const QString user = QDir(userDir()).filePath(QStringLiteral("config.qdr"));
    if (besideStore)
        QVERIFY(test::writeStore(beside, BesidePort, {}));
    if (userStore) {
        QVERIFY(QDir().mkpath(userDir()));
        QVERIFY(test::writeStore(user, UserPort, {}));
    }
    if (defaultStore)
        QVERIFY(test::writeStore(packagedDefault(), DefaultPort, {}));

    QStringList checked;
    const StoreLocation store =
        resolveStoreLocation(programDir(), userDir(), packagedDefault(), [&](const QString &path) {
            checked << path;
            return besideWritable;
        });

    QVERIFY2(store.problem.isEmpty(), qPrintable(store.problem));
    QCOMPARE(store.path, usesBeside ? beside : user);
    QCOMPARE(storedPort(store.path), port);
    QCOMPARE(!store.notice.isEmpty(), notice);
    if (notice) {
        QVERIFY2(store.notice.contains(beside) && store.notice.contains(user),
                 qPrintable(store.notice));
    }
    // Only a store beside the program that may be used is asked whether it
    // can be written.
    QCOMPARE(checked, besideStore && !userStore ? QStringList{beside} : QStringList{});
    // The user's folder is left alone while the store beside the program is used.
    QCOMPARE(QFile::exists(user), !usesBeside || userStore);
    // The sources are never changed.
    if (besideStore)
        QCOMPARE(storedPort(beside), BesidePort);
    if (defaultStore)
        QCOMPARE(storedPort(packagedDefault()), DefaultPort);
}

void TestStoreLocation::freshStoreHasTheSchema()
{
    const StoreLocation store = resolveStoreLocation(programDir(), userDir(), packagedDefault());
    QVERIFY2(store.problem.isEmpty(), qPrintable(store.problem));
    QStringList row;
    int version = -1;
    int portMapRows = -1;
    {
        StoreConnection db(store.path, StoreConnection::Mode::ReadOnly);
        QVERIFY(db.opened());
        QSqlQuery q(db.db());
        QVERIFY(q.exec(QStringLiteral("SELECT ID, Name, ComPort FROM \"Main Table\"")));
        while (q.next())
            row << q.value(0).toString() << q.value(1).toString() << q.value(2).toString();
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
        version = q.value(0).toInt();
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM \"Port Map\"")) && q.next());
        portMapRows = q.value(0).toInt();
    }
    QCOMPARE(row, (QStringList{"1", "Setup", "1"}));
    QCOMPARE(version, 2);
    QCOMPARE(portMapRows, 0);
    QVERIFY(!QFile::exists(store.path + QStringLiteral(".part")));
}

void TestStoreLocation::copiedStoreIsKeptOnLaterRuns_data()
{
    QTest::addColumn<bool>("laterWritable");
    QTest::newRow("the folder beside the program still read-only") << false;
    // A card whose write protection is off again on a later run.
    QTest::newRow("the folder beside the program writable again") << true;
}

void TestStoreLocation::copiedStoreIsKeptOnLaterRuns()
{
    QFETCH(bool, laterWritable);
    const QString beside = QDir(programDir()).filePath(QStringLiteral("config.qdr"));
    QVERIFY(test::writeStore(beside, BesidePort, {}));
    QVERIFY(QFile::setPermissions(beside, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ReadOther));
    const auto readOnly = [](const QString &) { return false; };

    const StoreLocation first =
        resolveStoreLocation(programDir(), userDir(), packagedDefault(), readOnly);
    QVERIFY(!first.notice.isEmpty());
    // The copy is the user's to change, though its source was read-only.
    QString problem;
    QVERIFY2(writeComPort(first.path, 3, &problem), qPrintable(problem));
    QVERIFY(QFileInfo(first.path).permissions() & QFileDevice::WriteOwner);

    const StoreLocation second =
        resolveStoreLocation(programDir(), userDir(), packagedDefault(),
                             [laterWritable](const QString &) { return laterWritable; });
    QCOMPARE(second.path, first.path);
    QCOMPARE(storedPort(beside), BesidePort);
    QVERIFY2(second.notice.isEmpty(), qPrintable(second.notice));
    QCOMPARE(storedPort(second.path), 3);
}

void TestStoreLocation::unmakeableUserFolderIsAProblem()
{
    // A file where the user's configuration folder should be.
    const QString blocker = dir->filePath(QStringLiteral("home"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const StoreLocation store = resolveStoreLocation(programDir(), userDir(), packagedDefault());
    QVERIFY2(store.problem.contains(userDir()), qPrintable(store.problem));
    QVERIFY(!QFile::exists(store.path));
}

void TestStoreLocation::writeCheckTriesForReal()
{
    const QString store = QDir(programDir()).filePath(QStringLiteral("config.qdr"));
    QVERIFY(test::writeStore(store, BesidePort, {}));
    QVERIFY(canWriteStore(store));
    QCOMPARE(QDir(programDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"config.qdr"});
    QVERIFY(!canWriteStore(dir->filePath(QStringLiteral("no such folder/config.qdr"))));
}

QTEST_GUILESS_MAIN(TestStoreLocation)
#include "tst_storelocation.moc"
