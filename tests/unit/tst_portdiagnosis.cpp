// Why a port did not open: the plain-words diagnosis from what was found on
// the system, and the gatherer finding a holder and a lock file for real.

#include "link/PortProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
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
    void holdersOfTheSameFileOnly();
    void notASerialPortNamesNobody_data();
    void notASerialPortNamesNobody();
    void lockFileNamesItsProcess();
    void lockFilesThatAreNoFiles_data();
    void lockFilesThatAreNoFiles();
    void lockFileOfTheRealDevice();
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
    f.lockFile = PortLockFile{
        QStringLiteral("/var/lock/LCK..ttyUSB0"), 4321, true, QStringLiteral("screen"), {}};
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
    f.lockFile = PortLockFile{QStringLiteral("/var/lock/LCK..ttyUSB0"), 999, false, {}, {}};
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
    f.lockFile = PortLockFile{
        QStringLiteral("/var/lock/LCK..ttyUSB0"), 1234, true, QStringLiteral("minicom"), {}};
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

    f = found(QStringLiteral("/dev/null"), 0);
    f.mode = 0020666;
    f.terminal = false;
    f.holders = {{1263, QStringLiteral("bash")}, {4252, QStringLiteral("make")}};
    QTest::newRow("a device that is no terminal line, held by many")
        << f
        << "Cause: not a serial port. /dev/null is a device, but no terminal line.\n"
           "No serial ports are present.\n"
           "Fix: plug the adapter in, then try again.";

    f = found(QStringLiteral("/home/ana/notes.txt"), 0);
    f.mode = 0100644;
    f.portsPresent = {QStringLiteral("/dev/ttyUSB0")};
    QTest::newRow("a regular file")
        << f
        << "Cause: not a serial port. /home/ana/notes.txt is a regular file.\n"
           "Serial ports present: /dev/ttyUSB0.\n"
           "Fix: use one of the ports present.";

    f = found(QStringLiteral("/dev/ttyUSB0"), 0);
    f.lockFile = PortLockFile{
        QStringLiteral("/var/lock/LCK..ttyUSB0"), 0, false, {}, QStringLiteral("a named pipe")};
    QTest::newRow("a named pipe at the lock file's place")
        << f
        << "Cause: the port's lock file is no file. /var/lock/LCK..ttyUSB0 is a named pipe, "
           "where the lock file of /dev/ttyUSB0 belongs.\n"
           "Fix: remove it: sudo rm /var/lock/LCK..ttyUSB0";
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

// A fake /proc: a holder counts by the file it holds, not by the name.
void TestPortDiagnosis::holdersOfTheSameFileOnly()
{
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    QVERIFY(QFile(port).open(QIODevice::WriteOnly));
    const QString otherName = dir.filePath(QStringLiteral("port-by-another-name"));
    QVERIFY(::link(QFile::encodeName(port).constData(), QFile::encodeName(otherName).constData()) ==
            0);
    const QString lookalike = dir.filePath(QStringLiteral("lookalike"));
    QVERIFY(QFile(lookalike).open(QIODevice::WriteOnly));
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    const QString proc = dir.filePath(QStringLiteral("proc"));
    auto process = [&](int pid, const char *command, const QString &holds) {
        const QString folder = QStringLiteral("%1/%2").arg(proc).arg(pid);
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/fd")));
        QFile comm(folder + QStringLiteral("/comm"));
        QVERIFY(comm.open(QIODevice::WriteOnly));
        comm.write(QByteArray(command) + '\n');
        QVERIFY(QFile::link(holds, folder + QStringLiteral("/fd/3")));
    };
    process(100, "minicom", otherName);
    process(200, "screen", lookalike);
    process(300, "cat", pipe); // a pipe nobody writes: looking must not wait on it
    process(400, "bash", QStringLiteral("/dev/null"));

    QElapsedTimer clock;
    clock.start();
    const QList<PortHolder> holders = processesHolding(port, proc);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(holders, (QList<PortHolder>{{100, QStringLiteral("minicom")}}));
}

void TestPortDiagnosis::notASerialPortNamesNobody_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("cause");
    QTest::newRow("/dev/null") << "/dev/null"
                               << "Cause: not a serial port. /dev/null is a device, but no "
                                  "terminal line.";
    // A regular file: this test's own program.
    QTest::newRow("a regular file") << QCoreApplication::applicationFilePath()
                                    << QStringLiteral("Cause: not a serial port. %1 is a regular "
                                                      "file.")
                                           .arg(QCoreApplication::applicationFilePath());
}

// Looked at for real: whoever holds /dev/null (every shell does) is not named.
void TestPortDiagnosis::notASerialPortNamesNobody()
{
    QFETCH(QString, device);
    QFETCH(QString, cause);
    const PortFindings findings = gatherPortFindings(device, QStringLiteral("not a port"));
    QCOMPARE(findings.holders, QList<PortHolder>{});
    QVERIFY(!findings.lockFile.has_value());
    const QString diagnosis = diagnosePort(findings);
    QCOMPARE(diagnosis.section(QLatin1Char('\n'), 0, 0), cause);
    QVERIFY2(!diagnosis.contains(QLatin1String("pid")) &&
                 !diagnosis.contains(QLatin1String("busy")),
             qPrintable(diagnosis));
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

void TestPortDiagnosis::lockFilesThatAreNoFiles_data()
{
    QTest::addColumn<QString>("kind"); // what stands at the lock file's place
    QTest::addColumn<QString>("notAFile");
    QTest::newRow("a named pipe") << "pipe"
                                  << "a named pipe";
    QTest::newRow("a link to a lock file naming this process") << "link"
                                                               << "a link";
    QTest::newRow("a folder") << "folder"
                              << "a folder";
}

// Never opened so that it could block, never followed, never read; the open
// of the port refuses at once instead of waiting on it.
void TestPortDiagnosis::lockFilesThatAreNoFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, notAFile);
    QTemporaryDir dir;
    const QString lock = dir.filePath(QStringLiteral("LCK..pts_7"));
    const QByteArray name = QFile::encodeName(lock);
    if (kind == QLatin1String("pipe")) {
        QVERIFY(::mkfifo(name.constData(), 0644) == 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(lock));
    } else {
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(QCoreApplication::applicationPid()) + "\n");
        file.close();
        QVERIFY(QFile::link(target, lock));
    }

    QElapsedTimer clock;
    clock.start();
    const std::optional<PortLockFile> found =
        lockFileFor(QStringLiteral("/dev/pts/7"), {dir.path()});
    const std::optional<QString> obstacle =
        lockFileObstacle(QStringLiteral("/dev/pts/7"), {dir.path()});
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(found.has_value());
    QCOMPARE(found->path, lock);
    QCOMPARE(found->notAFile, notAFile);
    QCOMPARE(found->pid, 0);
    QCOMPARE(found->alive, false);
    // The serial layer follows a link to a regular file, which does not block.
    QCOMPARE(obstacle, kind == QLatin1String("link")
                           ? std::optional<QString>()
                           : std::optional<QString>(lock + QStringLiteral(" is ") + notAFile));
}

// A port chosen by a link (as /dev/serial/by-id names adapters) has the lock
// file of the device the link names.
void TestPortDiagnosis::lockFileOfTheRealDevice()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString line = QString::fromLocal8Bit(::ptsname(master)); // /dev/pts/N
    QTemporaryDir dir;
    const QString byId = dir.filePath(QStringLiteral("usb-Maker_Adapter_A1-if00-port0"));
    QVERIFY(QFile::link(line, byId));
    QFile lock(dir.filePath(QStringLiteral("LCK..") +
                            line.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'))));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("      4321\n");
    lock.close();

    const std::optional<PortLockFile> found = lockFileFor(byId, {dir.path()}, dir.path());
    ::close(master);
    QVERIFY(found.has_value());
    QCOMPARE(found->path, lock.fileName());
    QCOMPARE(found->pid, 4321);
    QCOMPARE(found->alive, false); // no process 4321 under this (empty) /proc
    QCOMPARE(found->notAFile, QString());
    QCOMPARE(lockFileObstacle(byId, {dir.path()}), std::optional<QString>());
}

QTEST_GUILESS_MAIN(TestPortDiagnosis)
#include "tst_portdiagnosis.moc"
