#include "store/ResultsOutbox.h"

#include "store/ResultsServer.h"

#include <QElapsedTimer>

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

namespace {

// Longer than a refusal takes; shorter than any wait the server ends.
constexpr qint64 RefusedAtOnceMs = 500;

} // namespace

OutboxSync syncOutbox(ResultsOutbox &outbox, ResultsServer &server)
{
    OutboxSync sync;
    const auto waiting = outbox.waiting(&sync.problem);
    if (!waiting)
        return sync;
    sync.waiting = int(waiting->size());
    for (const CheckReport &report : *waiting) {
        QString problem;
        QElapsedTimer clock;
        clock.start();
        if (server.send(report, &problem) == SendOutcome::Failed) {
            if (sync.problem.isEmpty())
                sync.problem = problem;
            // A failure that was waited for (a table another session holds,
            // a statement that timed out, a server away) would cost every
            // result behind it as much: the round ends, and the rest wait
            // for the next one. A result the server refused at once leaves
            // the others going.
            if (!server.connected() || clock.elapsed() >= RefusedAtOnceMs)
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
