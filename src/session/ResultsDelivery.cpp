#include "session/ResultsDelivery.h"

namespace ktv {

ResultsDelivery::ResultsDelivery(const QString &journalPath, const QString &setting)
    : outbox_(journalPath),
      own_(setting.isEmpty() ? nullptr : std::make_unique<ResultsServer>(setting)),
      server_(own_.get())
{
}

ResultsDelivery::ResultsDelivery(const QString &journalPath, ResultsServer &server)
    : outbox_(journalPath), server_(&server)
{
}

Outcome<void> ResultsDelivery::record(const QString &journalPath, const CheckReport &report)
{
    QString problem;
    if (!CheckResults(journalPath).record(report, &problem))
        return Outcome<void>::failure(problem);
    return {};
}

Delivery ResultsDelivery::afterRecord(const CheckReport &report, const Outcome<void> &recorded)
{
    if (recorded)
        return sync();
    if (!server_)
        return {false, 0, 0, recorded.problem()};
    return deliver(report);
}

Delivery ResultsDelivery::deliver(const CheckReport &report)
{
    QString problem;
    if (!outbox_.keep(report, &problem)) {
        if (!server_)
            return {false, 0, 0, problem};
        // The journal cannot take it: send it straight, or lose nothing
        // but the record on this bench.
        Delivery delivery;
        delivery.kept = false;
        if (server_->send(report, &problem) != SendOutcome::Failed) {
            delivery.sent = 1;
            delivery.message = problem;
        } else {
            delivery.message = QStringLiteral("The result was neither kept nor sent. ") + problem;
        }
        return delivery;
    }
    return sync();
}

Delivery ResultsDelivery::sync()
{
    if (!server_)
        return {};
    const OutboxSync round = syncOutbox(outbox_, *server_);
    Delivery delivery;
    delivery.sent = round.sent;
    delivery.waiting = round.waiting;
    const QString count = round.waiting == 1 ? QStringLiteral("1 result")
                                             : QStringLiteral("%1 results").arg(round.waiting);
    if (round.waiting > 0 && !server_->settingProblem().isEmpty())
        delivery.message =
            QStringLiteral("%1 kept on this bench. %2").arg(count, server_->settingProblem());
    else if (round.waiting > 0)
        delivery.message = QStringLiteral("%1 kept on this bench until %2 answers. %3")
                               .arg(count, server_->serverName(), round.problem);
    else
        delivery.message = round.problem;
    return delivery;
}

} // namespace ktv
