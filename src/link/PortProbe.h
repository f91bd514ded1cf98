#pragma once
// Looks at the system for why a port did not open and fills PortFindings:
// the device's mode and group, the user's groups, the processes that have it
// open (their /proc/<pid>/fd links), a lock file, the ports present and the
// programs known to grab USB serial adapters.

#include "link/PortDiagnosis.h"
#include "protocol/Outcome.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace ktv {

#ifdef Q_OS_UNIX
// What a path that is no regular file is, for a message ("a named pipe", "a
// folder", "a device"), from its stat() mode; "no regular file" for anything
// else, a regular file included.
QString fileKindText(quint32 mode);
#endif

PortFindings gatherPortFindings(const QString &device, const QString &systemError);

// The processes other than this one with the device open, found through the
// fd links under procRoot. A process counts when what it holds is the same
// device (the same device number for a device node, else the same file),
// whatever name it opened it by.
QList<PortHolder> processesHolding(const QString &device,
                                   const QString &procRoot = QStringLiteral("/proc"));

// The folders serial programs keep their lock files in.
QStringList lockFolders();

// LCK..<name> in the first of the lock folders that has one for the device,
// named after the device's real path (a port chosen by its
// /dev/serial/by-id link has the lock of the device the link names). The
// file is opened without blocking and without following a link, and read
// only when it is a regular file; anything else is reported as what it is.
// Whether the process it names runs is asked under procRoot.
std::optional<PortLockFile> lockFileFor(const QString &device,
                                        const QStringList &folders = lockFolders(),
                                        const QString &procRoot = QStringLiteral("/proc"));

// Opening a port takes its lock file first, and a named pipe (or a link to
// one) at a lock file's place would make that wait for good. The lock file
// that stands in the way, with what it is ("/run/lock/LCK..ttyUSB0 is a named
// pipe"); none when the port may be opened.
std::optional<QString> lockFileObstacle(const QString &device,
                                        const QStringList &folders = lockFolders());

// A serial port the system knows of, as Communication Settings lists it.
struct PresentPort
{
    QString device; // /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString byIdLink; // its name under /dev/serial/by-id, which stays when others come and go
};
QList<PresentPort> serialPortsPresent();

// Whether the device opens now for reading and writing: opened and closed
// again at once, nothing written. Why not, in the system's words, when it
// does not; a lock file that would make the opening wait for good is named
// instead of waited for.
Outcome<void> portOpens(const QString &device);

// The diagnosis of a device that did not open, as diagnosePort words it.
QString diagnoseOpenFailure(const QString &device, const QString &systemError);

} // namespace ktv
