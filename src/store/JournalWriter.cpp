#include "store/JournalWriter.h"

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

} // namespace ktv
