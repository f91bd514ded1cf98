#include "session/StationLine.h"

#include "link/SerialLink.h"
#include "link/SharedState.h"
#include "protocol/CommandFrame.h"
#include "protocol/SettingsText.h"
#include "protocol/Threads.h"
#include "session/UnitSession.h"

namespace ktv {

// Hands each report of the run to the view on the StationLine's thread.
class StationLine::Relay : public StationView
{
  public:
    Relay(QObject *receiver, StationView &view) : receiver_(receiver), view_(view) {}

    void showStationState(const QString &text) override
    {
        post([text](StationView &view) { view.showStationState(text); });
    }
    void showCheckProgress(const QString &text) override
    {
        post([text](StationView &view) { view.showCheckProgress(text); });
    }
    void showLineProblem(const QString &text) override
    {
        post([text](StationView &view) { view.showLineProblem(text); });
    }
    void showResult(const CheckReport &report, const QString &keptProblem) override
    {
        post([report, keptProblem](StationView &view) { view.showResult(report, keptProblem); });
    }
    void askSerialNumber(const QString &refusal) override
    {
        post([refusal](StationView &view) { view.askSerialNumber(refusal); });
    }
    void showUnitGone() override
    {
        post([](StationView &view) { view.showUnitGone(); });
    }
    void showRunEnded() override
    {
        post([](StationView &view) { view.showRunEnded(); });
    }

  private:
    template <typename Call> void post(Call call)
    {
        // Dropped with the receiver when the line has gone.
        QMetaObject::invokeMethod(
            receiver_, [view = &view_, call] { call(*view); }, Qt::QueuedConnection);
    }
    QObject *receiver_;
    StationView &view_;
};

void GivenSerialNumbers::give(const QString &serial)
{
    std::lock_guard lock(mutex_);
    if (asked_)
        given_ = serial;
}

void GivenSerialNumbers::ask()
{
    std::lock_guard lock(mutex_);
    asked_ = true;
    given_.reset();
}

SerialNumberSource::Answer GivenSerialNumbers::take(QString *serial)
{
    std::lock_guard lock(mutex_);
    if (!given_)
        return Answer::Waiting;
    *serial = *given_;
    given_.reset();
    asked_ = false;
    return Answer::Given;
}

void GivenSerialNumbers::cancel()
{
    std::lock_guard lock(mutex_);
    asked_ = false;
    given_.reset();
}

StationLine::StationLine(const QString &storePath, StationLineSetup setup, StationView &view,
                         QObject *parent)
    : QObject(parent), storePath_(storePath), setup_(std::move(setup)), view_(view),
      relay_(std::make_unique<Relay>(this, view))
{
}

StationLine::~StationLine()
{
    end();
    thread_.wait();
}

QString StationLine::name() const
{
    return stationLineName(setup_.comPort, setup_.device);
}

void StationLine::start()
{
    if (running_)
        return;
    running_ = true;
    {
        std::lock_guard lock(mutex_);
        stopAsked_ = false;
    }
    thread_.wait();
    // Ended by end() as the program ends, should the line still run then.
    thread_ = threads::start(
        QStringLiteral("station %1").arg(setup_.comPort), [this] { runLine(); }, this,
        [this] {
            running_ = false;
            emit finished();
        },
        [this] { end(); });
}

void StationLine::stop()
{
    std::lock_guard lock(mutex_);
    stopAsked_ = true;
    if (run_)
        run_->stop();
}

void StationLine::end()
{
    std::lock_guard lock(mutex_);
    endAsked_ = true;
    if (session_)
        QMetaObject::invokeMethod(
            session_, [session = session_] { session->setEnding(); }, Qt::QueuedConnection);
}

bool StationLine::hardLimit()
{
    std::lock_guard lock(mutex_);
    if (!session_)
        return false;
    // Runs on the line's thread at its next turn of the event loop, which
    // every wait of the run gives within its 0.02 s steps.
    QMetaObject::invokeMethod(
        session_,
        [session = session_, address = setup_.address] {
            session->link.write(
                frame::motionLine(address, frame::Motion::StopAll, session->state.SelectedProfile));
        },
        Qt::QueuedConnection);
    return true;
}

StartedThread startIdleHardLimit(const StationLineSetup &setup)
{
    return threads::start(QStringLiteral("stop %1").arg(setup.comPort), [setup] {
        SharedState state;
        SerialLink link(state);
        if (!setup.device.isEmpty())
            link.setPortMap({{setup.comPort, setup.device}});
        link.setCommPort(setup.comPort);
        link.setSettings(settingsTextForBaud(setup.baud));
        if (!link.openPort())
            return; // nothing to stop on a port that is not there
        link.write(frame::motionLine(setup.address, frame::Motion::StopAll, QStringLiteral("1")));
        link.closePort();
    });
}

void StationLine::runLine()
{
    // Made here, so that the port and its notifiers belong to this thread.
    UnitSession session(storePath_);
    StationRun run(session, setup_, *relay_);
    {
        std::lock_guard lock(mutex_);
        session_ = &session;
        run_ = &run;
        if (stopAsked_)
            run.stop();
        if (endAsked_)
            session.setEnding();
    }
    run.run();
    std::lock_guard lock(mutex_);
    session_ = nullptr;
    run_ = nullptr;
}

} // namespace ktv
