#pragma once
// Results waiting for the results server, kept on the bench in the journal
// database (journal.sqlite), table "results_outbox": one row per check,
// keyed by its UUID, holding the whole result, when it was kept and when the
// server committed it (NULL while it waits). A result is marked sent only
// after the server's commit, so a failure at any point leaves it waiting,
// and sending it again is harmless: the server keeps a UUID once.
//
// The table is made on first use beside the journal's own; it leaves the
// file's user_version to the journal.

#include "protocol/CheckReport.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace ktv {

class ResultsServer;
class StoreConnection;

class ResultsOutbox
{
  public:
    explicit ResultsOutbox(const QString &path);
    ~ResultsOutbox();
    ResultsOutbox(const ResultsOutbox &) = delete;
    ResultsOutbox &operator=(const ResultsOutbox &) = delete;

    QString path() const { return path_; }
    // Keeps a result to be sent; a UUID already kept changes nothing.
    bool keep(const CheckReport &report, QString *problem);
    // The results not yet sent, oldest first.
    std::optional<std::vector<CheckReport>> waiting(QString *problem);
    bool markSent(const QUuid &id, QString *problem);

  private:
    bool open(QString *problem);

    QString path_;
    std::unique_ptr<StoreConnection> connection_;
};

struct OutboxSync
{
    int sent = 0;    // committed by the server now (or found there already)
    int waiting = 0; // still in the outbox
    QString problem; // the first failure; empty when all went
};

// Sends each waiting result, oldest first, and marks it sent after the
// server's commit. A server that cannot be reached ends the round: the rest
// wait for the next one.
OutboxSync syncOutbox(ResultsOutbox &outbox, ResultsServer &server);

} // namespace ktv
