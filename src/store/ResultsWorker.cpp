#include "store/ResultsWorker.h"

#include "protocol/Threads.h"
#include "store/ResultsServer.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <atomic>

namespace ktv {

struct ResultsWorker::Shared
{
    QMutex mutex;
    ResultsWorker *home = nullptr; // null once the ResultsWorker ends
    std::atomic<bool> ending{false};
};

class ResultsWorker::Runner : public QObject, public ResultsServers
{
  public:
    // Only ever touched on the worker's thread.
    std::unique_ptr<ResultsServer> kept;
    QString setting;

    ResultsServer *server(const QString &wanted) override
    {
        if (!kept || wanted != setting) {
            kept.reset();
            setting = wanted;
            if (!wanted.trimmed().isEmpty())
                kept = std::make_unique<ResultsServer>(wanted);
        }
        return kept.get();
    }
};

// The connection ends on the thread that made it, after the job in progress,
// and the thread with it; the jobs queued behind it see the end and do
// nothing.
void ResultsWorker::endOn(Runner *runner)
{
    QMetaObject::invokeMethod(
        runner,
        [runner] {
            runner->kept.reset();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
}

ResultsWorker::ResultsWorker(QObject *parent)
    : QObject(parent), shared_(std::make_shared<Shared>()), runner_(new Runner)
{
    shared_->home = this;
    thread_ = threads::startLoop(QStringLiteral("results"), runner_,
                                 [runner = runner_] { endOn(runner); });
}

ResultsWorker::~ResultsWorker()
{
    {
        QMutexLocker lock(&shared_->mutex);
        shared_->home = nullptr;
    }
    shared_->ending = true;
    endOn(runner_);
    thread_.wait();
    delete runner_;
}

void ResultsWorker::post(Job job)
{
    ++pending_;
    QMetaObject::invokeMethod(
        runner_,
        [runner = runner_, shared = shared_, job = std::move(job)] {
            if (shared->ending)
                return;
            Reply reply = job(*runner);
            QMutexLocker lock(&shared->mutex);
            if (!shared->home)
                return;
            QMetaObject::invokeMethod(
                shared->home,
                [home = shared->home, reply = std::move(reply)] {
                    --home->pending_;
                    if (reply)
                        reply();
                    emit home->replied();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace ktv
