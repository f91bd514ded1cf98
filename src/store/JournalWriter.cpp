#include "store/JournalWriter.h"

#include "store/CheckResults.h"

#include <QThread>

namespace ktv {

JournalWriter::JournalWriter(const QString &path, QObject *parent)
    : QObject(parent), path_(path), thread_(new QThread), inThread_(new QObject),
      journal_(std::make_unique<Journal>(path))
{
    thread_->setObjectName(QStringLiteral("journal"));
    inThread_->moveToThread(thread_);
    thread_->start();
}

JournalWriter::~JournalWriter()
{
    // The connection ends on the thread that made it, after the rows queued.
    QMetaObject::invokeMethod(
        inThread_,
        [this] {
            journal_.reset();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    thread_->wait();
    delete inThread_;
    delete thread_;
}

void JournalWriter::append(const JournalEntry &entry)
{
    QMetaObject::invokeMethod(
        inThread_,
        [this, entry] {
            QString problem;
            if (journal_->append(entry, &problem))
                return;
            // Said on the writer's own thread: the signal is queued there.
            emit failed(problem);
        },
        Qt::QueuedConnection);
}

void JournalWriter::record(const CheckReport &report,
                           std::function<void(bool recorded, const QString &problem)> then)
{
    QMetaObject::invokeMethod(
        inThread_,
        [this, report, then = std::move(then)] {
            QString problem;
            const bool recorded = CheckResults(path_).record(report, &problem);
            // Back on the writer's own thread; dropped once the writer has gone.
            QMetaObject::invokeMethod(
                this, [then, recorded, problem] { then(recorded, problem); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace ktv
