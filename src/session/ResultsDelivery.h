#pragma once
// A check's result leaves the bench: it goes first into the outbox of the
// journal database, then to the results server with whatever else waits
// there. The server being away changes no verdict and holds nobody up: the
// result waits, and the caller gets one message naming the server.

#include "protocol/CheckReport.h"
#include "store/ResultsOutbox.h"
#include "store/ResultsServer.h"

#include <QString>
#include <memory>

namespace ktv {

struct Delivery
{
    bool kept = true; // false: not even the outbox could take the result
    int sent = 0;     // reached the server in this round (older ones too)
    int waiting = 0;  // still on this bench
    QString message;  // for the operator; empty when everything went
};

class ResultsDelivery
{
  public:
    ResultsDelivery(const QString &journalPath, const QString &setting);
    // With a server kept elsewhere (the results worker's, on its thread).
    ResultsDelivery(const QString &journalPath, ResultsServer &server);

    // Keeps the report, then sends everything waiting.
    Delivery deliver(const CheckReport &report);
    // Sends what waits (the start of a command with a results server).
    Delivery sync();

    ResultsServer &server() { return server_; }
    ResultsOutbox &outbox() { return outbox_; }

  private:
    ResultsOutbox outbox_;
    std::unique_ptr<ResultsServer> own_;
    ResultsServer &server_;
};

} // namespace ktv
