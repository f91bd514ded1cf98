// check and results with the plant's results server: a check's result goes
// at once, and whatever waited on this bench with it; results reads the
// server; results --sync sends what waits. The server being away never
// changes a verdict or an exit code of check.

#include "cli/CheckCommands.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "session/ResultsDelivery.h"
#include "store/ResultsServer.h"

namespace ktv::cli {

void CheckCommands::sendWaitingResults(const QString &journalPath)
{
    if (resultsSetting_.isEmpty())
        return;
    ResultsDelivery delivery(journalPath, resultsSetting_);
    delivery.server().setProgress([this](const QString &text) { host_.tell(text, code::Notice); });
    const Delivery round = delivery.sync();
    if (round.waiting > 0)
        host_.tell(round.message, code::ResultsWaiting);
    else if (!round.message.isEmpty())
        host_.tell(round.message, code::JournalWarning);
}

void CheckCommands::deliverResult(const QString &journalPath, const CheckReport &report)
{
    ResultsDelivery delivery(journalPath, resultsSetting_);
    if (delivery.hasServer())
        delivery.server().setProgress(
            [this](const QString &text) { host_.tell(text, code::Notice); });
    const Delivery round = delivery.deliver(report);
    if (round.message.isEmpty())
        return;
    host_.tell(round.message,
               round.kept && round.waiting > 0 ? code::ResultsWaiting : code::JournalWarning);
}

int CheckCommands::syncResults(const QString &journalPath)
{
    if (resultsSetting_.isEmpty()) {
        host_.tell(QStringLiteral("No results server is set: give --results-db or keep a "
                                  "setting in the store's \"Results Database\" table."),
                   code::UsageError);
        return ExitUsage;
    }
    ResultsDelivery delivery(journalPath, resultsSetting_);
    delivery.server().setProgress([this](const QString &text) { host_.tell(text, code::Notice); });
    const Delivery round = delivery.sync();
    if (!round.message.isEmpty())
        host_.tell(round.message, round.waiting > 0 ? code::ResultsWaiting : code::JournalWarning);
    const QString server = delivery.server().serverName();
    json_ = {{QStringLiteral("server"), server},
             {QStringLiteral("sent"), round.sent},
             {QStringLiteral("waiting"), round.waiting}};
    text_ = QStringLiteral("%1 sent to %2, %3 waiting.\n")
                .arg(round.sent == 1 ? QStringLiteral("1 result")
                                     : QStringLiteral("%1 results").arg(round.sent),
                     server)
                .arg(round.waiting);
    return round.waiting > 0 || !round.message.isEmpty() ? ExitNoUnit : ExitDone;
}

bool CheckCommands::listFromServer(const QString &journalPath, const ResultsFilter &filter,
                                   bool csv)
{
    if (resultsSetting_.isEmpty())
        return false;
    // One server for the round and the list: a server that does not answer
    // is waited for once.
    ResultsServer server(resultsSetting_);
    server.setProgress([this](const QString &text) { host_.tell(text, code::Notice); });
    ResultsDelivery delivery(journalPath, server);
    const Delivery round = delivery.sync(); // so that the server's list holds them
    if (round.waiting > 0 && !server.connected()) {
        host_.tell(round.message + QStringLiteral(" The checks recorded on this computer follow."),
                   code::ResultsUnavailable);
        return false;
    }
    if (!round.message.isEmpty())
        host_.tell(round.message, round.waiting > 0 ? code::ResultsWaiting : code::JournalWarning);
    QString problem;
    const auto reports = server.list(filter, &problem);
    if (!reports) {
        host_.tell(problem + QStringLiteral(" The checks recorded on this computer follow."),
                   code::ResultsUnavailable);
        return false;
    }
    printResults(*reports, server.serverName(), true, csv);
    return true;
}

} // namespace ktv::cli
