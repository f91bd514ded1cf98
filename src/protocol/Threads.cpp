#include "protocol/Threads.h"

#include <QCoreApplication>
#include <QThread>
#include <mutex>
#include <vector>

namespace ktv {

namespace threads {

struct Entry
{
    QThread *thread = nullptr;
    Ending ending; // empty for a job
    Entry() = default;
    Entry(const Entry &) = delete;
    Entry &operator=(const Entry &) = delete;
    // The last holder lets go of a thread that has ended, or waits for it.
    ~Entry()
    {
        thread->wait();
        delete thread;
    }
};

namespace {

struct Registry
{
    std::mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;
    QCoreApplication *hooked = nullptr; // the application whose end ends them

    Registry() = default;
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;
    ~Registry();
};

// Every worker asked to end, and every thread waited for. A worker that
// ends may start a job as it goes: the list is taken again until it stays
// empty.
void endEvery(Registry &list)
{
    for (;;) {
        std::vector<std::shared_ptr<Entry>> taken;
        {
            std::lock_guard lock(list.mutex);
            taken.swap(list.entries);
        }
        if (taken.empty())
            return;
        for (const auto &entry : taken)
            if (entry->ending && !entry->thread->isFinished())
                entry->ending();
        for (const auto &entry : taken)
            entry->thread->wait();
    }
}

// A program without an application object ends its threads here.
Registry::~Registry()
{
    endEvery(*this);
}

Registry &registry()
{
    static Registry list;
    return list;
}

void endAllAsApplicationGoes()
{
    {
        std::lock_guard lock(registry().mutex);
        registry().hooked = nullptr;
    }
    endAll();
}

// With the list's mutex held: ties the list to the application's end.
void hookApplication(Registry &list)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || application == list.hooked)
        return;
    list.hooked = application;
    QObject::connect(application, &QCoreApplication::aboutToQuit, application,
                     [] { waitForJobs(); });
    // Runs first thing as the application object is destroyed.
    qAddPostRoutine(&endAllAsApplicationGoes);
}

} // namespace
} // namespace threads

struct ThreadsAccess
{
    static StartedThread made(std::shared_ptr<threads::Entry> entry)
    {
        return StartedThread(std::move(entry));
    }
};

bool StartedThread::isRunning() const
{
    return entry_ && !entry_->thread->isFinished();
}

void StartedThread::wait() const
{
    if (entry_)
        entry_->thread->wait();
}

namespace threads {

namespace {

StartedThread keep(QThread *thread, Ending ending)
{
    auto entry = std::make_shared<Entry>();
    entry->thread = thread;
    entry->ending = std::move(ending);
    std::vector<std::shared_ptr<Entry>> ended;
    {
        Registry &list = registry();
        std::lock_guard lock(list.mutex);
        // The threads started from here that have ended leave the list
        // (deleted below, out of the lock, unless their starter still holds
        // them): a thread object is deleted on the thread it belongs to.
        for (auto it = list.entries.begin(); it != list.entries.end();) {
            if ((*it)->thread->isFinished() &&
                (*it)->thread->thread() == QThread::currentThread()) {
                ended.push_back(std::move(*it));
                it = list.entries.erase(it);
            } else {
                ++it;
            }
        }
        list.entries.push_back(entry);
        hookApplication(list);
    }
    thread->start();
    return ThreadsAccess::made(std::move(entry));
}

} // namespace

StartedThread start(const QString &name, std::function<void()> work, Ending ending)
{
    return start(name, std::move(work), nullptr, {}, std::move(ending));
}

StartedThread start(const QString &name, std::function<void()> work, QObject *context,
                    std::function<void()> then, Ending ending)
{
    QThread *thread = QThread::create(std::move(work));
    thread->setObjectName(name);
    // Made before the thread starts, so that no end is missed; queued to the
    // context, so that it runs on the context's thread, and dropped with it.
    if (context && then)
        QObject::connect(thread, &QThread::finished, context, std::move(then),
                         Qt::QueuedConnection);
    return keep(thread, std::move(ending));
}

StartedThread startLoop(const QString &name, QObject *worker, Ending ending)
{
    auto *thread = new QThread;
    thread->setObjectName(name);
    worker->moveToThread(thread);
    if (!ending)
        ending = [thread] { thread->quit(); };
    return keep(thread, std::move(ending));
}

void waitForJobs()
{
    std::vector<std::shared_ptr<Entry>> jobs;
    {
        Registry &list = registry();
        std::lock_guard lock(list.mutex);
        for (const auto &entry : list.entries)
            if (!entry->ending)
                jobs.push_back(entry);
    }
    for (const auto &job : jobs)
        job->thread->wait();
}

void endAll()
{
    endEvery(registry());
}

int running()
{
    Registry &list = registry();
    std::lock_guard lock(list.mutex);
    int count = 0;
    for (const auto &entry : list.entries)
        if (!entry->thread->isFinished())
            ++count;
    return count;
}

} // namespace threads
} // namespace ktv
