#pragma once
// Looks at the system for why a port did not open and fills PortFindings:
// the device's mode and group, the user's groups, the processes that have it
// open (their /proc/<pid>/fd links), a lock file, the ports present and the
// programs known to grab USB serial adapters.

#include "link/PortDiagnosis.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace ktv {

PortFindings gatherPortFindings(const QString &device, const QString &systemError);

// The processes other than this one with the device open, found through the
// fd links under procRoot.
QList<PortHolder> processesHolding(const QString &device,
                                   const QString &procRoot = QStringLiteral("/proc"));

// LCK..<name> in the first of the lock folders that has one for the device
// (a program that may not write /var/lock keeps its lock in /tmp).
std::optional<PortLockFile> lockFileFor(const QString &device, const QStringList &lockFolders = {
                                                                   QStringLiteral("/var/lock"),
                                                                   QStringLiteral("/run/lock")});

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

// The diagnosis of a device that did not open, as diagnosePort words it.
QString diagnoseOpenFailure(const QString &device, const QString &systemError);

} // namespace ktv
