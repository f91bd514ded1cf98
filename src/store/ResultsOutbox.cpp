#include "store/ResultsOutbox.h"

#include "store/ResultsServer.h"

namespace ktv {

ResultsOutbox::ResultsOutbox(const QString &journalPath) : results_(journalPath) {}

bool ResultsOutbox::keep(const CheckReport &report, QString *problem)
{
    return results_.record(report, problem);
}

std::optional<std::vector<CheckReport>> ResultsOutbox::waiting(QString *problem)
{
    QString why;
    std::vector<CheckReport> reports = results_.waiting(&why);
    if (!why.isEmpty()) {
        if (problem)
            *problem = why;
        return std::nullopt;
    }
    return reports;
}

bool ResultsOutbox::markSent(const QUuid &id, QString *problem)
{
    return results_.markSent(id, problem);
}

OutboxSync syncOutbox(ResultsOutbox &outbox, ResultsServer &server)
{
    OutboxSync sync;
    const auto waiting = outbox.waiting(&sync.problem);
    if (!waiting)
        return sync;
    sync.waiting = int(waiting->size());
    for (const CheckReport &report : *waiting) {
        QString problem;
        if (server.send(report, &problem) == SendOutcome::Failed) {
            if (sync.problem.isEmpty())
                sync.problem = problem;
            // A server that answers refused this one result: the others may
            // still go. One that does not answer ends the round.
            if (!server.connected())
                break;
            continue;
        }
        if (!outbox.markSent(report.id, &problem)) {
            // Sent, and still waiting here: the next round sends it again,
            // which the server ignores.
            if (sync.problem.isEmpty())
                sync.problem = problem;
            break;
        }
        ++sync.sent;
        --sync.waiting;
    }
    return sync;
}

} // namespace ktv
