#include "session/StationRun.h"

#include "protocol/CellText.h"
#include "protocol/CommandFrame.h"
#include "protocol/SettingsText.h"
#include "protocol/UnitCatalogue.h"
#include "session/UnitSession.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace ktv {

// The station's session shows no box: what it would say goes to the
// station's view as a line problem, and the run carries on.
class StationRun::SessionRecorder : public SilentView
{
  public:
    explicit SessionRecorder(StationView &view) : view_(view) {}
    void showMessage(MessageIcon, const QString &text) override { view_.showLineProblem(text); }

  private:
    StationView &view_;
};

namespace {
constexpr double PauseSliceSeconds = 0.1;
} // namespace

QString stationLineName(int comPort, const QString &device)
{
    return QStringLiteral("COM %1 (%2)").arg(comPort).arg(device);
}

QString serialPatternProblem(const QString &pattern)
{
    const QRegularExpression expression(pattern);
    if (expression.isValid())
        return QString();
    return QStringLiteral("The serial number pattern %1 is not a regular expression: %2")
        .arg(pattern, expression.errorString());
}

QString serialNumberRefusal(const QString &serial, const QString &pattern)
{
    if (serial.isEmpty() && pattern.isEmpty())
        return QStringLiteral("No serial number was given; nothing was checked.");
    if (pattern.isEmpty() ||
        QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(serial).hasMatch())
        return QString();
    return QStringLiteral("The serial number \"%1\" does not fit %2; nothing was checked.")
        .arg(serial, pattern);
}

QString stationVerdictWord(const CheckReport &report)
{
    switch (report.verdict) {
    case CheckVerdict::Pass:
        return QStringLiteral("PASS");
    case CheckVerdict::Refused:
        return QStringLiteral("REFUSED");
    case CheckVerdict::Fail:
    case CheckVerdict::Error:
        break;
    }
    return QStringLiteral("FAIL");
}

StationRun::StationRun(UnitSession &session, StationLineSetup setup, StationView &view)
    : session_(session), setup_(std::move(setup)), view_(view),
      sessionView_(std::make_unique<SessionRecorder>(view))
{
    session_.setView(sessionView_.get());
    // The same check as the tool's: every question through the exchange's
    // rules, each reply given its second.
    session_.useToolExchange(setup_.pace);
    session_.state.ComPortNumber = setup_.comPort;
    session_.state.AxisAddress = setup_.address;
    session_.axisAfterIdentify = setup_.address;
    session_.state.SelectedProfile = QStringLiteral("1");
    if (!setup_.device.isEmpty())
        session_.link.setPortMap({{setup_.comPort, setup_.device}});
    if (setup_.device.isEmpty())
        setup_.device = session_.link.deviceForPort(setup_.comPort);
}

StationRun::~StationRun()
{
    session_.setView(nullptr);
}

bool StationRun::ending() const
{
    // The units asked for are all taken (by this line or another): the line
    // ends, but never in the middle of a check (which does not ask this).
    return stopAsked_ || session_.isEnding() || (setup_.unitsLeft && *setup_.unitsLeft <= 0);
}

bool StationRun::pause(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!ending()) {
        const double left = seconds - double(clock.elapsed()) / 1000.0;
        if (left <= 0)
            return true;
        session_.link.WaitSeconds(std::min(left, PauseSliceSeconds));
    }
    return false;
}

bool StationRun::openLine()
{
    SerialLink &link = session_.link;
    // An adapter that went and came back (or another one under its name) is
    // a new device: the port open on the old one hears nothing any more.
    if (link.PortOpen() && QFileInfo(setup_.device).canonicalFilePath() != openedDevice_)
        link.closePort();
    if (link.PortOpen())
        return true;
    link.setCommPort(setup_.comPort);
    link.setSettings(settingsTextForBaud(setup_.baud));
    QString reason;
    if (!link.openPort(&reason)) {
        const QString problem = QStringLiteral("%1 does not open: %2")
                                    .arg(stationLineName(setup_.comPort, setup_.device), reason);
        if (problem != lineProblem_)
            view_.showLineProblem(problem);
        lineProblem_ = problem;
        return false;
    }
    openedDevice_ = QFileInfo(setup_.device).canonicalFilePath();
    reopened_ = true;
    // A lost line was told through the session; the port works again now.
    view_.showLineProblem(QString());
    lineProblem_.clear();
    return true;
}

StationRun::Answer StationRun::askModel()
{
    if (session_.isEnding() || !openLine())
        return {};
    const int address = setup_.address.toInt();
    // Presence is asked once a second anyway: a missed answer is not asked
    // again at once, the next second's question is its second try. The
    // exchange still drops what waits before it and proves what comes.
    (void)session_.exchange.askModel(setup_.address, UnitExchange::Tries::Once);
    const QString raw = session_.exchange.lastRaw();
    session_.noteModelAnswer(address, raw);
    const std::optional<UnitSession::AxisUnit> unit = session_.unitAt(setup_.address);
    if (!unit)
        return {};
    lastAnswered_.start();
    if (unit->collision)
        return {Answer::Collision, FoundUnit{address, QString(), QString(), Model::KTRA10, true}};
    // What the unit gives is shown and kept, never sent to a terminal raw.
    return {Answer::Unit, FoundUnit{address, unit->model, terminalCell(unit->revision),
                                    *panelOfUnitModel(unit->model)}};
}

StationRun::Answer StationRun::askInTurn()
{
    if (lastAsked_.isValid() && !pause(AskEverySeconds - double(lastAsked_.elapsed()) / 1000.0))
        return {};
    lastAsked_.start();
    return askModel();
}

std::optional<StationRun::Answer> StationRun::waitForUnit()
{
    view_.showStationState(QStringLiteral("Waiting for a unit"));
    while (!ending()) {
        Answer answer = askInTurn();
        if (answer.kind != Answer::None && !ending())
            return answer;
    }
    return std::nullopt;
}

bool StationRun::waitForRemoval()
{
    view_.showStationState(QStringLiteral("Remove the unit"));
    int misses = 0;
    while (!ending() && misses < MissesUntilGone) {
        const Answer answer = askInTurn();
        if (ending())
            break;
        // A port that went answers at once: its unit is gone, like a silent
        // one, once the question's second has passed, so a verdict stands
        // that long.
        const double took = double(lastAsked_.elapsed()) / 1000.0;
        if (answer.kind == Answer::None && took < AnswerWithinSeconds &&
            !pause(AnswerWithinSeconds - took))
            break;
        misses = answer.kind == Answer::None ? misses + 1 : 0;
    }
    session_.state.UnitConnected = false;
    return misses >= MissesUntilGone;
}

bool StationRun::isLastUnit(const FoundUnit &unit, const QString &serial)
{
    const std::optional<LastUnit> last = std::exchange(last_, std::nullopt);
    if (!last || reopened_ || unit.modelId != last->model || serial != last->serial ||
        double(last->lastAnswer.elapsed()) / 1000.0 > SameUnitWithinSeconds)
        return false;
    // Every value of the sheet read once, at the unit's own pace.
    view_.showStationState(QStringLiteral("Comparing the unit with the sheet"));
    session_.state.UnitConnected = true;
    session_.noteIdentifiedModel(unit.modelId);
    CheckRun run(session_, checkedUnitOf(session_, {unit.modelId, unit.revision}));
    CheckRequest request = setup_.request;
    request.load = false;
    request.serial = serial;
    session_.exchange.setPace(Pace::Reply);
    const CheckReport report = run.run(request);
    session_.exchange.setPace(setup_.pace);
    lastAnswered_.start();
    return report.verdict == CheckVerdict::Pass;
}

std::optional<QString> StationRun::askSerialNumber()
{
    SerialNumberSource &source = *setup_.serialNumbers;
    view_.showStationState(QStringLiteral("Scan the serial number"));
    // Asked before the view is told: a number given as soon as the view
    // asks is never dropped.
    source.ask();
    view_.askSerialNumber(QString());
    int misses = 0;
    while (!ending()) {
        QString serial;
        const SerialNumberSource::Answer answer = source.take(&serial);
        if (answer == SerialNumberSource::Answer::NoMore) {
            stopAsked_ = true;
            break;
        }
        if (answer == SerialNumberSource::Answer::Given) {
            serial = serial.trimmed();
            const QString refusal = serialNumberRefusal(serial, setup_.serialPattern);
            if (refusal.isEmpty()) {
                source.accepted();
                return serial;
            }
            view_.askSerialNumber(refusal);
            source.ask();
            continue;
        }
        // Still there? Asked in turn, between the looks at the number.
        if (double(lastAsked_.elapsed()) / 1000.0 < AskEverySeconds) {
            session_.link.WaitSeconds(PauseSliceSeconds);
            continue;
        }
        lastAsked_.start();
        misses = askModel().kind == Answer::None ? misses + 1 : 0;
        if (misses >= MissesUntilGone) {
            session_.state.UnitConnected = false;
            view_.showUnitGone();
            break;
        }
    }
    source.cancel();
    return std::nullopt;
}

CheckReport StationRun::check(const FoundUnit &unit, const QString &serial)
{
    view_.showStationState(
        QStringLiteral("Checking the %1 at address %2").arg(unit.modelId, setup_.address));
    session_.state.UnitConnected = true;
    session_.noteIdentifiedModel(unit.modelId);
    CheckRun run(session_, checkedUnitOf(session_, {unit.modelId, unit.revision}));
    run.setProgress([this, model = unit.modelId](const QString &value, int done, int total) {
        view_.showCheckProgress(QStringLiteral("Checking the %1: %2 (%3/%4)")
                                    .arg(model, value)
                                    .arg(done + 1)
                                    .arg(total));
    });
    CheckRequest request = setup_.request;
    request.serial = serial;
    CheckReport report = run.run(request);
    // A line lost during the check: the check says so in its result.
    if (!session_.link.PortOpen())
        session_.state.UnitConnected = false;
    return report;
}

CheckReport StationRun::refusedCollision() const
{
    CheckReport report;
    report.id = QUuid::createUuid();
    report.unit = checkedUnitOf(session_, {QString(), QString()});
    report.station = setup_.request.station;
    report.operatorName = setup_.request.operatorName;
    report.sheetName = setup_.request.sheetName;
    report.sheetSha256 = setup_.request.sheetSha256;
    report.started = QDateTime::currentDateTime();
    report.ended = report.started;
    report.verdict = CheckVerdict::Refused;
    report.problem = QStringLiteral("More than one unit answers at address %1").arg(setup_.address);
    return report;
}

void StationRun::run()
{
    session_.state.UnitConnected = false;
    while (!ending()) {
        const std::optional<Answer> answer = waitForUnit();
        if (!answer)
            break;
        // Identified by its answer: the model and revision it gave.
        QString serial;
        // A unit of another model is refused before it is asked its number.
        const bool otherModel =
            answer->kind == Answer::Unit && panelOfUnitModel(setup_.request.sheet.unitModel) !=
                                                panelOfUnitModel(answer->unit.modelId);
        if (answer->kind == Answer::Unit && setup_.serialNumbers && !otherModel) {
            const std::optional<QString> given = askSerialNumber();
            if (!given)
                continue; // the unit went (or the run ends)
            serial = *given;
        }
        if (answer->kind == Answer::Unit && isLastUnit(answer->unit, serial)) {
            // Back after a silence, still holding the sheet: not checked again.
            if (session_.isEnding())
                break;
            last_ = LastUnit{answer->unit.modelId, serial, {}};
            reopened_ = false;
            waitForRemoval();
            last_->lastAnswer = lastAnswered_;
            view_.showUnitGone();
            continue;
        }
        last_.reset();
        if (setup_.unitsLeft && setup_.unitsLeft->fetch_sub(1) <= 0)
            break;
        CheckReport report;
        if (answer->kind == Answer::Collision) {
            report = refusedCollision();
        } else {
            report = check(answer->unit, serial);
            if (session_.isEnding())
                break;
        }
        QString keptProblem;
        if (setup_.keep && report.verdict != CheckVerdict::Refused)
            keptProblem = setup_.keep(report);
        view_.showResult(report, keptProblem);
        if (ending())
            break;
        // Its last answer was the check's, or the question just before.
        lastAnswered_.start();
        if (answer->kind == Answer::Unit)
            last_ = LastUnit{answer->unit.modelId, serial, {}};
        reopened_ = false;
        const bool gone = waitForRemoval();
        if (last_)
            last_->lastAnswer = lastAnswered_;
        // A stop while the unit is still there leaves its verdict standing.
        if (gone)
            view_.showUnitGone();
    }
    session_.link.closePort();
    session_.state.UnitConnected = false;
    if (!session_.isEnding())
        view_.showStationState(QStringLiteral("Run stopped"));
    view_.showRunEnded();
}

} // namespace ktv
