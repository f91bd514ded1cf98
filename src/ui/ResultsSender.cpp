#include "ui/ResultsSender.h"

#include "session/ResultsDelivery.h"
#include "store/ResultsSetting.h"
#include "store/ResultsWorker.h"

#include <QPointer>
#include <QTimer>

namespace ktv {

ResultsSender::ResultsSender(const QString &storePath, const QString &journalPath,
                             ResultsWorker &worker, QObject *parent)
    : QObject(parent), storePath_(storePath), journalPath_(journalPath), worker_(worker),
      timer_(new QTimer(this))
{
    setObjectName(QStringLiteral("resultsSender"));
    timer_->setInterval(60 * 1000);
    connect(timer_, &QTimer::timeout, this, [this] { sendWaiting(); });
}

void ResultsSender::start()
{
    sendWaiting();
    timer_->start();
}

bool ResultsSender::sendWaiting()
{
    if (journalPath_.isEmpty() || roundOut_)
        return false;
    roundOut_ = true;
    post([this](const Round &round) {
        roundOut_ = false;
        takeIn(round);
    });
    return true;
}

void ResultsSender::send(const CheckReport &report, bool recorded, const QString &problem,
                         std::function<void(const QString &)> told)
{
    if (journalPath_.isEmpty())
        return;
    post(
        [this, problem, told = std::move(told)](const Round &round) {
            takeIn(round);
            told(round.ran ? round.message : problem);
        },
        Recorded{report, recorded ? Outcome<void>() : Outcome<void>::failure(problem)});
}

void ResultsSender::post(std::function<void(const Round &)> then,
                         const std::optional<Recorded> &recorded)
{
    QPointer<ResultsSender> self(this);
    worker_.post([store = storePath_, journal = journalPath_, self, then = std::move(then),
                  recorded](ResultsServers &servers) -> ResultsWorker::Reply {
        Round round;
        // Read each round: Setup > Results Database may have changed it.
        const QString setting = readResultsSetting(store).setting;
        if (ResultsServer *server = servers.server(setting)) {
            ResultsDelivery delivery(journal, *server);
            const Delivery sync = recorded
                                      ? delivery.afterRecord(recorded->report, recorded->journal)
                                      : delivery.sync();
            round = {true, sync.sent, sync.waiting, sync.message, server->serverName()};
        }
        return [self, then, round] {
            if (self)
                then(round);
        };
    });
}

void ResultsSender::takeIn(const Round &round)
{
    if (round.ran) {
        sentSinceTold_ += round.sent;
        if (round.waiting > 0) {
            if (!toldWaiting_)
                emit status(round.message);
            toldWaiting_ = true;
        } else if (sentSinceTold_ > 0) {
            emit status(QStringLiteral("%1 sent to %2.")
                            .arg(sentSinceTold_ == 1
                                     ? QStringLiteral("1 waiting result")
                                     : QStringLiteral("%1 waiting results").arg(sentSinceTold_),
                                 round.serverName));
            toldWaiting_ = false;
            sentSinceTold_ = 0;
        }
    }
    emit roundDone();
}

} // namespace ktv
