// The tool's connection to the unit: its session and journal, the port as
// the store and --com/--device give it, the scan or identification, the
// unit's description, the --profile check, and the run of one command with
// its output.

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "link/PortProbe.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"

namespace ktv::cli {

Tool::Tool(const QString &command, const QCommandLineParser &parser, const Common &common,
           const QString &storePath)
    : command_(command), parser_(parser), common_(common),
      session_(std::make_unique<UnitSession>(storePath))
{
    session_->setView(&view_);
    // A bench scripts against what this tool says: a reply counts only
    // when it is whole and valid for its query.
    session_->useToolExchange(common.pace);
    if (writesToUnit(command)) {
        journal_ = std::make_unique<Journal>(Journal::defaultPath());
        tracker_ = std::make_unique<ChangeTracker>(*session_, journal_.get());
        // Once per run; the work goes on without the journal.
        QObject::connect(tracker_.get(), &ChangeTracker::journalWarning,
                         [this](const QString &text) { tell(text, code::JournalWarning); });
    }
    if (common.trace) {
        // The window's line monitor, printed line by line as it records.
        monitor_ = std::make_unique<LineMonitor>(session_->link);
        QObject::connect(monitor_.get(), &LineMonitor::recorded, [](const MonitorLine &line) {
            printProgress(LineMonitor::lineText(line));
        });
    }
    // The lone CR starts every identification: a new rate is being tried.
    QObject::connect(&session_->link, &SerialLink::lineWritten, [this](const QByteArray &b) {
        if (b == "\r")
            progress(QStringLiteral("trying %1 baud ...").arg(baudInForce()));
    });
}

int Tool::run()
{
    int code = dispatch();
    if (session_->isEnding())
        code = ExitInterrupted;
    if (tracker_)
        tracker_->flush();
    session_->closeLine();
    return code;
}

// Human output, or the JSON document once the command has ended.
void Tool::finish(int code)
{
    if (common_.json)
        printDocument(command_, code, json_);
    else
        printOut(text_);
}

void Tool::tell(const QString &text, const QString &code)
{
    // A journal that cannot be written is said once a run, whoever finds it.
    if (code == code::JournalWarning) {
        if (journalWarned_)
            return;
        journalWarned_ = true;
    }
    view_.messages << text;
    printError(text, code);
}

int Tool::baudInForce() const
{
    return session_->link.settings().section(QLatin1Char(','), 0, 0).toInt();
}

void Tool::progress(const QString &text)
{
    if (stderrIsTerminal())
        printProgress(text);
}

// A port that did not open, and when the device itself refused, why.
void Tool::printOpenFailure(const QString &text) const
{
    printError(text, code::PortOpenFailed);
    if (const auto &failure = session_->link.lastOpenFailure())
        printError(diagnoseOpenFailure(failure->device, failure->systemError), code::PortDiagnosis);
}

// The store's COM port and Port Map, then --com and --device over them;
// then a first open, so that a port that does not open is reported with
// the system's reason before anything else happens.
bool Tool::preparePort()
{
    UnitSession &s = *session_;
    QString reason;
    if (s.prepareToolLine(common_.axis, common_.com, common_.device,
                          common_.baud.value_or(ScanRates.front()), &reason))
        return true;
    const QString device = s.link.deviceForPort(s.state.ComPortNumber);
    portFailed_ = true;
    printOpenFailure(SerialLink::openFailedText(s.state.ComPortNumber) + QStringLiteral(" (") +
                     (device.isEmpty() ? QString() : device + QStringLiteral(": ")) + reason +
                     QStringLiteral(")"));
    return false;
}

// The scan (or, with --baud, the identification at that rate alone), as
// the window connects at start-up.
int Tool::connectUnit(bool reportFailure)
{
    UnitSession &s = *session_;
    if (!preparePort())
        return ExitNoUnit;
    // Every line of the run goes to --axis, the identification's
    // read-back included.
    s.axisAfterIdentify = common_.axis;
    s.exchange.forgetNoise();
    bool found = false;
    if (common_.baud) {
        if (!s.openLineAt(*common_.baud)) {
            printOpenFailure(s.state.ConnectErrorText);
            return ExitNoUnit;
        }
        found = s.IdentifyUnit(s.state.AxisAddress);
    } else {
        found = s.ScanBaudRates();
    }
    if (s.isEnding())
        return ExitInterrupted;
    if (!found || !view_.panel) {
        s.closeLine();
        if (reportFailure)
            s.message(MessageIcon::Critical, didNotConnectText());
        return ExitNoUnit;
    }
    // Nothing read on a line that never went quiet is trusted.
    if (s.exchange.metNoise()) {
        s.closeLine();
        if (reportFailure)
            s.message(MessageIcon::Critical, s.exchange.noiseText());
        return ExitNoUnit;
    }
    model_ = *view_.panel;
    identifiedReadback_ = true;
    const QString version = view_.version;
    unitModel_ = version.section(QLatin1Char(' '), 1, 1).remove(QLatin1Char(','));
    revision_ = version.section(QStringLiteral("Revision "), 1);
    return ExitDone;
}

QJsonObject Tool::unitJson() const
{
    return {
        {QStringLiteral("model"), unitModel_},
        {QStringLiteral("panel"), modelId(model_)},
        {QStringLiteral("revision"), revision_},
        {QStringLiteral("baud"), baudInForce()},
        {QStringLiteral("axis"), session_->state.AxisAddress.toInt()},
        {QStringLiteral("com"), session_->state.ComPortNumber},
        {QStringLiteral("device"), session_->link.deviceForPort(session_->state.ComPortNumber)}};
}

QString Tool::baudText() const
{
    // A raw network line runs at the server's rate, which is not known here.
    if (rateIsTheServers(session_->link.deviceForPort(session_->state.ComPortNumber)))
        return QStringLiteral("the server's");
    return QString::number(baudInForce());
}

QString Tool::unitLine() const
{
    return QStringLiteral("%1, revision %2, %3 baud, axis %4, %5 (COM %6)\n")
        .arg(unitModel_, revision_)
        .arg(baudText())
        .arg(session_->state.AxisAddress,
             session_->link.deviceForPort(session_->state.ComPortNumber))
        .arg(session_->state.ComPortNumber);
}

// --profile: 1 to the number of profiles the model keeps.
std::optional<int> Tool::profileOption(int *code)
{
    *code = ExitDone;
    if (!parser_.isSet(QStringLiteral("profile")))
        return 1;
    const auto profile = positiveNumber(parser_.value(QStringLiteral("profile")));
    if (!profile) {
        *code = usageError(QStringLiteral("--profile takes a number from 1"), command_);
        return std::nullopt;
    }
    return profile;
}

int Tool::checkProfileOfModel(int profile)
{
    const int count = unitFacts(model_).profileCount;
    if (profile <= count)
        return ExitDone;
    printError(QStringLiteral("The %1 keeps profiles 1 to %2").arg(modelId(model_)).arg(count),
               code::ValueRefused);
    return ExitUsage;
}

} // namespace ktv::cli
