#pragma once
// Where every check's result goes, the window's, the station's and the
// tool's alike: into the journal first (its results not yet sent are the
// outbox), then to the results server with whatever else waits there; a
// result the journal cannot take goes straight to the server. Without a
// results server, the journal alone. The server being away changes no
// verdict and holds nobody up: the result waits, and the caller gets one
// message naming the server.

#include "protocol/CheckReport.h"
#include "protocol/Outcome.h"
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
    // An empty setting: no results server, the journal alone.
    ResultsDelivery(const QString &journalPath, const QString &setting);
    // With a server kept elsewhere (the results worker's, on its thread).
    ResultsDelivery(const QString &journalPath, ResultsServer &server);

    // The whole of it: the journal, then the server.
    Delivery deliver(const CheckReport &report);
    // The journal's half alone, for a caller that writes the journal on one
    // thread and leaves the server's half to another.
    static Outcome<void> record(const QString &journalPath, const CheckReport &report);
    // The server's half, once the journal's was tried: a result the journal
    // took goes with whatever else waits; one it did not take is offered to
    // the journal once more and then goes straight. Without a server, what
    // the journal said.
    Delivery afterRecord(const CheckReport &report, const Outcome<void> &recorded);
    // Sends what waits (the start of a command with a results server).
    Delivery sync();

    bool hasServer() const { return server_ != nullptr; }
    // Only with a server.
    ResultsServer &server() { return *server_; }
    ResultsOutbox &outbox() { return outbox_; }

  private:
    ResultsOutbox outbox_;
    std::unique_ptr<ResultsServer> own_;
    ResultsServer *server_ = nullptr;
};

} // namespace ktv
