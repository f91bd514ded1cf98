#pragma once
// The window's side of the outbox: when a results server is set, the
// results waiting on this bench go at start-up and then once a minute. Each
// round runs on the results worker's thread (store/ResultsWorker.h), so a
// server that does not answer never holds the window, a run or Hard Limit;
// a round is not begun while the last one is still out. The status line
// says once that results wait, and once that they have gone.

#include "protocol/CheckReport.h"
#include "protocol/Outcome.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QTimer;

namespace ktv {

class ResultsWorker;

class ResultsSender : public QObject
{
    Q_OBJECT
  public:
    ResultsSender(const QString &storePath, const QString &journalPath, ResultsWorker &worker,
                  QObject *parent);

    // The start-up round, then the timer.
    void start();
    // The timer's tick: begins one round on the worker; false when none
    // began (no journal, or the last round is still out).
    bool sendWaiting();
    QTimer *timer() const { return timer_; }

    // A check made in the window (the production station), once the
    // journal's writer has tried to record it (recorded, else problem says
    // why): on this sender's thread, enqueues the server's half of
    // ResultsDelivery (it never waits), then tells what the operator should
    // know about where it went (empty when all went), on this thread.
    void send(const CheckReport &report, bool recorded, const QString &problem,
              std::function<void(const QString &)> told);

  signals:
    void status(const QString &text);
    // After each round's outcome has been taken in.
    void roundDone();

  private:
    struct Round
    {
        bool ran = false; // a results server is set
        int sent = 0;
        int waiting = 0;
        QString message;
        QString serverName;
    };
    // A result whose journal's half is done, and what the journal said.
    struct Recorded
    {
        CheckReport report;
        Outcome<void> journal;
    };
    // recorded: the server's half of that result; none: what waits.
    void post(std::function<void(const Round &)> then,
              const std::optional<Recorded> &recorded = std::nullopt);
    void takeIn(const Round &round);

    QString storePath_;
    QString journalPath_;
    ResultsWorker &worker_;
    QTimer *timer_ = nullptr;
    bool roundOut_ = false;
    bool toldWaiting_ = false;
    int sentSinceTold_ = 0;
};

} // namespace ktv
