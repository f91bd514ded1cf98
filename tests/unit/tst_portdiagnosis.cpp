// Why a port did not open: the plain-words diagnosis from what was found on
// the system, and the gatherer finding a holder and a lock file for real.

#include "link/PortProbe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace ktv;

Q_DECLARE_METATYPE(ktv::PortFindings)

namespace {

constexpr unsigned CharDevice660 = 0020660; // crw-rw----

PortFindings found(const QString &device, int error)
{
    PortFindings f;
    f.device = device;
    f.openErrno = error;
    f.systemError = QStringLiteral("Permission error while locking the device");
    f.exists = error != ENOENT;
    f.mode = CharDevice660;
    f.ownerGroup = QStringLiteral("dialout");
    f.userName = QStringLiteral("ana");
    f.userGroups = {QStringLiteral("ana"), QStringLiteral("plugdev")};
    return f;
}

} // namespace

class TestPortDiagnosis : public QObject
{
    Q_OBJECT
  private slots:
    void causes_data();
    void causes();
    void holderFoundThroughProc();
    void lockFileNamesItsProcess();
};

void TestPortDiagnosis::causes_data()
{
    QTest::addColumn<PortFindings>("findings");
    QTest::addColumn<QString>("diagnosis");

    PortFindings f = found(QStringLiteral("/dev/ttyUSB0"), ENOENT);
    f.portsPresent = {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB1")};
    QTest::newRow("missing device, other ports present")
        << f
        << "Cause: no such device. /dev/ttyUSB0 is not there: the adapter is unplugged, or there "
           "never was a port by that name.\n"
           "Serial ports present: /dev/ttyS0, /dev/ttyUSB1.\n"
           "Fix: plug the adapter in, or use one of the ports present.";

    f.portsPresent.clear();
    QTest::newRow("missing device, no port present")
        << f
        << "Cause: no such device. /dev/ttyUSB0 is not there: the adapter is unplugged, or there "
           "never was a port by that name.\n"
           "No serial ports are present.\n"
           "Fix: plug the adapter in, then try again.";

    f = found(QStringLiteral("/dev/ttyS3"), EIO);
    QTest::newRow("device node without a port behind it")
        << f
        << "Cause: no such device. /dev/ttyS3 is there, but no port answers behind it: the "
           "adapter is unplugged, or the port has no hardware.\n"
           "No serial ports are present.\n"
           "Fix: plug the adapter in, then try again.";

    f = found(QStringLiteral("/dev/ttyUSB0"), EACCES);
    QTest::newRow("permission denied, user not in the group")
        << f
        << "Cause: permission denied. /dev/ttyUSB0 belongs to group \"dialout\" (crw-rw----) and "
           "user \"ana\" is not in that group.\n"
           "Fix: add the user to the group, then log out and back in (a new group counts only "
           "from a new login):\n"
           "  sudo usermod -aG dialout ana";

    f.userListedInGroup = true;
    QTest::newRow("permission denied, added to the group but not logged in again")
        << f
        << "Cause: permission denied. /dev/ttyUSB0 belongs to group \"dialout\" (crw-rw----); "
           "user \"ana\" was added to that group, but this login does not have it yet.\n"
           "Fix: log out and back in: a new group counts only from a new login.";

    f = found(QStringLiteral("/dev/ttyS0"), EACCES);
    f.mode = 0020600;
    f.ownerGroup = QStringLiteral("root");
    QTest::newRow("permission denied, only root may use it")
        << f
        << "Cause: permission denied. User \"ana\" may not read and write /dev/ttyS0 "
           "(crw-------, group \"root\").\n"
           "Fix: ask the administrator for access to /dev/ttyS0 (a udev rule can give it to "
           "group dialout with mode 0660).";

    f = found(QStringLiteral("/dev/ttyUSB0"), EBUSY);
    f.holders = {{1234, QStringLiteral("minicom")}};
    QTest::newRow("busy, held by a terminal program")
        << f
        << "Cause: the port is busy. /dev/ttyUSB0 is held by minicom (pid 1234).\n"
           "Fix: close minicom (or end it: kill 1234), then try again.";

    f = found(QStringLiteral("/dev/ttyUSB0"), 0);
    f.lockFile = PortLockFile{QStringLiteral("/var/lock/LCK..ttyUSB0"), 4321, true,
                              QStringLiteral("screen")};
    QTest::newRow("busy, named by a lock file alone")
        << f
        << "Cause: the port is busy. The lock file /var/lock/LCK..ttyUSB0 says screen (pid 4321) "
           "uses it.\n"
           "Fix: close screen (or end it: kill 4321), then try again.";

    f = found(QStringLiteral("/dev/ttyUSB0"), EBUSY);
    QTest::newRow("busy, holder not visible")
        << f
        << "Cause: the port is busy. Another program holds /dev/ttyUSB0 and could not be named "
           "(it may run as another user: sudo fuser -v /dev/ttyUSB0 names it).\n"
           "Fix: close the program that uses the port, then try again.";

    f = found(QStringLiteral("/dev/ttyUSB0"), 0);
    f.systemError = QStringLiteral("Permission error while locking the device");
    f.lockFile = PortLockFile{QStringLiteral("/var/lock/LCK..ttyUSB0"), 999, false, {}};
    QTest::newRow("stale lock file")
        << f
        << "Cause: a stale lock file. /var/lock/LCK..ttyUSB0 names process 999, which no longer "
           "runs.\n"
           "Fix: remove it: sudo rm /var/lock/LCK..ttyUSB0";

    f = found(QStringLiteral("/dev/ttyACM0"), 0);
    f.systemError = QStringLiteral("Unknown error");
    f.modemManagerRunning = true;
    QTest::newRow("no cause found, ModemManager running")
        << f
        << "Cause: /dev/ttyACM0 did not open: Unknown error.\n"
           "ModemManager is running: it probes USB serial adapters as they appear and can hold "
           "one for several seconds. If this is no modem, stop it: sudo systemctl stop "
           "ModemManager";

    f = found(QStringLiteral("/dev/ttyUSB0"), ENOENT);
    f.brlttyRunning = true;
    QTest::newRow("adapter gone, brltty running")
        << f
        << "Cause: no such device. /dev/ttyUSB0 is not there: the adapter is unplugged, or there "
           "never was a port by that name.\n"
           "No serial ports are present.\n"
           "Fix: plug the adapter in, then try again.\n"
           "brltty is running: it takes many USB serial adapters for Braille displays, and their "
           "port vanishes. Without a Braille display, remove it: sudo apt remove brltty";

    f = found(QStringLiteral("/dev/ttyUSB0"), EBUSY);
    f.holders = {{812, QStringLiteral("ModemManager")}, {1234, QStringLiteral("minicom")}};
    f.lockFile = PortLockFile{QStringLiteral("/var/lock/LCK..ttyUSB0"), 1234, true,
                              QStringLiteral("minicom")};
    f.modemManagerRunning = true;
    f.brlttyRunning = true;
    QTest::newRow("two holders, their lock file and both grabbers")
        << f
        << "Cause: the port is busy. /dev/ttyUSB0 is held by ModemManager (pid 812) and minicom "
           "(pid 1234).\n"
           "Fix: close ModemManager and minicom (or end them: kill 812 1234), then try again.\n"
           "ModemManager is running: it probes USB serial adapters as they appear and can hold "
           "one for several seconds. If this is no modem, stop it: sudo systemctl stop "
           "ModemManager\n"
           "brltty is running: it takes many USB serial adapters for Braille displays, and their "
           "port vanishes. Without a Braille display, remove it: sudo apt remove brltty";
}

void TestPortDiagnosis::causes()
{
    QFETCH(PortFindings, findings);
    QFETCH(QString, diagnosis);
    QCOMPARE(diagnosePort(findings), diagnosis);
}

void TestPortDiagnosis::holderFoundThroughProc()
{
    // A pseudo-terminal whose line another process (a sleep) has as its input.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString line = QString::fromLocal8Bit(::ptsname(master));
    QProcess holder;
    holder.setStandardInputFile(line);
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());

    const qint64 pid = holder.processId();

    const QList<PortHolder> holders = processesHolding(line);

    holder.kill();
    holder.waitForFinished();
    ::close(master);
    QCOMPARE(holders.size(), 1);
    QCOMPARE(holders.first().pid, pid);
    QCOMPARE(holders.first().command, QStringLiteral("sleep"));
}

void TestPortDiagnosis::lockFileNamesItsProcess()
{
    QTemporaryDir folder;
    QFile lock(folder.filePath(QStringLiteral("LCK..pts_7")));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(QCoreApplication::applicationPid()).rightJustified(10) + "\n");
    lock.close();

    const std::optional<PortLockFile> found =
        lockFileFor(QStringLiteral("/dev/pts/7"), {QStringLiteral("/nowhere"), folder.path()});

    QVERIFY(found.has_value());
    QCOMPARE(found->path, lock.fileName());
    QCOMPARE(found->pid, QCoreApplication::applicationPid());
    QCOMPARE(found->alive, true);
    QCOMPARE(found->command, QStringLiteral("tst_portdiagnos"));
    QCOMPARE(lockFileFor(QStringLiteral("/dev/pts/8"), {folder.path()}).has_value(), false);
}

QTEST_GUILESS_MAIN(TestPortDiagnosis)
#include "tst_portdiagnosis.moc"
