#pragma once
// The one way the program starts a thread. Every thread is started here and
// kept in one list, so that each is ended before the application object
// goes, for the window and the tool alike; none is detached.
//
// Two kinds:
// - a job does its work and ends by itself (a report written, the figures
//   of a chart read, a stop line written to an idle port);
// - a worker lives as long as its owner and ends when asked (the journal's
//   writer, the results server's worker, a station line). Its ending is the
//   call that asks it to end; it runs on the application's thread.
// When the program's event loop ends, the jobs still running are waited for
// (a report's pages still need the application's fonts). As the application
// object goes, every worker still running is asked to end, and every thread
// is waited for. A thread whose owner has gone is waited for there too.
//
// A job's result reaches its caller queued to a context object: it runs on
// the context's thread, from its event loop, and not at all once the
// context has gone. See docs/threads.md for which thread runs what.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

class QThread;

namespace ktv {

namespace threads {
struct Entry;
}

// A thread started through threads::start; cheap to copy. Dropping every
// copy neither waits for the thread nor ends it: the list still holds it.
class StartedThread
{
  public:
    StartedThread() = default;
    bool isRunning() const;
    // Waits until the thread has ended (at once when it has, or when
    // nothing was started). Never from the thread itself.
    void wait() const;

  private:
    friend struct ThreadsAccess;
    explicit StartedThread(std::shared_ptr<threads::Entry> entry) : entry_(std::move(entry)) {}
    std::shared_ptr<threads::Entry> entry_;
};

namespace threads {

// Asks a worker to end; called on the application's thread as it ends.
using Ending = std::function<void()>;

// Runs work on a thread of its own, named name. Without an ending it is a
// job; with one, a worker.
StartedThread start(const QString &name, std::function<void()> work, Ending ending = {});

// The same, and then, when work has returned, runs then on context's
// thread from its event loop; not at all when context has gone by then.
StartedThread start(const QString &name, std::function<void()> work, QObject *context,
                    std::function<void()> then, Ending ending = {});

// Runs work on a thread of its own and hands what it returns to done, on
// context's thread (as above).
template <typename Work, typename Done>
StartedThread run(const QString &name, QObject *context, Work work, Done done, Ending ending = {})
{
    using Result = std::invoke_result_t<Work &>;
    if constexpr (std::is_void_v<Result>) {
        return start(name, std::function<void()>(std::move(work)), context,
                     std::function<void()>(std::move(done)), std::move(ending));
    } else {
        auto result = std::make_shared<std::optional<Result>>();
        return start(
            name, [result, work = std::move(work)]() mutable { result->emplace(work()); }, context,
            [result, done = std::move(done)]() mutable { done(std::move(**result)); },
            std::move(ending));
    }
}

// A worker whose thread runs an event loop: worker (an object without a
// parent, made on the caller's thread) is moved to it before it starts, and
// its calls arrive queued. The loop ends by ending, or by quitting it when
// none is given; the worker is its owner's to delete once the thread ended.
StartedThread startLoop(const QString &name, QObject *worker, Ending ending = {});

// The jobs still running are waited for; the workers run on.
void waitForJobs();
// Every worker still running is asked to end, and every thread is waited
// for, the threads started meanwhile too. Runs as the application object
// goes (and at the program's end when there was none); tests call it.
void endAll();
// The threads started and not yet ended.
int running();

} // namespace threads
} // namespace ktv
