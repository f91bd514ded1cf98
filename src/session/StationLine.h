#pragma once
// One line of a station on a thread of its own: its own UnitSession (and
// serial link) and StationRun, made and ended on that thread, reporting to a
// StationView that lives on the thread that made the StationLine.
//
// Why a thread per line: every wait of a session is a nested event loop. Two
// sessions waiting in one thread wait inside each other: the inner wait must
// end before the outer one can, so a unit that is slow on one line would
// hold up every other line. Each line on its own thread waits only for its
// own unit. Writing the session's operations as non-blocking steps instead
// would mean rewriting every one of them (the check, the load, the reads).
//
// The view is called on the maker's thread, in the order the run reported,
// from its event loop; nothing of the view is touched from the line.

#include "protocol/Threads.h"
#include "session/StationRun.h"

#include <QObject>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>

namespace ktv {

// The serial numbers the operator gives on a line's panel, handed to the
// line's thread. A number given while none is asked is dropped.
class GivenSerialNumbers : public SerialNumberSource
{
  public:
    // From the view's thread: the number typed or scanned, Enter pressed.
    void give(const QString &serial);
    void ask() override;
    Answer take(QString *serial) override;
    void cancel() override;

  private:
    std::mutex mutex_;
    bool asked_ = false;
    std::optional<QString> given_;
};

// The stop-all line to a line that no run holds: its port opened at the
// setup's rate, the line written and the port closed, on a thread of its
// own, so that a port slow to open holds nobody. The thread is started;
// the caller may wait for it.
StartedThread startIdleHardLimit(const StationLineSetup &setup);

class StationLine : public QObject
{
    Q_OBJECT
  public:
    StationLine(const QString &storePath, StationLineSetup setup, StationView &view,
                QObject *parent = nullptr);
    // Ends the line as the program ends: nothing more is written, the check
    // under way stops at its next wait, and the thread is waited for.
    ~StationLine() override;

    const StationLineSetup &setup() const { return setup_; }
    QString name() const;

    void start();
    // Ends the run between units.
    void stop();
    // The stop-all line to the unit at the address at once, whatever the
    // run is doing (it is written from within the line's own wait); false
    // when no run holds the line, which is then the caller's to stop
    // (startIdleHardLimit).
    bool hardLimit();
    // The program ends: the line writes nothing more and its waits end,
    // at once; returns without waiting for the thread.
    void end();
    bool isRunning() const { return running_; }

  signals:
    // The run has ended and its thread with it (after the view's showRunEnded).
    void finished();

  private:
    void runLine();

    const QString storePath_;
    StationLineSetup setup_;
    StationView &view_;
    class Relay;
    std::unique_ptr<Relay> relay_;
    StartedThread thread_;
    bool running_ = false;

    std::mutex mutex_; // guards the two pointers and the two flags below
    UnitSession *session_ = nullptr;
    StationRun *run_ = nullptr;
    bool stopAsked_ = false;
    bool endAsked_ = false;
};

} // namespace ktv
