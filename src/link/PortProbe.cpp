#include "link/PortProbe.h"

#include "link/DeviceAddress.h"
#include "link/NetworkLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSerialPort>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ktv {

namespace {

QString commandOf(const QString &procRoot, qint64 pid)
{
    QFile comm(QStringLiteral("%1/%2/comm").arg(procRoot).arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

QList<qint64> processIds(const QString &procRoot)
{
    QList<qint64> pids;
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number)
            pids << pid;
    }
    return pids;
}

#ifdef Q_OS_UNIX
QString groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
}

void addAccountFindings(PortFindings &findings, gid_t deviceGroup)
{
    const passwd *user = ::getpwuid(::geteuid());
    findings.userName = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(::geteuid());
    QList<gid_t> gids(::getgroups(0, nullptr));
    if (!gids.isEmpty())
        gids.resize(::getgroups(static_cast<int>(gids.size()), gids.data()));
    gids.prepend(::getegid());
    for (gid_t gid : gids) {
        const QString name = groupName(gid);
        if (!name.isEmpty() && !findings.userGroups.contains(name))
            findings.userGroups << name;
    }
    if (const group *owner = ::getgrgid(deviceGroup)) {
        findings.userListedInGroup = user && user->pw_gid == deviceGroup;
        for (char **member = owner->gr_mem; member && *member; ++member)
            if (findings.userName == QString::fromLocal8Bit(*member))
                findings.userListedInGroup = true;
    }
}

// Why the system refuses the device now, asked without keeping it open, and
// whether what opened is a terminal line.
int refusal(const QString &device, bool *terminal)
{
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) != 0)
        return errno;
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    *terminal = ::isatty(fd) == 1;
    ::close(fd);
    return 0;
}

bool sameDevice(const struct stat &a, const struct stat &b)
{
    const bool aNode = S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode);
    const bool bNode = S_ISCHR(b.st_mode) || S_ISBLK(b.st_mode);
    if (aNode || bNode)
        return aNode && bNode && (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) &&
               a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

#endif

// LCK..ttyUSB0 for /dev/ttyUSB0, LCK..pts_3 for /dev/pts/3: the name below
// /dev with its slashes as underscores.
QString lockName(const QString &device)
{
    QString name = device;
    if (name.startsWith(QStringLiteral("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

} // namespace

#ifdef Q_OS_UNIX
QString fileKindText(quint32 mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISLNK(mode))
        return QStringLiteral("a link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no regular file");
}
#endif

QList<PortHolder> processesHolding(const QString &device, const QString &procRoot)
{
    QList<PortHolder> holders;
#ifdef Q_OS_UNIX
    struct stat target
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &target) != 0)
        return holders;
    const qint64 self = QCoreApplication::applicationPid();
    for (qint64 pid : processIds(procRoot)) {
        if (pid == self)
            continue;
        const QString fdFolder = QStringLiteral("%1/%2/fd").arg(procRoot).arg(pid);
        // Every link, whatever it names (System alone leaves out regular files).
        const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System |
                                                         QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            // stat of an fd link is the file the process holds (opening it
            // could block on a pipe; stat never does).
            struct stat held
            {
            };
            const QByteArray link = QFile::encodeName(fdFolder + QLatin1Char('/') + fd);
            if (::stat(link.constData(), &held) == 0 && sameDevice(held, target)) {
                holders << PortHolder{pid, commandOf(procRoot, pid)};
                break;
            }
        }
    }
#else
    Q_UNUSED(device)
    Q_UNUSED(procRoot)
#endif
    return holders;
}

QStringList lockFolders()
{
    // Where the serial layer takes a port's lock (the first of them it may
    // write), and where others do.
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock")};
}

std::optional<PortLockFile> lockFileFor(const QString &device, const QStringList &folders,
                                        const QString &procRoot)
{
#ifdef Q_OS_UNIX
    // Programs that name the lock after the path they were given (a
    // /dev/serial/by-id link) leave it under that name.
    const QString real = QFileInfo(device).canonicalFilePath();
    QStringList names{lockName(real.isEmpty() ? device : real)};
    if (lockName(device) != names.first())
        names << lockName(device);
    for (const QString &folder : folders)
        for (const QString &name : names) {
            PortLockFile found;
            found.path = folder + QLatin1Char('/') + name;
            const QByteArray path = QFile::encodeName(found.path);
            struct stat info
            {
            };
            if (::lstat(path.constData(), &info) != 0)
                continue;
            if (!S_ISREG(info.st_mode)) {
                found.notAFile = fileKindText(info.st_mode);
                return found;
            }
            const int fd =
                ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0)
                continue;
            // Asked again of what opened, in case the name changed in between.
            if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
                found.notAFile = fileKindText(info.st_mode);
                ::close(fd);
                return found;
            }
            char text[64];
            const ssize_t got = ::read(fd, text, sizeof text);
            ::close(fd);
            // Both the old ten-digit text and a lock file library's own put the pid first.
            const QByteArray head = QByteArray(text, got > 0 ? int(got) : 0);
            found.pid = QString::fromLatin1(head.left(head.indexOf('\n'))).trimmed().toLongLong();
            if (found.pid > 0 &&
                QFileInfo::exists(QStringLiteral("%1/%2").arg(procRoot).arg(found.pid))) {
                found.alive = true;
                found.command = commandOf(procRoot, found.pid);
            }
            return found;
        }
#else
    Q_UNUSED(device)
    Q_UNUSED(folders)
    Q_UNUSED(procRoot)
#endif
    return std::nullopt;
}

std::optional<QString> lockFileObstacle(const QString &device, const QStringList &folders)
{
#ifdef Q_OS_UNIX
    // The serial layer names the lock after the path as given, this program
    // after the real path: either may stand in the way.
    const QString real = QFileInfo(device).canonicalFilePath();
    QStringList names{lockName(device)};
    if (!real.isEmpty() && lockName(real) != names.first())
        names << lockName(real);
    for (const QString &folder : folders)
        for (const QString &name : names) {
            const QString path = folder + QLatin1Char('/') + name;
            struct stat info
            {
            };
            // The serial layer follows a link; so does this.
            if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
                return QStringLiteral("%1 is %2").arg(path, fileKindText(info.st_mode));
        }
#else
    Q_UNUSED(device)
    Q_UNUSED(folders)
#endif
    return std::nullopt;
}

PortFindings gatherPortFindings(const QString &device, const QString &systemError)
{
    PortFindings findings;
    findings.device = device;
    findings.systemError = systemError;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        findings.portsPresent << port.systemLocation();
    for (qint64 pid : processIds(QStringLiteral("/proc"))) {
        const QString command = commandOf(QStringLiteral("/proc"), pid);
        findings.modemManagerRunning |= command == QLatin1String("ModemManager");
        findings.brlttyRunning |= command == QLatin1String("brltty");
    }
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &info) != 0) {
        findings.openErrno = errno;
        return findings;
    }
    findings.exists = true;
    findings.mode = info.st_mode;
    findings.ownerGroup = groupName(info.st_gid);
    addAccountFindings(findings, info.st_gid);
    // Only a device node can be a port; whoever holds a file, a pipe or a
    // folder has nothing to do with this.
    if (!S_ISCHR(info.st_mode))
        return findings;
    findings.openErrno = refusal(device, &findings.terminal);
    if (!findings.terminal)
        return findings;
    findings.holders = processesHolding(device);
    findings.lockFile = lockFileFor(device);
#else
    findings.exists = QFileInfo::exists(device);
#endif
    return findings;
}

QList<PresentPort> serialPortsPresent()
{
    QMap<QString, QString> byId; // device -> link
    const QDir links(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : links.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        byId.insert(link.canonicalFilePath(), link.absoluteFilePath());
    QList<PresentPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << PresentPort{info.systemLocation(), info.description(), info.manufacturer(),
                             info.serialNumber(), byId.value(info.systemLocation())};
    return ports;
}

Outcome<void> portOpens(const QString &device)
{
    // A device server on the network: it takes the connection and, over
    // RFC 2217, confirms a rate.
    if (looksLikeNetworkAddress(device)) {
        const Outcome<DeviceAddress> address = parseDeviceAddress(device);
        if (!address)
            return Outcome<void>::failure(address.problem());
        NetworkLine line;
        QString reason;
        if (!line.connectTo(*address, 9600, &reason))
            return Outcome<void>::failure(reason);
        line.close();
        return {};
    }
    if (const std::optional<QString> obstacle = lockFileObstacle(device))
        return Outcome<void>::failure(*obstacle);
    QSerialPort port(device);
    if (!port.open(QIODevice::ReadWrite))
        return Outcome<void>::failure(port.errorString());
    return {};
}

QString diagnoseOpenFailure(const QString &device, const QString &systemError)
{
    // A network line has no device file, lock or group to look at: the
    // connection's own failure says it all.
    if (looksLikeNetworkAddress(device))
        return QStringLiteral("Cause: %1 did not open: %2.").arg(device, systemError);
    return diagnosePort(gatherPortFindings(device, systemError));
}

} // namespace ktv
