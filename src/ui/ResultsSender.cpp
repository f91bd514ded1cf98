#include "ui/ResultsSender.h"

#include "session/ResultsDelivery.h"
#include "store/CheckResults.h"
#include "store/ResultsSetting.h"

#include <QApplication>
#include <QThread>
#include <QTimer>

namespace ktv {

ResultsSender::ResultsSender(const QString &storePath, const QString &journalPath, Busy busy,
                             QObject *parent)
    : QObject(parent), storePath_(storePath), journalPath_(journalPath), busy_(std::move(busy)),
      timer_(new QTimer(this))
{
    setObjectName(QStringLiteral("resultsSender"));
    timer_->setInterval(60 * 1000);
    connect(timer_, &QTimer::timeout, this, [this] { sendWaiting(); });
}

QString ResultsSender::keep(const QString &storePath, const QString &journalPath,
                            const CheckReport &report)
{
    if (journalPath.isEmpty())
        return {};
    const QString setting = readResultsSetting(storePath).setting;
    if (!setting.isEmpty())
        return ResultsDelivery(journalPath, setting).deliver(report).message;
    QString problem;
    CheckResults(journalPath).record(report, &problem);
    return problem;
}

void ResultsSender::start()
{
    round();
    timer_->start();
}

bool ResultsSender::sendWaiting()
{
    // Inside a nested event loop (a wait for the unit, a dialog) the round
    // would hold up what waits there: the next tick sends.
    if (QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget())
        return false;
    return round();
}

bool ResultsSender::round()
{
    if (journalPath_.isEmpty() || (busy_ && busy_()))
        return false;
    // Read each round: Setup > Results Database may have changed it.
    const QString setting = readResultsSetting(storePath_).setting;
    if (setting.isEmpty())
        return false;
    ResultsDelivery delivery(journalPath_, setting);
    const Delivery round = delivery.sync();
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
                             delivery.server().serverName()));
        toldWaiting_ = false;
        sentSinceTold_ = 0;
    }
    return true;
}

} // namespace ktv
