#include "link/PortDiagnosis.h"

#include <cerrno>

namespace ktv {

namespace {

// "a", "a and b", "a, b and c"
QString joinedWithAnd(const QStringList &items)
{
    if (items.size() <= 1)
        return items.value(0);
    return QStringList(items.begin(), items.end() - 1).join(QStringLiteral(", ")) +
           QStringLiteral(" and ") + items.last();
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString named(const QString &command, qint64 pid)
{
    return QStringLiteral("%1 (pid %2)")
        .arg(command.isEmpty() ? QStringLiteral("a process") : command)
        .arg(pid);
}

// "Serial ports present: ..." and the fix that goes with it.
QStringList portsPresentAndFix(const PortFindings &f, const QString &fixWithPorts)
{
    if (f.portsPresent.isEmpty())
        return {QStringLiteral("No serial ports are present."),
                QStringLiteral("Fix: plug the adapter in, then try again.")};
    return {
        QStringLiteral("Serial ports present: %1.").arg(f.portsPresent.join(QStringLiteral(", "))),
        fixWithPorts};
}

// What a path that is no serial port is instead; empty when it may be one.
QString otherThanSerialPort(const PortFindings &f)
{
    switch (f.mode & 0170000) {
    case 0020000:
        return f.terminal ? QString() : QStringLiteral("a device, but no terminal line");
    case 0100000:
        return QStringLiteral("a regular file");
    case 0040000:
        return QStringLiteral("a folder");
    case 0010000:
        return QStringLiteral("a named pipe");
    case 0060000:
        return QStringLiteral("a block device (a disk)");
    case 0140000:
        return QStringLiteral("a socket");
    }
    return QStringLiteral("no device");
}

QStringList notSerialPort(const PortFindings &f, const QString &kind)
{
    return QStringList{QStringLiteral("Cause: not a serial port. %1 is %2.").arg(f.device, kind)} +
           portsPresentAndFix(f, QStringLiteral("Fix: use one of the ports present."));
}

QStringList noDevice(const PortFindings &f)
{
    QStringList lines;
    if (!f.exists || f.openErrno == ENOENT)
        lines << QStringLiteral("Cause: no such device. %1 is not there: the adapter is unplugged, "
                                "or there never was a port by that name.")
                     .arg(f.device);
    else
        lines << QStringLiteral("Cause: no such device. %1 is there, but no port answers behind "
                                "it: the adapter is unplugged, or the port has no hardware.")
                     .arg(f.device);
    return lines + portsPresentAndFix(f, QStringLiteral("Fix: plug the adapter in, or use one "
                                                        "of the ports present."));
}

QStringList permissionDenied(const PortFindings &f)
{
    const QString mode = modeText(f.mode);
    const QString askAdministrator =
        QStringLiteral("Fix: ask the administrator for access to %1 (a udev rule can give it to "
                       "group dialout with mode 0660).")
            .arg(f.device);
    // Joining the group helps only when the group may read and write the
    // device, and joining root is no advice to give.
    const bool groupMayUse =
        (f.mode & 0060) == 0060 && !f.ownerGroup.isEmpty() && f.ownerGroup != QLatin1String("root");
    if (!groupMayUse)
        return {QStringLiteral("Cause: permission denied. User %1 may not read and write %2 (%3, "
                               "group %4).")
                    .arg(quoted(f.userName), f.device, mode, quoted(f.ownerGroup)),
                askAdministrator};
    const QString owned = QStringLiteral("Cause: permission denied. %1 belongs to group %2 (%3)")
                              .arg(f.device, quoted(f.ownerGroup), mode);
    if (f.userGroups.contains(f.ownerGroup))
        return {owned + QStringLiteral("; user %1 is in that group and still may not open it.")
                            .arg(quoted(f.userName)),
                askAdministrator};
    if (f.userListedInGroup)
        return {owned + QStringLiteral("; user %1 was added to that group, but this login does "
                                       "not have it yet.")
                            .arg(quoted(f.userName)),
                QStringLiteral("Fix: log out and back in: a new group counts only from a new "
                               "login.")};
    return {owned + QStringLiteral(" and user %1 is not in that group.").arg(quoted(f.userName)),
            QStringLiteral("Fix: add the user to the group, then log out and back in (a new group "
                           "counts only from a new login):"),
            QStringLiteral("  sudo usermod -aG %1 %2").arg(f.ownerGroup, f.userName)};
}

bool lockHeldByOther(const PortFindings &f)
{
    if (!f.lockFile || !f.lockFile->alive || !f.lockFile->notAFile.isEmpty())
        return false;
    for (const PortHolder &holder : f.holders)
        if (holder.pid == f.lockFile->pid)
            return false;
    return true;
}

QStringList busy(const PortFindings &f)
{
    QStringList names;
    QStringList commands;
    QStringList pids;
    for (const PortHolder &holder : f.holders) {
        names << named(holder.command, holder.pid);
        commands << (holder.command.isEmpty() ? QStringLiteral("that process") : holder.command);
        pids << QString::number(holder.pid);
    }
    QStringList lines;
    if (!names.isEmpty())
        lines << QStringLiteral("Cause: the port is busy. %1 is held by %2.")
                     .arg(f.device, joinedWithAnd(names));
    if (lockHeldByOther(f)) {
        const PortLockFile &lock = *f.lockFile;
        const QString says = QStringLiteral("The lock file %1 says %2 uses it.")
                                 .arg(lock.path, named(lock.command, lock.pid));
        lines << (names.isEmpty() ? QStringLiteral("Cause: the port is busy. ") + says : says);
        commands << (lock.command.isEmpty() ? QStringLiteral("that process") : lock.command);
        pids << QString::number(lock.pid);
    }
    if (lines.isEmpty())
        return {QStringLiteral("Cause: the port is busy. Another program holds %1 and could not "
                               "be named (it may run as another user: sudo fuser -v %1 names it).")
                    .arg(f.device),
                QStringLiteral("Fix: close the program that uses the port, then try again.")};
    commands.removeDuplicates();
    lines << QStringLiteral("Fix: close %1 (or end %2: kill %3), then try again.")
                 .arg(joinedWithAnd(commands),
                      pids.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                      pids.join(QLatin1Char(' ')));
    return lines;
}

QStringList grabbers(const PortFindings &f)
{
    QStringList lines;
    if (f.modemManagerRunning)
        lines << QStringLiteral("ModemManager is running: it probes USB serial adapters as they "
                                "appear and can hold one for several seconds. If this is no "
                                "modem, stop it: sudo systemctl stop ModemManager");
    if (f.brlttyRunning)
        lines << QStringLiteral("brltty is running: it takes many USB serial adapters for Braille "
                                "displays, and their port vanishes. Without a Braille display, "
                                "remove it: sudo apt remove brltty");
    return lines;
}

} // namespace

QString modeText(unsigned mode)
{
    QString text;
    switch (mode & 0170000) {
    case 0020000:
        text = QStringLiteral("c");
        break;
    case 0060000:
        text = QStringLiteral("b");
        break;
    case 0040000:
        text = QStringLiteral("d");
        break;
    case 0120000:
        text = QStringLiteral("l");
        break;
    default:
        text = QStringLiteral("-");
    }
    const char *letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400u >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text;
}

QString diagnosePort(const PortFindings &f)
{
    QStringList lines;
    const bool busyFound = f.openErrno == EBUSY || !f.holders.isEmpty() || lockHeldByOther(f);
    const QString otherKind = f.exists ? otherThanSerialPort(f) : QString();
    if (!f.exists || f.openErrno == ENOENT || f.openErrno == ENODEV || f.openErrno == ENXIO ||
        f.openErrno == EIO)
        lines = noDevice(f);
    else if (!otherKind.isEmpty())
        lines = notSerialPort(f, otherKind);
    else if (f.lockFile && !f.lockFile->notAFile.isEmpty())
        lines = {QStringLiteral("Cause: the port's lock file is no file. %1 is %2, where the lock "
                                "file of %3 belongs.")
                     .arg(f.lockFile->path, f.lockFile->notAFile, f.device),
                 QStringLiteral("Fix: remove it: sudo rm %1").arg(f.lockFile->path)};
    else if (f.openErrno == EACCES || f.openErrno == EPERM)
        lines = permissionDenied(f);
    else if (busyFound)
        lines = busy(f);
    else if (f.lockFile)
        lines = {QStringLiteral("Cause: a stale lock file. %1 names process %2, which no longer "
                                "runs.")
                     .arg(f.lockFile->path)
                     .arg(f.lockFile->pid),
                 QStringLiteral("Fix: remove it: sudo rm %1").arg(f.lockFile->path)};
    else
        lines = {QStringLiteral("Cause: %1 did not open: %2.").arg(f.device, f.systemError)};
    lines << grabbers(f);
    return lines.join(QLatin1Char('\n'));
}

// "COM 1 (/dev/ttyS0): permission denied, see Setup, Communication Settings"
// from the diagnosis, whose first line is "Cause: permission denied. ...".
QString openFailureStatusLine(int comPort, const QString &device, const QString &details)
{
    QString cause = details.section(QLatin1Char('\n'), 0, 0);
    if (cause.startsWith(QLatin1String("Cause: ")))
        cause.remove(0, 7);
    const qsizetype sentence = cause.indexOf(QLatin1String(". "));
    if (sentence >= 0)
        cause.truncate(sentence);
    if (cause.endsWith(QLatin1Char('.')))
        cause.chop(1);
    return QStringLiteral("COM %1 (%2): %3, see Setup, Communication Settings")
        .arg(comPort)
        .arg(device, cause);
}

} // namespace ktv
