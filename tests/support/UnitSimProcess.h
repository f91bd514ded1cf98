#pragma once
// The simulated unit (ktraveld-unitsim) as a child process of a test. It runs
// on a fresh pseudo-terminal whose path devicePath() gives, and records every
// line it receives into a file that this object owns and re-reads on demand.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ktv::test {

struct UnitSimOptions
{
    QString model = QStringLiteral("KTRA20");
    QString revision = QStringLiteral("1.07");
    int address = 0;
    int baud = 9600;
    QString mode = QStringLiteral("normal");
    QStringList extraArgs; // e.g. {"--split-gap", "200"}, {"--ack"}
};

// One line as the unit received it: the monotonic time its end arrived
// (seconds, the clock of QElapsedTimer), the rate in force, whether the unit
// answered, and the exact bytes (CR included).
struct ReceivedLine
{
    double t = 0;
    int baud = 0;
    bool answered = false;
    QByteArray bytes;
};

// The bytes of each line, in the order the unit heard them.
QList<QByteArray> bytesOf(const QList<ReceivedLine> &lines);

class UnitSimProcess
{
  public:
    explicit UnitSimProcess(const UnitSimOptions &options = {});
    ~UnitSimProcess();
    UnitSimProcess(const UnitSimProcess &) = delete;
    UnitSimProcess &operator=(const UnitSimProcess &) = delete;

    // Starts the unit and waits (at most 5 s) for it to name its line.
    bool start();
    QString devicePath() const { return m_devicePath; }
    QString recordPath() const;
    // The unit's control file: "remove" takes it off the line, "insert MODEL
    // ADDRESS" puts a new one on, "mute MS" keeps the same unit deaf and
    // silent for MS milliseconds. Waits (the event loop running) until the
    // unit says it obeyed; false when it did not within 2 s.
    QString controlPath() const;
    bool control(const QByteArray &order);
    // Everything the unit has received so far, read from the record file.
    QList<ReceivedLine> received() const;
    QList<QByteArray> receivedBytes() const;
    QList<QByteArray> receivedAt(int baud) const;
    // Waits until at least n lines are recorded. The wait runs the event loop
    // in short slices, so serial ports and timers of the caller keep working.
    bool waitForLineCount(int n, int timeoutMs = 3000) const;
    void clearRecord();
    // SIGTERM, and SIGKILL if the unit has not ended within 3 s.
    void terminate();
    // SIGKILL: the unit's side of the line vanishes at once.
    void kill();
    // The line vanishes like an unplugged USB adapter (SIGUSR1); returns once
    // its device is gone. replug() brings a new line (SIGUSR2) and returns
    // once the unit has named it; devicePath() then gives the new one.
    bool unplug();
    bool replug();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

  private:
    UnitSimOptions m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_devicePath;
    QByteArray m_said; // what the unit said on stdout after naming its line
};

} // namespace ktv::test
