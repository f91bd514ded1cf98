#include "link/PortProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
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

// Why the system refuses the device now, asked without keeping it open.
int refusal(const QString &device)
{
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) != 0)
        return errno;
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}
#endif

} // namespace

QList<PortHolder> processesHolding(const QString &device, const QString &procRoot)
{
    QList<PortHolder> holders;
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return holders;
    const qint64 self = QCoreApplication::applicationPid();
    for (qint64 pid : processIds(procRoot)) {
        if (pid == self)
            continue;
        const QString fdFolder = QStringLiteral("%1/%2/fd").arg(procRoot).arg(pid);
        const QStringList fds = QDir(fdFolder).entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            if (QFile::symLinkTarget(fdFolder + QLatin1Char('/') + fd) == target) {
                holders << PortHolder{pid, commandOf(procRoot, pid)};
                break;
            }
        }
    }
    return holders;
}

std::optional<PortLockFile> lockFileFor(const QString &device, const QStringList &lockFolders)
{
    // The lock names the device below /dev with its slashes as underscores:
    // LCK..ttyUSB0, LCK..pts_3.
    QString name = device;
    if (name.startsWith(QStringLiteral("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &folder : lockFolders) {
        QFile lock(QStringLiteral("%1/LCK..%2").arg(folder, name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        PortLockFile found;
        found.path = lock.fileName();
        // Both the old ten-digit text and a lock file library's own put the pid first.
        found.pid = QString::fromLatin1(lock.readLine(64)).trimmed().toLongLong();
        if (found.pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(found.pid))) {
            found.alive = true;
            found.command = commandOf(QStringLiteral("/proc"), found.pid);
        }
        return found;
    }
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
    findings.holders = processesHolding(device);
    findings.lockFile = lockFileFor(device);
    findings.openErrno = refusal(device);
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

QString diagnoseOpenFailure(const QString &device, const QString &systemError)
{
    return diagnosePort(gatherPortFindings(device, systemError));
}

} // namespace ktv
