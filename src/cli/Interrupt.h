#pragma once
// Ctrl+C while the tool waits on the unit (and for the station, SIGTERM
// from a service manager and SIGHUP from a closed terminal alike). The
// signal handler only writes a byte to a pipe; the event loop (every wait of
// the session runs one) reads it and calls back, so the session can close
// the port and end its waits from ordinary code. A second Ctrl+C ends the
// process at once, wherever it waits.

#include <QObject>
#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace ktv::cli {

class InterruptWatch : public QObject
{
    Q_OBJECT
  public:
    // Installs the handler of each signal (SIGINT unless others are named);
    // only one watch may exist at a time.
    explicit InterruptWatch(std::function<void()> onInterrupt,
                            std::initializer_list<int> watched = {SIGINT});
    ~InterruptWatch() override;

    bool interrupted() const { return interrupted_; }

  private:
    void readPipe();

    std::function<void()> onInterrupt_;
    std::vector<int> signals_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

} // namespace ktv::cli
