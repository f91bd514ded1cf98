#pragma once
// Results waiting for the results server. A check's result is recorded
// first in the journal database (CheckResults); its "sent" mark stays empty
// until the server has committed it, so the checks without the mark are the
// outbox. A failure at any point leaves a result waiting, and sending it
// again is harmless: the server keeps a UUID once.

#include "protocol/CheckReport.h"
#include "store/CheckResults.h"

#include <QString>
#include <optional>
#include <vector>

namespace ktv {

class ResultsServer;

class ResultsOutbox
{
  public:
    explicit ResultsOutbox(const QString &journalPath);

    // Records a result to be sent; a UUID already recorded changes nothing.
    bool keep(const CheckReport &report, QString *problem);
    // The results not yet sent, oldest first.
    std::optional<std::vector<CheckReport>> waiting(QString *problem);
    bool markSent(const QUuid &id, QString *problem);

  private:
    CheckResults results_;
};

struct OutboxSync
{
    int sent = 0;    // committed by the server now (or found there already)
    int waiting = 0; // still in the outbox
    QString problem; // the first failure; empty when all went
};

// Sends each waiting result, oldest first, and marks it sent after the
// server's commit. The first failure that was waited for (a server away, a
// table held, a statement timed out) ends the round, so a round costs one
// statement's timeout at most: the rest wait for the next round. A result
// the server refuses at once waits alone; the others still go.
OutboxSync syncOutbox(ResultsOutbox &outbox, ResultsServer &server);

} // namespace ktv
