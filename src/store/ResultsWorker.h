#pragma once
// The results server's own thread. Every exchange with the server that the
// window asks for (a send round, a production run's result, the Results
// window's lists, the Test button) runs here, so that a server that does not
// answer holds this thread and never the operator's: the window keeps
// handling Hard Limit and the line while a connection waits.
//
// A job runs on the worker's thread with the ResultsServer made there (a
// QSqlDatabase connection belongs to the thread that made it); one server
// is kept, and made afresh when the setting changes. The job
// returns what to do with its outcome, which runs back on the thread of the
// ResultsWorker, in the order the jobs were posted; once the ResultsWorker
// is gone, nothing comes back.
//
// Ending waits for the job in progress, whose every wait is bounded
// (ResultsServer.h), and drops the jobs not started.

#include "protocol/Threads.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace ktv {

class ResultsServer;

// The worker's servers, one per setting, for a job on its thread.
class ResultsServers
{
  public:
    // Null when the setting is empty (no results server).
    virtual ResultsServer *server(const QString &setting) = 0;

  protected:
    ~ResultsServers() = default;
};

class ResultsWorker : public QObject
{
    Q_OBJECT
  public:
    using Reply = std::function<void()>;
    using Job = std::function<Reply(ResultsServers &servers)>;

    explicit ResultsWorker(QObject *parent = nullptr);
    ~ResultsWorker() override;
    ResultsWorker(const ResultsWorker &) = delete;
    ResultsWorker &operator=(const ResultsWorker &) = delete;

    void post(Job job);
    // Jobs posted whose reply has not yet run.
    int pending() const { return pending_; }

  signals:
    // After each reply has run.
    void replied();

  private:
    struct Shared;
    class Runner;
    static void endOn(Runner *runner);

    std::shared_ptr<Shared> shared_;
    Runner *runner_ = nullptr;
    StartedThread thread_;
    int pending_ = 0;
};

} // namespace ktv
