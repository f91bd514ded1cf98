#pragma once
// The window's side of the outbox: when a results server is set, the
// results waiting on this bench go at start-up and then once a minute. Each
// round runs on the results worker's thread (store/ResultsWorker.h), so a
// server that does not answer never holds the window, a run or Hard Limit;
// a round is not begun while the last one is still out. The status line
// says once that results wait, and once that they have gone.

#include "protocol/CheckReport.h"

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

    // A check made in the window (the production station): kept in the
    // journal at once, then sent with whatever waits when a results server
    // is set. told gets what the operator should know about where it went
    // (empty when all went), after the round, on the window's thread.
    void keep(const CheckReport &report, std::function<void(const QString &)> told);
    // keep's two halves, for a check made on a thread of its own (a station's
    // line): record writes the journal on the caller's thread (false: it
    // could not, problem says why); send, on this sender's thread, enqueues
    // the round (it never waits) and then tells, as keep does.
    static bool record(const QString &journalPath, const CheckReport &report, QString *problem);
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
    // straight: a result the journal could not take, sent on its own.
    void post(std::function<void(const Round &)> then,
              const std::optional<CheckReport> &straight = std::nullopt);
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
