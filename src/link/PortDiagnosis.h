#pragma once
// Why a port did not open, in plain words. diagnosePort is a pure function of
// what was found on the system (PortFindings); gatherPortFindings in
// PortProbe.h fills those findings in. Kept apart so that every cause can be
// checked without a machine that has that fault.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ktv {

struct PortHolder
{
    qint64 pid = 0;
    QString command; // the process's name as the system keeps it (/proc/<pid>/comm)
    friend bool operator==(const PortHolder &, const PortHolder &) = default;
};

struct PortLockFile
{
    QString path;       // /var/lock/LCK..ttyUSB0
    qint64 pid = 0;     // the process it names; 0 when it names none
    bool alive = false; // that process still runs
    QString command;    // its name, when it runs
    // What stands at the lock file's place when it is no regular file ("a
    // named pipe", "a link"); such a thing is never read. Empty for a file.
    QString notAFile;
};

struct PortFindings
{
    QString device;      // the path the program tried to open
    int openErrno = 0;   // why the system refused it; 0 when it did not refuse
    QString systemError; // the system's own words for the failure
    bool exists = false;
    unsigned mode = 0; // st_mode: type and permission bits
    // A character device that opened is a serial port only when it is a
    // terminal line (/dev/null opens and is none). True when it could not
    // be asked.
    bool terminal = true;
    QString ownerGroup;
    QString userName;
    QStringList userGroups;         // the groups this login has now
    bool userListedInGroup = false; // the group database names the user in ownerGroup
    QList<PortHolder> holders;      // other processes with the device open
    std::optional<PortLockFile> lockFile;
    QStringList portsPresent; // the serial ports the system knows of
    bool modemManagerRunning = false;
    bool brlttyRunning = false;
};

// "crw-rw----" for a character device readable and writable by owner and group.
QString modeText(unsigned mode);

// The cause and the fix, one sentence or command a line. A path that is no
// serial port is called that, and nobody is named as holding it.
QString diagnosePort(const PortFindings &findings);

// The status line of a port that did not open, from its diagnosis:
// "COM 1 (/dev/ttyS0): permission denied, see Setup, Communication Settings".
QString openFailureStatusLine(int comPort, const QString &device, const QString &details);

} // namespace ktv
