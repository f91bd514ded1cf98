#pragma once
// The window's side of the outbox: when a results server is set, the
// results waiting on this bench go at start-up and then at most once a
// minute while any wait. A round where nothing waits reads only the
// journal; one with results waiting holds the window for the connect
// timeout at most, and none runs while a dialog is open or a run is in
// progress (it could hold up the run's waits). The status line says once
// that results wait, and once that they have gone.

#include "protocol/CheckReport.h"

#include <QObject>
#include <QString>
#include <functional>

class QTimer;

namespace ktv {

class ResultsSender : public QObject
{
    Q_OBJECT
  public:
    using Busy = std::function<bool()>;
    ResultsSender(const QString &storePath, const QString &journalPath, Busy busy, QObject *parent);

    // The start-up round, then the timer.
    void start();
    // The timer's tick: one round, unless a wait or a dialog runs in a
    // nested event loop; false when none ran.
    bool sendWaiting();
    QTimer *timer() const { return timer_; }

    // A check made in the window (the production station): kept in the
    // journal, and sent with whatever waits when a results server is set.
    // What the operator should know about where it went, else empty.
    static QString keep(const QString &storePath, const QString &journalPath,
                        const CheckReport &report);

  signals:
    void status(const QString &text);

  private:
    bool round();

    QString storePath_;
    QString journalPath_;
    Busy busy_;
    QTimer *timer_ = nullptr;
    bool toldWaiting_ = false;
    int sentSinceTold_ = 0;
};

} // namespace ktv
